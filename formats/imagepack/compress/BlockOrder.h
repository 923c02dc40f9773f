#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/imagepack/record/BlockTable.h"

namespace packsmith {

// An order for a block table's entries in which each entry is cheap to code against the one
// before it and entries alike stand close, so that the map's small index steps find them:
// entries by brightness, then a chain that moves on to the cheapest of the nearby ones not
// yet taken. Returns the entries' positions in that order.
std::vector<std::uint32_t> OrderEntries(std::span<const BlockEntry> entries);

} // namespace packsmith
