#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "jobs/EntrySelection.h"

namespace packsmith {

// The patterns of --only, each noting whether it took an entry: one that took none is most
// likely mistyped, and is reported rather than passed over as a run that wrote nothing.
class OnlyPatterns {
public:
    explicit OnlyPatterns(std::vector<std::string> patterns);

    // The entries any of the patterns matches (every entry when there are none). It may be
    // called from any thread while this object lives.
    EntrySelection Selection();
    // The patterns that have matched no entry so far, in the order given.
    std::vector<std::string> Unmatched() const;

private:
    std::vector<std::string> patterns_;
    std::vector<EntrySelection> each_;
    std::unique_ptr<std::atomic<bool>[]> matched_;
};

} // namespace packsmith
