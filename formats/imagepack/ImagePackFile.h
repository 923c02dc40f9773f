#pragma once

#include <string>

#include "formats/imagepack/ImagePackReader.h"
#include "io/FileStream.h"

namespace packsmith {

// An image pack opened on its own for reading: its own file, read position and decoder, so
// that one per thread reads pictures side by side with the others.
class ImagePackFile {
public:
    // "Cannot open file %s" and the like when the pack cannot be opened or its header read.
    explicit ImagePackFile(const std::string& packPath);

    FileStream& File() { return file_; }
    ImagePackReader& Reader() { return reader_; }

private:
    FileStream file_;
    ImagePackReader reader_;
};

} // namespace packsmith
