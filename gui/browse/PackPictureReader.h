#pragma once

#include <string>

#include "formats/imagepack/ImagePackFile.h"
#include "formats/imagepack/PackListing.h"
#include "formats/tga/Bitmap32.h"

namespace packsmith {

// Reads the pictures of listed entries from one pack, in any order. Each object has its
// own file and its own decoder, so one per thread decodes side by side with the others.
class PackPictureReader {
public:
    // "Cannot open file %s" and the like when the pack cannot be opened or its header read.
    explicit PackPictureReader(const std::string& packPath);

    // The entry's picture, with bitmap sized to it; a PackError naming the pack and the entry
    // when it cannot be had.
    void Read(const ListedEntry& entry, Bitmap32& bitmap);

private:
    ImagePackFile pack_;
};

} // namespace packsmith
