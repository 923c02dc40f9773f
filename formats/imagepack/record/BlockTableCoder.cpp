#include "formats/imagepack/record/BlockTableCoder.h"

#include <algorithm>
#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace packsmith {
namespace {

// One plane of an entry against the entry before: selector 0 when unchanged, else the
// narrowest magnitudes that reach each byte the shorter way round, else absolute bytes.
struct PlaneCode {
    std::array<unsigned, 4> Magnitude{};
    std::array<unsigned, 4> Sign{};
    unsigned Selector = 0;
};

PlaneCode CodePlane(const BlockEntry& previous, const BlockEntry& entry, int plane)
{
    PlaneCode code;
    unsigned largest = 0;
    for (int j = 0; j < 4; ++j) {
        const unsigned up = static_cast<std::uint8_t>(entry[4 * j + plane] - previous[4 * j + plane]);
        code.Magnitude[j] = up <= 128 ? up : 256 - up;
        code.Sign[j] = up <= 128 ? 0 : 1;
        largest = std::max(largest, code.Magnitude[j]);
    }
    while (code.Selector < 7 && largest > (1u << code.Selector) - 1)
        ++code.Selector;
    return code;
}

void PutPlane(LsbBitWriter& out, const PlaneCode& code, const BlockEntry& entry, int plane)
{
    out.Put(code.Selector, 3);
    for (int j = 0; j < 4; ++j) {
        if (code.Selector == 7) {
            out.Put(entry[4 * j + plane], 8);
        } else if (code.Selector != 0) {
            out.Put(code.Magnitude[j], code.Selector);
            if (code.Magnitude[j] != 0)
                out.Put(code.Sign[j], 1);
        }
    }
}

// What a plane costs by the largest magnitude of its four bytes: the selector, which is the
// magnitude's width (7 stores the bytes whole), and the magnitudes; and whether each byte that
// changes adds a sign bit (all ones) or not (0).
struct PlaneCosts {
    std::array<std::uint8_t, 256> Bits{};
    std::array<std::uint8_t, 256> Signs{};
    constexpr PlaneCosts()
    {
        for (unsigned largest = 0; largest < 256; ++largest) {
            const unsigned selector = std::min(static_cast<unsigned>(std::bit_width(largest)), 7u);
            Bits[largest] = static_cast<std::uint8_t>(selector == 7 ? 3 + 32 : 3 + 4 * selector);
            Signs[largest] = selector == 7 ? 0 : 0xFF;
        }
    }
};
constexpr PlaneCosts kPlaneCosts;
constexpr const std::array<std::uint8_t, 256>& kPlaneBits = kPlaneCosts.Bits;
constexpr const std::array<std::uint8_t, 256>& kSignBits = kPlaneCosts.Signs;

} // namespace

unsigned BlockEntryBits(const BlockEntry& previous, const BlockEntry& entry)
{
    // The bits CodeBlockTable would write for the entry, without coding it: the table's
    // order is chosen by trying many entries as the next, so this runs far more often than
    // the coder. Per plane: the largest magnitude of the four bytes (the shorter way round)
    // and how many are not 0.
    std::array<std::uint8_t, 4> largest{};
    std::array<std::uint8_t, 4> nonzero{};
#if defined(__SSE2__)
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous.data()));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entry.data()));
    const __m128i magnitude = _mm_min_epu8(_mm_sub_epi8(b, a), _mm_sub_epi8(a, b));
    // Byte k of each pixel is plane k: folding the four pixels onto each other leaves every
    // plane's largest magnitude and count in the first pixel's bytes.
    __m128i most = _mm_max_epu8(magnitude, _mm_shuffle_epi32(magnitude, _MM_SHUFFLE(1, 0, 3, 2)));
    most = _mm_max_epu8(most, _mm_shuffle_epi32(most, _MM_SHUFFLE(2, 3, 0, 1)));
    __m128i count = _mm_andnot_si128(_mm_cmpeq_epi8(magnitude, _mm_setzero_si128()), _mm_set1_epi8(1));
    count = _mm_add_epi8(count, _mm_shuffle_epi32(count, _MM_SHUFFLE(1, 0, 3, 2)));
    count = _mm_add_epi8(count, _mm_shuffle_epi32(count, _MM_SHUFFLE(2, 3, 0, 1)));
    const auto mostBytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(most));
    const auto countBytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(count));
    for (std::size_t plane = 0; plane < 4; ++plane) {
        largest[plane] = static_cast<std::uint8_t>(mostBytes >> (8 * plane));
        nonzero[plane] = static_cast<std::uint8_t>(countBytes >> (8 * plane));
    }
#else
    for (std::size_t i = 0; i < 16; ++i) {
        const auto up = static_cast<std::uint8_t>(entry[i] - previous[i]);
        const auto down = static_cast<std::uint8_t>(previous[i] - entry[i]);
        const std::uint8_t m = std::min(up, down);
        largest[i % 4] = std::max(largest[i % 4], m);
        nonzero[i % 4] = static_cast<std::uint8_t>(nonzero[i % 4] + (m != 0 ? 1 : 0));
    }
#endif
    unsigned bits = 0;
    for (std::size_t plane = 0; plane < 4; ++plane)
        bits += kPlaneBits[largest[plane]] + (kSignBits[largest[plane]] & nonzero[plane]);
    return bits;
}

void CodeBlockTable(std::span<const BlockEntry> entries, LsbBitWriter& out)
{
    for (std::size_t e = 1; e < entries.size(); ++e)
        for (int plane = 0; plane < 4; ++plane)
            PutPlane(out, CodePlane(entries[e - 1], entries[e], plane), entries[e], plane);
}

} // namespace packsmith
