// Any picture of up to 64 pixels either way and 512 in all through the record compressor
// and back through the decoder: every record it writes is accepted and gives back the very
// pixels (pictures this small never have more different blocks than a record holds). Byte 0
// chooses whether the pixels come from eight colours, as drawn art does, bytes 1 and 2 the
// size; the rest seed the pixels, so that short inputs make large pictures too. The bound on
// the area keeps every width and height within reach while each input costs a fraction of
// what 64 x 64 pixels would (the compressor codes every block layout that holds the picture
// exactly, and keeps the smallest record).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/imagepack/compress/ImageCompressor.h"
#include "formats/imagepack/record/ImageDecoder.h"

constexpr std::uint32_t kMostPixels = 512;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const bool palette = (data[0] & 1) != 0;
    const std::uint32_t width = 1 + data[1] % 64u;
    const std::uint32_t height = 1 + data[2] % std::min(64u, kMostPixels / width);
    std::vector<std::uint8_t> pixels(std::size_t{width} * height * 4);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < pixels.size() / 4; ++i) {
        // The input's bytes in turn, stirred so that repeats of a short input differ.
        state = (state ^ data[3 + i % (size - 3)]) * 0x100000001B3ull;
        const auto bits = static_cast<std::uint32_t>(state >> 29);
        if (palette) {
            const unsigned c = bits % 8; // colour 0 is the transparent black of index 0
            const std::array<std::uint8_t, 4> colour{static_cast<std::uint8_t>(c * 37), static_cast<std::uint8_t>(c * 91),
                                                     static_cast<std::uint8_t>(c * 13),
                                                     static_cast<std::uint8_t>(c == 0 ? 0 : 255 - c)};
            std::copy(colour.begin(), colour.end(), pixels.begin() + static_cast<std::ptrdiff_t>(4 * i));
        } else {
            for (std::size_t b = 0; b < 4; ++b)
                pixels[4 * i + b] = static_cast<std::uint8_t>(bits >> (8 * b));
        }
    }
    std::array<std::uint8_t, packsmith::image_record::kHeaderBytes> header{};
    const auto compressed = packsmith::CompressPicture(width, height, pixels.data(), std::size_t{width} * 4, header,
                                                       packsmith::PictureLoss::Exact);
    if (!compressed || !compressed->Exact)
        std::abort();
    static packsmith::ImageDecoder decoder;
    std::vector<std::uint8_t> decoded(pixels.size() + 1, 0xAB); // one byte past the picture, to catch overruns
    decoder.DecodeImageRecord(compressed->Record, {width, height, std::size_t{width} * 4, decoded.data()});
    if (decoded.back() != 0xAB)
        std::abort();
    decoded.pop_back();
    if (decoded != pixels)
        std::abort();
    return 0;
}
