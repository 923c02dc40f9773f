#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace packsmith {

// Characters that act on a terminal or on the text around them rather than show: the C0
// controls, DEL, the C1 controls (0x9B alone starts a terminal command) and the
// bidirectional controls, which make a name read as another (U+202A to U+202E, U+2066 to
// U+2069).
bool IsControlCharacter(char32_t c);

// The length of the UTF-8 sequence at s[i] and the character it encodes; 0 when there is
// none (a stray or overlong byte, a surrogate, a value past U+10FFFF, a cut sequence).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& value);

// Whether text is UTF-8 throughout. Text that is not (names from image packs are 8-bit
// text of another system) is taken byte by byte, each byte the character of its value.
bool IsUtf8(std::string_view text);

// text with each control character replaced by what replace gives for it, everything else
// kept byte for byte.
std::string ReplaceControls(std::string_view text, const std::function<std::string(char32_t)>& replace);

// The escape "\uXXXX" of a character of the basic plane, as JSON writes one.
std::string UnicodeEscape(char32_t c);

} // namespace packsmith
