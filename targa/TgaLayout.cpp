#include "targa/TgaLayout.h"

#include <cstring>

namespace packsmith::targa {

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | std::uint32_t{Le16(p + 2)} << 16; }

bool ColourBits(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

} // namespace

bool ParseHeader(const std::uint8_t* b, Header& h)
{
    h.IdLength = b[0];
    h.MapType = b[1];
    h.ImageType = b[2];
    h.MapFirst = Le16(b + 3);
    h.MapLength = Le16(b + 5);
    h.MapEntryBits = b[7];
    // b[8..11]: the picture's position on a screen, of no use here.
    h.Width = Le16(b + 12);
    h.Height = Le16(b + 14);
    h.PixelBits = b[16];
    h.Descriptor = b[17];

    if (h.MapType > 1)
        return false;
    switch (h.ImageType) {
    case 1:
    case 9: // colour-mapped: 8 or 16-bit indices into a map that must be there
        return h.MapType == 1 && h.MapLength > 0 && ColourBits(h.MapEntryBits) &&
               (h.PixelBits == 8 || h.PixelBits == 16);
    case 2:
    case 10: // true colour
    case 3:
    case 11: // grey, 8 bits or 8 bits of grey and 8 of alpha
        // A map may come with an image that does not use it; it is skipped, so its entry
        // size must be known.
        if (h.MapType == 1 && h.MapLength > 0 && !ColourBits(h.MapEntryBits))
            return false;
        return h.Grey() ? (h.PixelBits == 8 || h.PixelBits == 16) : ColourBits(h.PixelBits);
    default:
        return false;
    }
}

std::optional<std::uint64_t> ExtensionOffset(const std::uint8_t* footer, std::uint64_t fileSize, std::size_t pictureEnd)
{
    // An offset of 0 says there is no extension area; the picture's end is past the header,
    // so the check against it turns that away too.
    if (std::memcmp(footer + 8, FooterSignature, sizeof FooterSignature) != 0 || fileSize < FooterSize)
        return std::nullopt;
    const std::uint64_t offset = Le32(footer);
    if (offset < pictureEnd || offset + ExtensionSize > fileSize - FooterSize)
        return std::nullopt;
    return offset;
}

AlphaMeaning ExtensionAlpha(const std::uint8_t* extension)
{
    if (Le16(extension) != ExtensionSize)
        return AlphaMeaning::Unstated;
    switch (extension[ExtensionAttributesType]) {
    case 0: // no alpha
    case 1: // undefined data, to be ignored
    case 2: // undefined data, to be kept
        return AlphaMeaning::None;
    case AttributesStraightAlpha:
        return AlphaMeaning::Straight;
    case 4:
        return AlphaMeaning::Premultiplied;
    default:
        return AlphaMeaning::Unstated;
    }
}

} // namespace packsmith::targa
