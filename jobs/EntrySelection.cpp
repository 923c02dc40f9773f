#include "jobs/EntrySelection.h"

#include <algorithm>

#include "platform/NameMatch.h"

namespace packsmith {

EntrySelection NamesMatching(std::vector<std::string> patterns)
{
    return [patterns = std::move(patterns)](std::uint32_t, const std::string& storedName) {
        return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
            return NameMatches(pattern, storedName);
        });
    };
}

EntrySelection EntriesAt(std::vector<std::uint32_t> indices)
{
    std::sort(indices.begin(), indices.end());
    return [indices = std::move(indices)](std::uint32_t index, const std::string&) {
        return std::binary_search(indices.begin(), indices.end(), index);
    };
}

} // namespace packsmith
