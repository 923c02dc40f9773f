#pragma once

// The layout of a TGA file as the codec reads it: the 18-byte header, the colour map and the
// pixel stream, plain or run-length encoded. Internal to the library.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace packsmith::targa {

inline constexpr std::size_t HeaderSize = 18;

// Image descriptor bits.
inline constexpr std::uint8_t DescriptorAlphaBits = 0x0F;
inline constexpr std::uint8_t DescriptorRightToLeft = 0x10;
inline constexpr std::uint8_t DescriptorTopDown = 0x20;

struct Header {
    std::uint8_t IdLength = 0;
    std::uint8_t MapType = 0;
    std::uint8_t ImageType = 0;
    std::uint16_t MapFirst = 0;
    std::uint16_t MapLength = 0;
    std::uint8_t MapEntryBits = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t PixelBits = 0;
    std::uint8_t Descriptor = 0;

    bool Rle() const { return ImageType >= 9; }
    bool Indexed() const { return (ImageType & 7) == 1; }
    bool Grey() const { return (ImageType & 7) == 3; }
    bool TopDown() const { return (Descriptor & DescriptorTopDown) != 0; }
    bool RightToLeft() const { return (Descriptor & DescriptorRightToLeft) != 0; }
    unsigned AlphaBits() const { return Descriptor & DescriptorAlphaBits; }
    std::size_t PixelCount() const { return std::size_t{Width} * Height; }
    std::size_t PixelBytes() const { return (PixelBits + 7u) / 8u; }
    std::size_t MapEntryBytes() const { return (MapEntryBits + 7u) / 8u; }
    // The colour map's size in the file; a map type of 0 means there is none, whatever the
    // other map fields hold.
    std::size_t MapBytes() const { return MapType == 1 ? std::size_t{MapLength} * MapEntryBytes() : 0; }
    std::size_t MapOffset() const { return HeaderSize + IdLength; }
    std::size_t PixelsOffset() const { return MapOffset() + MapBytes(); }
    // The most bytes the pixel stream can take: run-length encoding at its worst spends one
    // packet byte per pixel.
    std::size_t MaxStreamBytes() const { return PixelCount() * (PixelBytes() + (Rle() ? 1 : 0)); }
};

// Parses the header; false when the bytes are not a header of a kind the codec reads.
bool ParseHeader(const std::uint8_t* bytes, Header& header);

// Calls visit(raw, index) for every pixel of the stream in file order, raw pointing at the
// pixel's PixelBytes() bytes. Run-length packets may cross scan lines; a packet reaching
// past the last pixel is cut there. Returns false when the data ends first or visit does.
template <class Visit>
bool WalkPixels(const Header& header, const std::uint8_t* data, std::size_t size, Visit&& visit)
{
    const std::size_t count = header.PixelCount();
    const std::size_t bytes = header.PixelBytes();
    std::size_t at = header.PixelsOffset();
    if (at > size)
        return false;
    if (!header.Rle()) {
        if ((size - at) / bytes < count)
            return false;
        for (std::size_t i = 0; i < count; ++i, at += bytes)
            if (!visit(data + at, i))
                return false;
        return true;
    }
    std::size_t i = 0;
    while (i < count) {
        if (at >= size)
            return false;
        const std::uint8_t packet = data[at++];
        std::size_t run = (packet & 0x7Fu) + 1u;
        if (run > count - i)
            run = count - i;
        if (packet & 0x80u) {
            if (size - at < bytes)
                return false;
            for (std::size_t k = 0; k < run; ++k)
                if (!visit(data + at, i++))
                    return false;
            at += bytes;
        } else {
            if ((size - at) / bytes < run)
                return false;
            for (std::size_t k = 0; k < run; ++k, at += bytes)
                if (!visit(data + at, i++))
                    return false;
        }
    }
    return true;
}

enum class DecodeResult { Ok, NotReadable, OutOfMemory };

// Decodes the whole file (header already parsed, data holding at least the pixel stream) to
// PixelCount() BGRA pixels, top row first, each row left to right.
DecodeResult Decode(const Header& header, const std::uint8_t* data, std::size_t size,
                    std::vector<std::uint8_t>& bgra);

// The part of Decode done by the bundled loader: true-colour 24/32-bit, grey 8/16-bit and
// colour maps of 24/32-bit entries starting at entry 0. Fills bgra as Decode does.
bool LoaderServes(const Header& header);
DecodeResult DecodeWithLoader(const Header& header, const std::uint8_t* data, std::size_t size,
                              std::vector<std::uint8_t>& bgra);

} // namespace packsmith::targa
