#include "io/TextFile.h"

#include <algorithm>
#include <initializer_list>

#include "core/PackError.h"
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

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 text (after its mark) as UTF-8, the way file names are kept. A unit that is half a
// pair on its own becomes U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian)
{
    const auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(bigEndian ? bytes[i] << 8 | bytes[i + 1] : bytes[i + 1] << 8 | bytes[i]);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace

std::string DecodeText(std::span<const std::uint8_t> bytes)
{
    // Editors mark UTF-8 and UTF-16 files; the tool's own files carry no mark.
    const auto startsWith = [&](std::initializer_list<std::uint8_t> mark) {
        return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
    };
    if (startsWith({0xEF, 0xBB, 0xBF}))
        bytes = bytes.subspan(3);
    else if (startsWith({0xFF, 0xFE}))
        return Utf16ToUtf8(bytes.subspan(2), false);
    else if (startsWith({0xFE, 0xFF}))
        return Utf16ToUtf8(bytes.subspan(2), true);
    // Some save UTF-16 without a mark. Its first two characters of a log or a list ("#F",
    // "C:", "/h") are ASCII, a zero byte beside each; single-byte text ends at its first zero
    // byte, so such text would hold one character and nothing a replay could use.
    const auto zeroAt = [&](std::size_t i) { return bytes[i] == 0 && bytes[i ^ 1] != 0; };
    if (bytes.size() >= 4 && zeroAt(1) && zeroAt(3))
        return Utf16ToUtf8(bytes, false);
    if (bytes.size() >= 4 && zeroAt(0) && zeroAt(2))
        return Utf16ToUtf8(bytes, true);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<std::string> ReadTextFile(const std::string& path)
{
    MemoryStream content;
    content.LoadFromFile(path);
    return SplitTextLines(DecodeText(content.Bytes()));
}

namespace {

std::string TextOf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void WriteBytes(OutputFile& file, std::string_view content)
{
    file.Stream().WriteBuffer({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
}

} // namespace

void WriteWholeFile(const std::string& path, std::string_view content)
{
    try {
        OutputFile file(path);
        WriteBytes(file, content);
        file.Commit();
    } catch (const PackError& e) {
        // A write error says only what went wrong ("Stream write error (No space left on
        // device)"); which file it befell is said here.
        throw PackError(About(path, e.what()));
    }
}

void WriteTextFile(const std::string& path, const std::vector<std::string>& lines)
{
    WriteWholeFile(path, TextOf(lines));
}

std::string WriteTextFileFree(const std::string& path, const std::vector<std::string>& lines,
                              const std::function<std::string(unsigned long)>& name)
{
    OutputFile file(path);
    WriteBytes(file, TextOf(lines));
    return file.CommitFree(name);
}

} // namespace packsmith
