#pragma once

#include <cstddef>
#include <cstdint>

namespace packsmith {

// Where a decoded picture goes: Height scan lines of Width pixels, 4 bytes each (blue,
// green, red, alpha), scan line y at Pixels + y x Stride, y = 0 the top of the picture.
struct BitmapView {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::size_t Stride = 0;
    std::uint8_t* Pixels = nullptr;
};

} // namespace packsmith
