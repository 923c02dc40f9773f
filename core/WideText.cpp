#include "core/WideText.h"

#include <cstdint>

namespace packsmith {

namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves out stand for themselves, as
// the system maps them. From 0xA0 on it is Latin-1.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The code point of the valid UTF-8 sequence at text[at], and its length; length 0 where
// none starts there (a stray continuation, a sequence cut short, an overlong form, a
// surrogate or a code point past U+10FFFF).
char32_t Decode(std::string_view text, std::size_t at, std::size_t& length)
{
    length = 0;
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t count = 0;
    char32_t point = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        count = 2, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < count)
        return 0;
    for (std::size_t i = 1; i < count; ++i) {
        const auto byte = static_cast<std::uint8_t>(text[at + i]);
        if (!IsContinuation(byte))
            return 0;
        point = point << 6 | (byte & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    length = count;
    return point;
}

} // namespace

std::u16string WideText(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const char32_t point = Decode(text, at, length);
        if (length == 0) {
            const auto byte = static_cast<std::uint8_t>(text[at]);
            wide += byte < 0xA0 ? kWindows1252[byte - 0x80] : static_cast<char16_t>(byte);
            ++at;
        } else if (point >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
            at += length;
        } else {
            wide += static_cast<char16_t>(point);
            at += length;
        }
    }
    return wide;
}

} // namespace packsmith
