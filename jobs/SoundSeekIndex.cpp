#include "jobs/SoundSeekIndex.h"

#include <algorithm>

namespace packsmith {

void SoundSeekIndex::Offer(const SoundCheckpoint& point)
{
    // The start needs no checkpoint; a walk that passes a place again adds nothing.
    const std::uint64_t last = points_.empty() ? 0 : points_.back().Decoded;
    if (point.Decoded < last + spacing_)
        return;
    if (points_.size() == kCapacity) {
        std::size_t kept = 0;
        for (std::size_t i = 1; i < points_.size(); i += 2)
            points_[kept++] = points_[i];
        points_.resize(kept);
        spacing_ *= 2;
        if (point.Decoded < points_.back().Decoded + spacing_)
            return;
    }
    if (points_.capacity() == 0)
        points_.reserve(kCapacity);
    points_.push_back(point);
}

const SoundCheckpoint* SoundSeekIndex::Before(std::uint64_t decoded) const
{
    const auto after = std::upper_bound(points_.begin(), points_.end(), decoded,
                                        [](std::uint64_t at, const SoundCheckpoint& p) { return at < p.Decoded; });
    return after == points_.begin() ? nullptr : &*std::prev(after);
}

} // namespace packsmith
