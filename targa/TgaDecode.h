#pragma once

// Reading a TGA file's picture: first whether the file holds all of it, so that a bad file
// costs the caller nothing, then the picture itself, straight into the rows it goes to.
// Internal to the library.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "targa/TgaLayout.h"

namespace packsmith::targa {

// Where the picture ends in the file, when data, the file from its first byte, holds the
// colour map and the whole pixel stream, and every colour index in the stream names an entry
// of the map: Decode then succeeds. Nothing when it does not; badIndex, when given, then says
// whether a colour index was the cause (else the data ended first).
std::optional<std::size_t> Complete(const Header& header, const std::uint8_t* data, std::size_t size,
                                    bool* badIndex = nullptr);

// Decodes the picture to Height rows of Width BGRA pixels, each left to right, row y (0 the
// top one) at rows + y * stride, with straight alpha as `alpha` says the stored one is to be
// taken. Whatever the file holds, nothing outside data[0, size) is read and nothing outside
// the rows' Width * 4 bytes is written; false when the file is not Complete (the rows are
// then partly written).
bool Decode(const Header& header, AlphaMeaning alpha, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
            std::size_t stride);

} // namespace packsmith::targa
