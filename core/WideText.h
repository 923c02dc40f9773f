#pragma once

#include <string>
#include <string_view>

namespace packsmith {

// The UTF-16 of a name for a system whose names are UTF-16 (Windows): UTF-8 where it is
// valid. Where it is not, each byte that starts no valid sequence stands for its character
// in Windows-1252: names stored in packs come from single-byte code pages, and that is how
// the systems that wrote them showed such names. Valid UTF-8 comes back unchanged. (A name
// with a character as UTF-8 and one with its single byte meet at one name; writing the second
// then takes the next free name, as any clash of names does.)
std::u16string WideText(std::string_view text);

} // namespace packsmith
