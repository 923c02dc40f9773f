#pragma once

// How the stored pixels of a TGA file become BGRA: one conversion for each kind of pixel,
// run over whole stretches of a row at a time, and a colour-mapped file's map turned into
// BGRA once. Internal to the library.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "targa/TgaLayout.h"

namespace packsmith::targa {

class PixelFormat {
public:
    // map: the colour map's MapBytes() bytes; read only for a colour-mapped file.
    PixelFormat(const Header& header, const std::uint8_t* map);

    // Converts the n stored pixels at in (the header's PixelBytes() each) to n BGRA pixels
    // at out; false when one is a colour index outside the map (out is then partly written).
    bool Convert(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const;

    enum class Kind { Bgra32, Bgr24, Bgr16WithAlpha, Bgr16, Grey8, GreyAlpha16, Index8, Index16 };

private:
    Kind kind_ = Kind::Bgra32;
    std::size_t mapFirst_ = 0;
    std::vector<std::uint8_t> map_; // BGRA
};

// True when each of the n stored colour indices at in names an entry of the header's map.
bool IndicesInMap(const Header& header, const std::uint8_t* in, std::size_t n);

} // namespace packsmith::targa
