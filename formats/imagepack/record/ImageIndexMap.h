#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {

// The shape of a record's index map, checked against the capacities by the caller.
struct IndexMapShape {
    std::size_t BlocksPerRow = 0; // Wb, at least 1
    std::size_t Rows = 0;         // R, at least 1; Wb x R at most kMaxMapIndices
    unsigned LiteralBits = 0;     // bits of a literal index, at most 12
};

// The index map of an image record and the working memory that decoding it needs: the map,
// the history of what followed each index one row later, the neighbour slots. Reused from
// record to record; each decode clears only what the one before it dirtied.
class ImageIndexMap {
public:
    // Room for a run that reaches past the last row.
    static constexpr std::size_t kSlots = image_record::kMaxMapIndices + 8;

    ImageIndexMap();
    ~ImageIndexMap();
    ImageIndexMap(const ImageIndexMap&) = delete;
    ImageIndexMap& operator=(const ImageIndexMap&) = delete;

    // Decodes the index stream that starts at the record's header end. Afterwards the first
    // Wb x R indices are the map, every one of them at most 4095. A stream that needs a row
    // below map row 0, names an index above 4095 where the map is drawn or a history or
    // neighbour is read, or runs past kSlots throws ImageRecordError.
    void Decode(std::span<const std::uint8_t> record, const IndexMapShape& shape);

    const std::uint16_t* Indices() const;

    struct Memory;

private:
    std::unique_ptr<Memory> memory_;
};

} // namespace packsmith
