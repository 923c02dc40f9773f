#pragma once

#include <span>

#include "formats/BitWriter.h"
#include "formats/imagepack/record/BlockTable.h"

namespace packsmith {

// The bits that code entry against previous, the entry before it in the table.
unsigned BlockEntryBits(const BlockEntry& previous, const BlockEntry& entry);

// Codes entries 1 to the last of a block table, each against the one before, appended to
// out; entry 0 is stored raw beside the stream and not coded.
void CodeBlockTable(std::span<const BlockEntry> entries, LsbBitWriter& out);

} // namespace packsmith
