#pragma once

#include <cstdint>
#include <vector>

namespace packsmith {

// Pictures of the kinds a game's packs hold, made up from a seed, for tests and benchmarks
// of the compressor.
enum class PictureKind {
    Photo,     // smooth gradients and soft shapes with a little noise, opaque
    Interface, // flat panels, borders and antialiased text-like strokes in a few colours, opaque
    Sprites,   // shaded shapes with hard alpha edges over a transparent background
};

// width x height pixels of 4 bytes (blue, green, red, alpha), top row first, no gaps
// between rows; the same for the same arguments.
std::vector<std::uint8_t> MakePicture(PictureKind kind, std::uint32_t width, std::uint32_t height, std::uint32_t seed);

} // namespace packsmith
