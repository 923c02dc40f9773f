#include "core/TextControls.h"

#include <cstdint>
#include <cstdio>

namespace packsmith {

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& value)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    if (c < 0x80) {
        value = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (next & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

bool IsControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool IsUtf8(std::string_view text)
{
    char32_t value = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = DecodeUtf8(text, i, value);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string ReplaceControls(std::string_view text, const std::function<std::string(char32_t)>& replace)
{
    const bool utf8 = IsUtf8(text);
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8 ? DecodeUtf8(text, i, c) : 1;
        if (IsControlCharacter(c))
            result += replace(c);
        else
            result.append(text.substr(i, length));
        i += length;
    }
    return result;
}

std::string UnicodeEscape(char32_t c)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    return escape;
}

} // namespace packsmith
