#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "formats/imagepack/record/ImageRecord.h"
#include "formats/tga/BitmapView.h"

namespace packsmith {

// Decodes compressed image records into bitmaps. One decoder owns its working memory
// (about 4.5 MB) for as long as it lives and is meant to be reused for every record of a
// pack: each record clears only what it uses, with results exactly as from fresh memory.
class ImageDecoder {
public:
    ImageDecoder();
    ~ImageDecoder();
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;

    // Decodes record into bitmap, whose size the caller has set from the record's picture
    // size. Every scan line is overwritten. A malformed record throws ImageRecordError and
    // leaves the bitmap's contents unspecified; nothing outside record, bitmap and the
    // working memory is ever read or written.
    void DecodeImageRecord(std::span<const std::uint8_t> record, const BitmapView& bitmap);

    struct Memory; // the working memory, defined with the decoder

private:
    std::unique_ptr<Memory> memory_;
};

} // namespace packsmith
