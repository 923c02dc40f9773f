#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"

namespace packsmith {

// Writes an image pack's pictures as TGA files, each under the first of its candidate
// names (CandidateName) that nothing in its folder holds at the moment it is complete, so
// that runs writing into one folder at once never take each other's names. Loads the
// codec library once, for every picture it writes.
class PictureWriter {
public:
    struct Written {
        std::string Path;
        std::uint64_t Bytes = 0;
    };

    // Write: the picture, into directory (which must exist), named after fileName, the
    // file-name part of its stored name. "Cannot create file %s" when it cannot be.
    Written Write(const std::string& directory, const std::string& fileName, const Bitmap32& picture);

private:
    TgaLibrary codec_;
    // Per folder and file name, the candidate after the last one taken: names below it
    // were taken when this writer looked, and stay so, so many pictures of one name cost
    // one try each.
    std::unordered_map<std::string, unsigned long> nextCandidate_;
};

} // namespace packsmith
