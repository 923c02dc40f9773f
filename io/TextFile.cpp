#include "io/TextFile.h"

#include "io/MemoryStream.h"
#include "io/OutputFile.h"

namespace packsmith {

std::vector<std::string> SplitTextLines(std::string_view text)
{
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::vector<std::string> ReadTextFile(const std::string& path)
{
    MemoryStream content;
    content.LoadFromFile(path);
    const auto bytes = content.Bytes();
    return SplitTextLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void WriteTextFile(const std::string& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    OutputFile file(path);
    file.Stream().WriteBuffer({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    file.Commit();
}

} // namespace packsmith
