// Any bytes as a compressed image record, decoded into a bitmap of the record's picture size
// when the decoder accepts that size; malformed records are refused, never out of bounds.
#include <cstdint>
#include <vector>

#include "formats/imagepack/record/ImageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static packsmith::ImageDecoder decoder; // reused, as a handler reuses it for a whole pack
    const std::vector<std::uint8_t> record(data, data + size);
    try {
        const packsmith::ImageHeader header = packsmith::ReadImageHeader(record);
        if (!packsmith::PictureFits(header.PictureWidth, header.PictureHeight))
            return 0;
        std::vector<std::uint8_t> pixels(std::size_t{header.PictureWidth} * header.PictureHeight * 4);
        decoder.DecodeImageRecord(record, {header.PictureWidth, header.PictureHeight,
                                           std::size_t{header.PictureWidth} * 4, pixels.data()});
    } catch (const packsmith::ImageRecordError&) {
    }
    return 0;
}
