#include "cli/TextColumns.h"

#include <vector>

#include "core/TextControls.h"

namespace packsmith {

namespace {

constexpr std::string_view kEllipsis = "...";

// One character of text: where it starts, how many bytes it has and how many columns it takes.
struct Character {
    std::size_t Start = 0;
    std::size_t Bytes = 1;
    std::size_t Columns = 1;
};

std::size_t ColumnsOf(char32_t c)
{
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F))
        return 0; // combining marks, zero-width spaces and joiners, variation selectors
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                      (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The next character of text at start; a byte that starts no valid sequence is one of its own.
Character NextCharacter(std::string_view text, std::size_t start)
{
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, start, c);
    return length == 0 ? Character{start, 1, 1} : Character{start, length, ColumnsOf(c)};
}

std::vector<Character> Characters(std::string_view text)
{
    std::vector<Character> characters;
    for (std::size_t at = 0; at < text.size(); at += characters.back().Bytes)
        characters.push_back(NextCharacter(text, at));
    return characters;
}

} // namespace

std::size_t TextColumns(std::string_view text)
{
    std::size_t columns = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Character c = NextCharacter(text, at);
        columns += c.Columns;
        at += c.Bytes;
    }
    return columns;
}

std::string ElidedText(std::string_view text, std::size_t columns)
{
    if (TextColumns(text) <= columns)
        return std::string(text);
    if (columns <= kEllipsis.size())
        return std::string(kEllipsis.substr(0, columns));
    const std::vector<Character> characters = Characters(text);
    // The end gets the odd column: a name's extension is the part most worth keeping.
    const std::size_t room = columns - kEllipsis.size();
    std::size_t headColumns = 0, tailColumns = 0;
    std::size_t head = 0;                    // characters kept from the start
    std::size_t tail = characters.size();    // the first character kept of the end
    while (head < tail && headColumns + characters[head].Columns <= room / 2)
        headColumns += characters[head++].Columns;
    while (tail > head && headColumns + tailColumns + characters[tail - 1].Columns <= room)
        tailColumns += characters[--tail].Columns;
    const std::size_t headEnd = head < characters.size() ? characters[head].Start : text.size();
    const std::size_t tailStart = tail < characters.size() ? characters[tail].Start : text.size();
    return std::string(text.substr(0, headEnd)) + std::string(kEllipsis) + std::string(text.substr(tailStart));
}

} // namespace packsmith
