#include "TgaLayout.h"

#include <algorithm>

namespace packsmith::targa {

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool ColourBits(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// A 5-bit channel scaled to 8 bits, rounded to nearest.
std::uint8_t Expand5(unsigned v) { return static_cast<std::uint8_t>((v * 255u + 15u) / 31u); }

// One stored colour (a true-colour pixel or a colour map entry) as BGRA. A 16-bit colour's
// top bit is its alpha when the descriptor declares alpha bits; otherwise it is opaque.
void ColourToBgra(const std::uint8_t* raw, unsigned bits, bool alphaBit, std::uint8_t* out)
{
    switch (bits) {
    case 15:
    case 16: {
        const unsigned v = Le16(raw);
        out[0] = Expand5(v & 31u);
        out[1] = Expand5((v >> 5) & 31u);
        out[2] = Expand5((v >> 10) & 31u);
        out[3] = (bits == 16 && alphaBit) ? ((v & 0x8000u) ? 255 : 0) : 255;
        break;
    }
    case 24:
        std::copy(raw, raw + 3, out);
        out[3] = 255;
        break;
    default: // 32: stored blue, green, red, alpha; the alpha byte is kept whatever the
             // descriptor says about alpha bits.
        std::copy(raw, raw + 4, out);
        break;
    }
}

void MirrorRows(std::vector<std::uint8_t>& bgra, std::size_t width, std::size_t height)
{
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = bgra.data() + y * width * 4;
        for (std::size_t l = 0, r = width - 1; l < r; ++l, --r)
            std::swap_ranges(row + l * 4, row + l * 4 + 4, row + r * 4);
    }
}

std::size_t IndexOf(const Header& header, const std::uint8_t* raw)
{
    return header.PixelBits == 8 ? raw[0] : Le16(raw);
}

bool IndexInMap(const Header& header, std::size_t index)
{
    return index >= header.MapFirst && index - header.MapFirst < header.MapLength;
}

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

bool LoaderServes(const Header& h)
{
    // The loader reads 15/16-bit colours without their alpha bit, takes a map's first entry
    // index for a byte count to skip, refuses a map beside a true-colour image and knows
    // nothing of right-to-left rows; the last is put right after it, the rest is ours.
    if (h.Indexed())
        return h.MapFirst == 0 && (h.MapEntryBits == 24 || h.MapEntryBits == 32);
    if (h.MapType != 0)
        return false;
    return h.Grey() || h.PixelBits == 24 || h.PixelBits == 32;
}

DecodeResult Decode(const Header& h, const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& bgra)
{
    const std::size_t width = h.Width;
    const std::size_t height = h.Height;

    if (LoaderServes(h)) {
        // Checked here first: the loader reads zeros past the end of the data and takes an
        // index outside the map for entry 0, and would report neither.
        const bool complete = WalkPixels(h, data, size, [&](const std::uint8_t* raw, std::size_t) {
            return !h.Indexed() || IndexInMap(h, IndexOf(h, raw));
        });
        if (!complete)
            return DecodeResult::NotReadable;
        if (h.PixelCount() == 0) {
            bgra.clear();
            return DecodeResult::Ok;
        }
        const DecodeResult result = DecodeWithLoader(h, data, size, bgra);
        if (result == DecodeResult::Ok && h.RightToLeft())
            MirrorRows(bgra, width, height);
        return result;
    }

    const bool alphaBit = h.AlphaBits() > 0;
    std::vector<std::uint8_t> map;
    if (h.Indexed()) {
        if (size < h.PixelsOffset())
            return DecodeResult::NotReadable;
        map.resize(std::size_t{h.MapLength} * 4);
        const std::uint8_t* entry = data + h.MapOffset();
        for (std::size_t i = 0; i < h.MapLength; ++i, entry += h.MapEntryBytes())
            ColourToBgra(entry, h.MapEntryBits, alphaBit, map.data() + i * 4);
    }

    bgra.assign(h.PixelCount() * 4, 0);
    const bool complete = WalkPixels(h, data, size, [&](const std::uint8_t* raw, std::size_t i) {
        const std::size_t sx = i % width;
        const std::size_t sy = i / width;
        const std::size_t x = h.RightToLeft() ? width - 1 - sx : sx;
        const std::size_t y = h.TopDown() ? sy : height - 1 - sy;
        std::uint8_t* out = bgra.data() + (y * width + x) * 4;
        if (h.Indexed()) {
            const std::size_t index = IndexOf(h, raw);
            if (!IndexInMap(h, index))
                return false;
            std::copy_n(map.data() + (index - h.MapFirst) * 4, 4, out);
        } else if (h.Grey()) {
            out[0] = out[1] = out[2] = raw[0];
            out[3] = h.PixelBits == 16 ? raw[1] : 255;
        } else {
            ColourToBgra(raw, h.PixelBits, alphaBit, out);
        }
        return true;
    });
    return complete ? DecodeResult::Ok : DecodeResult::NotReadable;
}

} // namespace packsmith::targa
