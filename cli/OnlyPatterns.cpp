#include "cli/OnlyPatterns.h"

namespace packsmith {

OnlyPatterns::OnlyPatterns(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)), matched_(std::make_unique<std::atomic<bool>[]>(patterns_.size()))
{
    for (const std::string& pattern : patterns_)
        each_.push_back(NamesMatching({pattern}));
}

EntrySelection OnlyPatterns::Selection()
{
    if (patterns_.empty())
        return {};
    return [this](std::uint32_t index, const std::string& storedName) {
        // Every pattern is tried, so that each one that matches is known to.
        bool any = false;
        for (std::size_t k = 0; k < each_.size(); ++k) {
            if (each_[k](index, storedName)) {
                matched_[k].store(true, std::memory_order_relaxed);
                any = true;
            }
        }
        return any;
    };
}

std::vector<std::string> OnlyPatterns::Unmatched() const
{
    std::vector<std::string> unmatched;
    for (std::size_t k = 0; k < patterns_.size(); ++k)
        if (!matched_[k].load(std::memory_order_relaxed))
            unmatched.push_back(patterns_[k]);
    return unmatched;
}

} // namespace packsmith
