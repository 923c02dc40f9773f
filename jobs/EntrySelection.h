#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace packsmith {

// Which entries of an image pack an extraction writes, by index (0-based) and stored
// name. An empty selection takes every entry.
using EntrySelection = std::function<bool(std::uint32_t index, const std::string& storedName)>;

// The entries whose stored name matches one of the shell patterns ("*", "?", "[...]"). A
// "\" in a pattern is a character, as it is in stored names, and case is ignored, as it is
// on the system the packs come from.
EntrySelection NamesMatching(std::vector<std::string> patterns);
// The entries at the given indices.
EntrySelection EntriesAt(std::vector<std::uint32_t> indices);

} // namespace packsmith
