#pragma once

#include <string>
#include <string_view>

namespace packsmith {

// The UTF-16 of a name for a system whose names are UTF-16 (Windows): UTF-8 where it is
// valid. Where it is not, each byte that starts no valid sequence stands for its character
// in Windows-1252: names stored in packs come from single-byte code pages, and that is how
// the systems that wrote them showed such names. Valid UTF-8 comes back unchanged, and two
// names that differ keep differing.
std::u16string WideText(std::string_view text);

} // namespace packsmith
