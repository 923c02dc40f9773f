#include "targa/TgaPixels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace packsmith::targa {

namespace {

using Kind = PixelFormat::Kind;

// A 5-bit channel scaled to 8 bits, rounded to nearest.
constexpr std::array<std::uint8_t, 32> Expand5 = [] {
    std::array<std::uint8_t, 32> table{};
    for (unsigned v = 0; v < 32; ++v)
        table[v] = static_cast<std::uint8_t>((v * 255u + 15u) / 31u);
    return table;
}();

unsigned Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// A stored colour of these bits: a true-colour pixel or a colour map entry.
Kind ColourKind(unsigned bits, bool alphaBit)
{
    switch (bits) {
    case 32:
        return Kind::Bgra32;
    case 24:
        return Kind::Bgr24;
    default: // 15 or 16: the top bit of a 16-bit colour is its alpha when the descriptor
             // declares alpha bits; otherwise the colour is opaque.
        return bits == 16 && alphaBit ? Kind::Bgr16WithAlpha : Kind::Bgr16;
    }
}

// A pixel as one 32-bit word whose bytes in memory are blue, green, red and alpha, whatever
// the machine's byte order: stored with one store instead of four, in loops the compiler can
// vectorize.
constexpr std::uint32_t Word(std::uint32_t b, std::uint32_t g, std::uint32_t r, std::uint32_t a)
{
    return std::endian::native == std::endian::little ? b | g << 8 | r << 16 | a << 24 : b << 24 | g << 16 | r << 8 | a;
}

void Put(std::uint8_t* out, std::uint32_t word) { std::memcpy(out, &word, 4); }

void FromBgr24(const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    if (n == 0)
        return;
    // Each pixel but the last is loaded as four bytes, the fourth being the next pixel's
    // blue, which the alpha then replaces; the last has no next pixel to borrow from.
    for (std::size_t i = 0; i + 1 < n; ++i, in += 3, out += 4) {
        std::uint32_t word;
        std::memcpy(&word, in, 4);
        Put(out, word | Word(0, 0, 0, 255));
    }
    Put(out, Word(in[0], in[1], in[2], 255));
}

void FromBgr16(const std::uint8_t* in, std::size_t n, std::uint8_t* out, bool alphaBit)
{
    for (std::size_t i = 0; i < n; ++i, in += 2, out += 4) {
        const unsigned v = Le16(in);
        const std::uint32_t alpha = !alphaBit || (v & 0x8000u) != 0 ? 255 : 0;
        Put(out, Word(Expand5[v & 31u], Expand5[(v >> 5) & 31u], Expand5[(v >> 10) & 31u], alpha));
    }
}

void FromGrey8(const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    for (std::size_t i = 0; i < n; ++i, out += 4)
        Put(out, Word(in[i], in[i], in[i], 255));
}

void FromGreyAlpha16(const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    for (std::size_t i = 0; i < n; ++i, in += 2, out += 4)
        Put(out, Word(in[0], in[0], in[0], in[1]));
}

// The colour kinds only: a map's entries are never indices themselves.
void FromColours(Kind kind, const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    switch (kind) {
    case Kind::Bgra32: // the alpha byte is kept whatever the descriptor says about alpha bits
        std::memcpy(out, in, n * 4);
        break;
    case Kind::Bgr24:
        FromBgr24(in, n, out);
        break;
    case Kind::Bgr16WithAlpha:
    case Kind::Bgr16:
        FromBgr16(in, n, out, kind == Kind::Bgr16WithAlpha);
        break;
    case Kind::Grey8:
        FromGrey8(in, n, out);
        break;
    case Kind::GreyAlpha16:
        FromGreyAlpha16(in, n, out);
        break;
    case Kind::Index8:
    case Kind::Index16:
        break;
    }
}

// map: BGRA entries, the first of them numbered first. An index below first wraps round to
// a number past the map's end.
template <std::size_t IndexBytes>
bool FromIndices(const std::uint8_t* in, std::size_t n, std::uint8_t* out, const std::vector<std::uint8_t>& map,
                 std::size_t first)
{
    // Held apart from the vector, which the stores through out could alias for all the
    // compiler knows.
    const std::uint8_t* const entries = map.data();
    const std::size_t count = map.size() / 4;
    for (std::size_t i = 0; i < n; ++i, in += IndexBytes, out += 4) {
        const std::size_t entry = std::size_t{IndexBytes == 1 ? in[0] : Le16(in)} - first;
        if (entry >= count)
            return false;
        std::memcpy(out, entries + entry * 4, 4);
    }
    return true;
}

} // namespace

PixelFormat::PixelFormat(const Header& header, const std::uint8_t* map)
{
    const bool alphaBit = header.AlphaBits() > 0;
    if (header.Indexed()) {
        kind_ = header.PixelBits == 8 ? Kind::Index8 : Kind::Index16;
        mapFirst_ = header.MapFirst;
        map_.resize(std::size_t{header.MapLength} * 4);
        FromColours(ColourKind(header.MapEntryBits, alphaBit), map, header.MapLength, map_.data());
    } else if (header.Grey()) {
        kind_ = header.PixelBits == 8 ? Kind::Grey8 : Kind::GreyAlpha16;
    } else {
        kind_ = ColourKind(header.PixelBits, alphaBit);
    }
}

bool PixelFormat::Convert(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const
{
    switch (kind_) {
    case Kind::Index8:
        return FromIndices<1>(in, n, out, map_, mapFirst_);
    case Kind::Index16:
        return FromIndices<2>(in, n, out, map_, mapFirst_);
    default:
        FromColours(kind_, in, n, out);
        return true;
    }
}

bool IndicesInMap(const Header& header, const std::uint8_t* in, std::size_t n)
{
    if (n == 0)
        return true;
    // Only the smallest and the largest index matter, and finding them needs no branch in
    // the loop.
    unsigned low = 0xFFFF;
    unsigned high = 0;
    if (header.PixelBits == 8) {
        std::uint8_t low8 = 0xFF;
        std::uint8_t high8 = 0;
        for (std::size_t i = 0; i < n; ++i) {
            low8 = std::min(low8, in[i]);
            high8 = std::max(high8, in[i]);
        }
        low = low8;
        high = high8;
    } else {
        for (std::size_t i = 0; i < n; ++i, in += 2) {
            low = std::min(low, Le16(in));
            high = std::max(high, Le16(in));
        }
    }
    return low >= header.MapFirst && high - header.MapFirst < header.MapLength;
}

} // namespace packsmith::targa
