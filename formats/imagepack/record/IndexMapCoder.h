#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/BitWriter.h"
#include "formats/imagepack/record/ImageIndexMap.h"

namespace packsmith {

// The codes of the index map. RunPrev stands for a whole group of 8 positions.
enum class IndexCode { Any, CopyPrev, Neighbour, History, Literal, DeltaPrev, RunPrev };

// One code that yields the wanted index at a position, and what it costs.
struct IndexChoice {
    IndexCode Code = IndexCode::Literal;
    unsigned Arg = 0;  // Neighbour: selector; History: slot; Literal: value; DeltaPrev: m | s << 4
    unsigned Bits = 0; // the code's length in the stream
};

// Every code that yields the wanted index at one position, in a fixed order: CopyPrev,
// Neighbour by selector, History by slot, Literal, DeltaPrev. A Literal is always among them.
struct IndexChoices {
    std::array<IndexChoice, 23> Items;
    std::size_t Count = 0;
    std::span<const IndexChoice> View() const { return {Items.data(), Count}; }
};

// Decides among the codes that reproduce the wanted map.
class IndexCodePolicy {
public:
    virtual ~IndexCodePolicy() = default;
    // Whether the next 8 positions, which a run reproduces, go as one run. first: the codes
    // for the first of them; crossesTwoRowEnds: the run would leave the decoder's tracked
    // column and row count behind the real position.
    virtual bool TakeRun(const IndexChoices& first, bool crossesTwoRowEnds) = 0;
    // The code for one position.
    virtual IndexChoice Pick(const IndexChoices& choices) = 0;
};

// The shortest code at every position, and a run wherever one reproduces the next 8
// positions without leaving the decoder's row count behind.
class CheapestIndexCodes final : public IndexCodePolicy {
public:
    bool TakeRun(const IndexChoices& first, bool crossesTwoRowEnds) override;
    IndexChoice Pick(const IndexChoices& choices) override;
};

// Codes wanted (shape.BlocksPerRow x shape.Rows indices in map order, each at most 4095,
// with shape.LiteralBits enough for the largest) as an index stream appended to out. The
// codes are chosen against a copy of the decoder's state (position, tracked column,
// finished rows, history rings, neighbour slots), so each means at its place what the
// policy picked. Runs are never offered in rows of fewer than 4 blocks, where a run's source
// overlaps its own first positions and two ways of copying read it differently, nor past
// the map's end.
void CodeIndexMap(std::span<const std::uint16_t> wanted, const IndexMapShape& shape, IndexCodePolicy& policy,
                  LsbBitWriter& out);

} // namespace packsmith
