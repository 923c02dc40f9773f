#pragma once

// The layout of a TGA file as the codec reads it: the 18-byte header, the colour map, the
// pixel stream, plain or run-length encoded, and the TGA 2.0 trailer. Internal to the library.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace packsmith::targa {

inline constexpr std::size_t HeaderSize = 18;

// Image descriptor bits.
inline constexpr std::uint8_t DescriptorAlphaBits = 0x0F;
inline constexpr std::uint8_t DescriptorRightToLeft = 0x10;
inline constexpr std::uint8_t DescriptorTopDown = 0x20;

// The TGA 2.0 trailer: a footer in the file's last bytes that may point at an extension area.
// Of that area only its size and its attributes type, what the alpha channel means, are read.
inline constexpr std::size_t FooterSize = 26;
inline constexpr char FooterSignature[18] = "TRUEVISION-XFILE.";
inline constexpr std::size_t ExtensionSize = 495;
inline constexpr std::size_t ExtensionAttributesType = ExtensionSize - 1;
inline constexpr std::uint8_t AttributesStraightAlpha = 3;

// What the stored alpha means.
enum class AlphaMeaning {
    Unstated,      // the file does not say: alpha 0 in every pixel is taken for no alpha at all
    None,          // attributes type 0, 1 or 2: the alpha bits hold nothing, the picture is opaque
    Straight,      // 3: as stored
    Premultiplied, // 4: the colours were multiplied by the alpha
};

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
    // Whether the pixels, or the map's entries, store an alpha: 32-bit colours, 16-bit colours
    // whose descriptor declares alpha bits, and grey with alpha. The others read as opaque.
    bool HasAlpha() const
    {
        if (Grey())
            return PixelBits == 16;
        const unsigned bits = Indexed() ? MapEntryBits : PixelBits;
        return bits == 32 || (bits == 16 && AlphaBits() > 0);
    }
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

// Where the extension area starts, as the footer (the last FooterSize of the file's fileSize
// bytes) gives it. Nothing when the footer lacks the signature or places the area anywhere
// but wholly between the end of the picture, at pictureEnd, and the footer.
std::optional<std::uint64_t> ExtensionOffset(const std::uint8_t* footer, std::uint64_t fileSize, std::size_t pictureEnd);

// What the extension area (its ExtensionSize bytes) says of the alpha: Unstated when the area
// gives another size than this version's or an attributes type other than 0 to 4.
AlphaMeaning ExtensionAlpha(const std::uint8_t* extension);

// Calls packet(stored, run, repeated) for each stretch of the pixel stream in file order,
// stored pointing at the stretch's pixels, PixelBytes() each: `run` pixels one after the
// other, or one pixel that stands for `run` when repeated. A plain stream is one stretch of
// every pixel; a run-length packet is one stretch, may cross scan lines, and is cut at the
// last pixel when it reaches past it. Returns where the stream ends; nothing when the data
// ends first or packet returns false.
template <class Packet>
std::optional<std::size_t> WalkPackets(const Header& header, const std::uint8_t* data, std::size_t size, Packet&& packet)
{
    const std::size_t count = header.PixelCount();
    const std::size_t bytes = header.PixelBytes();
    std::size_t at = header.PixelsOffset();
    if (at > size)
        return std::nullopt;
    if (!header.Rle()) {
        if ((size - at) / bytes < count || (count > 0 && !packet(data + at, count, false)))
            return std::nullopt;
        return at + count * bytes;
    }
    for (std::size_t i = 0; i < count;) {
        if (at >= size)
            return std::nullopt;
        const std::uint8_t head = data[at++];
        const bool repeated = (head & 0x80u) != 0;
        const std::size_t run = std::min<std::size_t>((head & 0x7Fu) + 1u, count - i);
        const std::size_t stored = repeated ? 1 : run;
        if ((size - at) / bytes < stored || !packet(data + at, run, repeated))
            return std::nullopt;
        at += stored * bytes;
        i += run;
    }
    return at;
}

} // namespace packsmith::targa
