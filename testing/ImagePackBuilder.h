#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packsmith {

struct PackPicture {
    std::string Name;                // the stored name, 8-bit characters, at most 242 of them
    std::vector<std::uint8_t> Record; // the image record, stored as it is
};

// An image pack of the given pictures: the 32-byte header, a table of entry records of
// entrySize bytes (at least 251), then the records one after the other in entry order.
std::vector<std::uint8_t> BuildImagePack(const std::vector<PackPicture>& pictures, std::uint32_t entrySize = 256);

} // namespace packsmith
