#include "encode/BlockTableCoder.h"

#include <algorithm>
#include <array>

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

unsigned PlaneBits(const PlaneCode& code)
{
    if (code.Selector == 7)
        return 3 + 32;
    unsigned bits = 3;
    for (const unsigned m : code.Magnitude)
        bits += m != 0 ? code.Selector + 1 : code.Selector;
    return bits;
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

} // namespace

unsigned BlockEntryBits(const BlockEntry& previous, const BlockEntry& entry)
{
    unsigned bits = 0;
    for (int plane = 0; plane < 4; ++plane)
        bits += PlaneBits(CodePlane(previous, entry, plane));
    return bits;
}

void CodeBlockTable(std::span<const BlockEntry> entries, LsbBitWriter& out)
{
    for (std::size_t e = 1; e < entries.size(); ++e)
        for (int plane = 0; plane < 4; ++plane)
            PutPlane(out, CodePlane(entries[e - 1], entries[e], plane), entries[e], plane);
}

} // namespace packsmith
