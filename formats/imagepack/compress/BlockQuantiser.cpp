#include "formats/imagepack/compress/BlockQuantiser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <queue>
#include <tuple>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace packsmith {
namespace {

// Alpha differences count twice (their squares four times) against colour differences.
constexpr float kAlphaScale = 2.0f;
// Steps of power iteration towards the axis a group is split across.
constexpr int kSplitSteps = 1;
// Slices of its extent in which a group of more members is weighed for the place to cut it.
constexpr std::size_t kBins = 256;
// Rounds of passes of moving blocks to their nearest entry and entries to the mean of their
// blocks after the splitting; between two rounds, entries that cost little are moved to the
// blocks drawn worst.
constexpr int kRounds = 3;
constexpr int kPassesPerRound = 2;
// Entries a block may move to: the nearest ones to its own.
constexpr std::size_t kNeighbours = 16;
// Points, and entries whose neighbours are searched (each a search through many others),
// between two looks at the stop request: a large picture takes the better part of a second,
// and a stop must not wait for it.
constexpr std::size_t kStopStride = 4096;
constexpr std::size_t kNeighbourStopStride = 64;

enum Group : std::uint8_t { kVisible, kTransparent };

Group GroupOf(const PixelBlock& block)
{
    for (const std::uint32_t pixel : block)
        if ((pixel >> 24) != 0)
            return kVisible;
    return kTransparent;
}

// The squared distance between two points: the inner loop of the quantiser, four
// coordinates at a time where the machine has them.
template <int D>
float Distance(const float* a, const float* b)
{
    static_assert(D % 4 == 0);
#if defined(__SSE2__)
    __m128 sum = _mm_setzero_ps();
    for (int d = 0; d < D; d += 4) {
        const __m128 diff = _mm_sub_ps(_mm_loadu_ps(a + d), _mm_loadu_ps(b + d));
        sum = _mm_add_ps(sum, _mm_mul_ps(diff, diff));
    }
    sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
    sum = _mm_add_ss(sum, _mm_shuffle_ps(sum, sum, 1));
    return _mm_cvtss_f32(sum);
#else
    float lanes[4] = {};
    for (int d = 0; d < D; ++d) {
        const float diff = a[d] - b[d];
        lanes[d % 4] += diff * diff;
    }
    return (lanes[0] + lanes[2]) + (lanes[1] + lanes[3]);
#endif
}

template <int D>
class Quantiser {
public:
    Quantiser(std::span<const PixelBlock> blocks, std::span<const std::uint32_t> counts, std::size_t maxEntries,
              const StopToken& stop)
        : maxEntries_(maxEntries), stop_(stop), blocks_(blocks)
    {
        // The all-zero block is index 0 and takes no entry; the others are points.
        result_.EntryOf.assign(blocks.size(), kZeroBlockEntry);
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (blocks[b] == PixelBlock{})
                continue;
            blockOf_.push_back(static_cast<std::uint32_t>(b));
            group_.push_back(GroupOf(blocks[b]));
            weight_.push_back(static_cast<float>(counts[b]));
        }
    }

    BlockPalette Run()
    {
        if (blockOf_.empty())
            return std::move(result_);
        Split();
        for (int round = 0; round < kRounds; ++round) {
            // Entries move less with every pass; their neighbours are found anew each round.
            FindNeighbours();
            for (int pass = 0; pass < kPassesPerRound; ++pass)
                Assign(true);
            if (round + 1 < kRounds && !Swap())
                break;
        }
        Round();
        Assign(false);
        FillUnused();
        Collect();
        return std::move(result_);
    }

private:
    // The weighted sums a group's error and spread follow from.
    struct Moments {
        double Weight = 0;
        std::array<double, D> Sum{};
        std::array<double, D> Squares{}; // per coordinate

        void Add(const float* x, double w)
        {
            Weight += w;
            for (int d = 0; d < D; ++d) {
                Sum[d] += w * x[d];
                Squares[d] += w * x[d] * x[d];
            }
        }
        void Add(const Moments& other)
        {
            Weight += other.Weight;
            for (int d = 0; d < D; ++d) {
                Sum[d] += other.Sum[d];
                Squares[d] += other.Squares[d];
            }
        }
        Moments Minus(const Moments& part) const
        {
            Moments rest = *this;
            rest.Weight -= part.Weight;
            for (int d = 0; d < D; ++d) {
                rest.Sum[d] -= part.Sum[d];
                rest.Squares[d] -= part.Squares[d];
            }
            return rest;
        }
        // The spread about the mean in coordinate d, weighted.
        double Spread(int d) const { return Weight > 0 ? std::max(0.0, Squares[d] - Sum[d] * Sum[d] / Weight) : 0; }
        // The error on the two sides of a cut that leaves this part of whole on one side.
        double ErrorOfCut(const Moments& whole) const
        {
            double squares = 0, belowNorm = 0, aboveNorm = 0;
            for (int d = 0; d < D; ++d) {
                const double above = whole.Sum[d] - Sum[d];
                squares += whole.Squares[d];
                belowNorm += Sum[d] * Sum[d];
                aboveNorm += above * above;
            }
            return squares - belowNorm / Weight - aboveNorm / (whole.Weight - Weight);
        }
        double Error() const
        {
            double error = 0;
            for (int d = 0; d < D; ++d)
                error += Spread(d);
            return error;
        }
    };

    struct Box {
        std::uint32_t Begin = 0, End = 0; // members: slots [Begin, End)
        Group Of = kVisible;
        Moments Sums;
        double Sse = 0;
    };

    const float* X(std::size_t point) const { return x_.data() + point * D; }
    const float* SlotX(std::size_t slot) const { return slotX_.data() + slot * D; }
    float* SlotX(std::size_t slot) { return slotX_.data() + slot * D; }

    // A point's coordinates: its block's bytes, alpha scaled.
    void Coordinates(std::size_t point, float* x) const
    {
        const PixelBlock& block = blocks_[blockOf_[point]];
        for (int d = 0; d < D; ++d) {
            const auto byte = static_cast<float>((block[d / 4] >> (8 * (d % 4))) & 0xFF);
            x[d] = d % 4 == 3 ? byte * kAlphaScale : byte;
        }
    }
    float* C(std::size_t centre) { return centres_.data() + centre * D; }

    void Measure(Box& box) const
    {
        box.Sums = {};
        for (std::uint32_t k = box.Begin; k < box.End; ++k)
            box.Sums.Add(SlotX(k), slotWeight_[k]);
        Settle(box);
    }
    static void Settle(Box& box) { box.Sse = box.End - box.Begin > 1 ? box.Sums.Error() : 0; }

    // The cut across direction that leaves the least error on its two sides, the members
    // put in order along it (below the cut, then the rest); the cut's place in order_ and
    // the moments of the members below it. Every place between two members is weighed at
    // once with running sums; a large group is weighed in kBins slices of its extent.
    std::pair<std::uint32_t, Moments> CutAcross(const Box& box, const std::array<float, D>& direction)
    {
        projected_.clear();
        float lowest = INFINITY, highest = -INFINITY;
        for (std::uint32_t k = box.Begin; k < box.End; ++k) {
            const float* x = SlotX(k);
            float t = 0;
            for (int d = 0; d < D; ++d)
                t += x[d] * direction[d];
            projected_.push_back({t, k});
            lowest = std::min(lowest, t);
            highest = std::max(highest, t);
        }
        if (!(highest > lowest))
            return {box.Begin, {}};
        const std::size_t n = projected_.size();
        double least = INFINITY;
        Moments below, best;
        if (n <= kBins) {
            std::sort(projected_.begin(), projected_.end());
            std::size_t bestCount = 0;
            for (std::size_t i = 0; i + 1 < n; ++i) {
                below.Add(SlotX(projected_[i].second), slotWeight_[projected_[i].second]);
                if (projected_[i].first == projected_[i + 1].first)
                    continue;
                const double error = below.ErrorOfCut(box.Sums);
                if (error < least) {
                    least = error;
                    best = below;
                    bestCount = i + 1;
                }
            }
            Rearrange(box.Begin);
            return {box.Begin + static_cast<std::uint32_t>(bestCount), best};
        }
        bins_.assign(kBins, Moments{});
        const float scale = static_cast<float>(kBins) / (highest - lowest);
        const auto binOf = [&](float t) {
            return std::min<std::size_t>(kBins - 1, static_cast<std::size_t>((t - lowest) * scale));
        };
        for (const auto& [t, k] : projected_)
            bins_[binOf(t)].Add(SlotX(k), slotWeight_[k]);
        std::size_t bestBins = 0;
        for (std::size_t b = 0; b + 1 < kBins; ++b) {
            below.Add(bins_[b]);
            if (bins_[b].Weight == 0 || below.Weight == box.Sums.Weight)
                continue;
            const double error = below.ErrorOfCut(box.Sums);
            if (error < least) {
                least = error;
                best = below;
                bestBins = b + 1;
            }
        }
        // Those below the cut first, each side in its present order.
        const auto middle = std::stable_partition(projected_.begin(), projected_.end(),
                                                  [&](const auto& member) { return binOf(member.first) < bestBins; });
        Rearrange(box.Begin);
        return {box.Begin + static_cast<std::uint32_t>(middle - projected_.begin()), best};
    }

    // Puts the members of the slots from begin on in the order of projected_: slot begin + i
    // takes what slot projected_[i].second held. In place, one cycle of the move at a time:
    // the first split moves every point, and a second copy of them all would double the
    // quantiser's memory. projected_ is used up.
    void Rearrange(std::uint32_t begin)
    {
        constexpr std::uint32_t kMoved = 0xFFFFFFFFu;
        std::array<float, D> heldX;
        for (std::size_t i = 0; i < projected_.size(); ++i) {
            if (projected_[i].second == kMoved)
                continue;
            // Slot i is lifted out; along its cycle each slot takes what its source holds,
            // and the slot whose source is i takes what was lifted.
            std::copy_n(SlotX(begin + i), D, heldX.data());
            const float heldWeight = slotWeight_[begin + i];
            const std::uint32_t heldOrder = order_[begin + i];
            for (std::size_t to = i;;) {
                const std::size_t from = projected_[to].second - begin;
                projected_[to].second = kMoved;
                if (from == i) {
                    std::copy_n(heldX.data(), D, SlotX(begin + to));
                    slotWeight_[begin + to] = heldWeight;
                    order_[begin + to] = heldOrder;
                    break;
                }
                std::copy_n(SlotX(begin + from), D, SlotX(begin + to));
                slotWeight_[begin + to] = slotWeight_[begin + from];
                order_[begin + to] = order_[begin + from];
                to = from;
            }
        }
    }

    // Splits box in two where that leaves the least error, across its principal axis; false
    // when all its blocks are one. The axis is found by a few steps of power iteration from
    // the coordinate in which the blocks spread most: from a fixed direction (the brightness)
    // a group whose spread is across it, such as a block and its mirror image, would look
    // unsplittable. Where the axis degenerates, the cut is across that coordinate instead.
    bool SplitBox(Box& box, Box& upper)
    {
        std::array<float, D> mean, axis{};
        std::array<double, D> spread{};
        for (int d = 0; d < D; ++d) {
            mean[d] = static_cast<float>(box.Sums.Sum[d] / box.Sums.Weight);
            spread[d] = box.Sums.Spread(d);
        }
        const int widest = static_cast<int>(std::max_element(spread.begin(), spread.end()) - spread.begin());
        if (spread[widest] == 0)
            return false;
        axis[widest] = 1;
        for (int step = 0; step < kSplitSteps; ++step) {
            std::array<double, D> next{};
            for (std::uint32_t k = box.Begin; k < box.End; ++k) {
                const float* x = SlotX(k);
                float t = 0;
                for (int d = 0; d < D; ++d)
                    t += (x[d] - mean[d]) * axis[d];
                t *= slotWeight_[k];
                for (int d = 0; d < D; ++d)
                    next[d] += t * (x[d] - mean[d]);
            }
            double norm = 0;
            for (int d = 0; d < D; ++d)
                norm += next[d] * next[d];
            if (!(norm > 0))
                break;
            norm = std::sqrt(norm);
            for (int d = 0; d < D; ++d)
                axis[d] = static_cast<float>(next[d] / norm);
        }
        auto [cut, below] = CutAcross(box, axis);
        if (cut == box.Begin || cut == box.End) {
            std::array<float, D> coordinate{};
            coordinate[widest] = 1;
            std::tie(cut, below) = CutAcross(box, coordinate);
        }
        if (cut == box.Begin || cut == box.End)
            return false;
        upper = box;
        upper.Begin = cut;
        upper.Sums = box.Sums.Minus(below);
        box.End = cut;
        box.Sums = below;
        Settle(box);
        Settle(upper);
        return true;
    }

    // The first entries: each group of blocks split in two, the worst first, until the
    // entries are spent or every group is one block.
    void Split()
    {
        order_.resize(blockOf_.size());
        for (std::uint32_t k = 0; k < order_.size(); ++k)
            order_[k] = k;
        std::stable_partition(order_.begin(), order_.end(), [&](std::uint32_t p) { return group_[p] == kVisible; });
        slotX_.resize(order_.size() * D);
        slotWeight_.resize(order_.size());
        for (std::size_t k = 0; k < order_.size(); ++k) {
            Coordinates(order_[k], SlotX(k));
            slotWeight_[k] = weight_[order_[k]];
        }
        const auto visible = static_cast<std::uint32_t>(
            std::count(group_.begin(), group_.end(), static_cast<std::uint8_t>(kVisible)));
        std::vector<Box> boxes;
        const auto total = static_cast<std::uint32_t>(order_.size());
        for (const Group of : {kVisible, kTransparent}) {
            Box box;
            box.Begin = of == kVisible ? 0 : visible;
            box.End = of == kVisible ? visible : total;
            box.Of = of;
            if (box.Begin == box.End)
                continue;
            Measure(box);
            boxes.push_back(box);
        }
        std::priority_queue<std::pair<double, std::size_t>> worst;
        for (std::size_t b = 0; b < boxes.size(); ++b)
            worst.push({boxes[b].Sse, b});
        while (boxes.size() < maxEntries_ && !worst.empty() && worst.top().first > 0) {
            stop_.ThrowIfStopped();
            const std::size_t b = worst.top().second;
            worst.pop();
            Box upper;
            if (!SplitBox(boxes[b], upper))
                continue;
            boxes.push_back(upper);
            worst.push({boxes[b].Sse, b});
            worst.push({upper.Sse, boxes.size() - 1});
        }

        centres_.assign(boxes.size() * D, 0);
        centreGroup_.resize(boxes.size());
        assigned_.resize(blockOf_.size());
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            for (int d = 0; d < D; ++d)
                C(b)[d] = static_cast<float>(boxes[b].Sums.Sum[d] / boxes[b].Sums.Weight);
            centreGroup_[b] = boxes[b].Of;
            for (std::uint32_t k = boxes[b].Begin; k < boxes[b].End; ++k)
                assigned_[order_[k]] = static_cast<std::uint32_t>(b);
        }
        // The slots are done with; the points, in their own order, take their place, so that
        // the two are never held at once (for a large picture, megabytes each).
        Release(slotX_);
        Release(slotWeight_);
        Release(order_);
        Release(projected_);
        x_.resize(blockOf_.size() * D);
        for (std::size_t p = 0; p < blockOf_.size(); ++p)
            Coordinates(p, x_.data() + p * D);
        entryCentres_ = boxes.size();
        if (std::find(centreGroup_.begin(), centreGroup_.end(), kTransparent) != centreGroup_.end()) {
            // Index 0 is one more place for transparent blocks to go, fixed at zero.
            centres_.resize(centres_.size() + D, 0);
            centreGroup_.push_back(kTransparent);
        }
    }

    // For each entry, the nearest others of its group, nearest first. Entries are sorted by
    // where they fall on their principal axis; from each one the search goes out both ways
    // until the distance along the axis alone exceeds the farthest neighbour kept.
    void FindNeighbours()
    {
        const std::size_t n = centreGroup_.size();
        neighbours_.assign(n * kNeighbours, 0);
        neighbourDistance_.assign(n * kNeighbours, INFINITY);
        const std::array<float, D> axis = PrincipalAxis();
        std::vector<std::pair<float, std::uint32_t>> sorted(n);
        for (std::size_t c = 0; c < n; ++c) {
            float t = 0;
            for (int d = 0; d < D; ++d)
                t += C(c)[d] * axis[d];
            sorted[c] = {t, static_cast<std::uint32_t>(c)};
        }
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < n; ++i) {
            if (i % kNeighbourStopStride == 0)
                stop_.ThrowIfStopped();
            const float t = sorted[i].first;
            const std::uint32_t a = sorted[i].second;
            float* dist = neighbourDistance_.data() + std::size_t{a} * kNeighbours;
            std::uint32_t* id = neighbours_.data() + std::size_t{a} * kNeighbours;
            auto offer = [&](std::uint32_t other) {
                if (centreGroup_[other] != centreGroup_[a])
                    return;
                const float distance = Distance<D>(C(a), C(other));
                if (distance >= dist[kNeighbours - 1])
                    return;
                std::size_t k = kNeighbours - 1;
                for (; k > 0 && dist[k - 1] > distance; --k) {
                    dist[k] = dist[k - 1];
                    id[k] = id[k - 1];
                }
                dist[k] = distance;
                id[k] = other;
            };
            for (std::size_t j = i + 1; j < n && (sorted[j].first - t) * (sorted[j].first - t) < dist[kNeighbours - 1]; ++j)
                offer(sorted[j].second);
            for (std::size_t j = i; j-- > 0 && (sorted[j].first - t) * (sorted[j].first - t) < dist[kNeighbours - 1];)
                offer(sorted[j].second);
        }
    }

    // The direction in which the entries spread most: a few steps of power iteration from
    // the direction of brightness.
    std::array<float, D> PrincipalAxis()
    {
        const std::size_t n = centreGroup_.size();
        std::array<double, D> mean{};
        for (std::size_t c = 0; c < n; ++c)
            for (int d = 0; d < D; ++d)
                mean[d] += C(c)[d] / static_cast<double>(n);
        std::array<float, D> axis;
        axis.fill(1 / std::sqrt(static_cast<float>(D)));
        for (int step = 0; step < 4; ++step) {
            std::array<double, D> next{};
            for (std::size_t c = 0; c < n; ++c) {
                double t = 0;
                for (int d = 0; d < D; ++d)
                    t += (C(c)[d] - mean[d]) * axis[d];
                for (int d = 0; d < D; ++d)
                    next[d] += t * (C(c)[d] - mean[d]);
            }
            double norm = 0;
            for (int d = 0; d < D; ++d)
                norm += next[d] * next[d];
            if (norm == 0)
                break;
            for (int d = 0; d < D; ++d)
                axis[d] = static_cast<float>(next[d] / std::sqrt(norm));
        }
        return axis;
    }

    // Moves every block to the nearest of its entry and that entry's neighbours (another
    // entry can only be nearer if it lies within twice the block's distance from its own);
    // then, if update, every entry to the mean of its blocks.
    void Assign(bool update)
    {
        std::vector<double> sums(update ? entryCentres_ * D : 0, 0.0);
        std::vector<double> weights(update ? entryCentres_ : 0, 0.0);
        for (std::size_t p = 0; p < blockOf_.size(); ++p) {
            if (p % kStopStride == 0)
                stop_.ThrowIfStopped();
            const float* x = X(p);
            std::uint32_t best = assigned_[p];
            const float own = Distance<D>(x, C(best));
            float bestDistance = own;
            const std::uint32_t* id = neighbours_.data() + std::size_t{assigned_[p]} * kNeighbours;
            const float* dist = neighbourDistance_.data() + std::size_t{assigned_[p]} * kNeighbours;
            for (std::size_t k = 0; k < kNeighbours && dist[k] < 4 * own; ++k) {
                const float distance = Distance<D>(x, C(id[k]));
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = id[k];
                }
            }
            assigned_[p] = best;
            if (update && best < entryCentres_) {
                weights[best] += weight_[p];
                for (int d = 0; d < D; ++d)
                    sums[best * D + d] += double{weight_[p]} * x[d];
            }
        }
        if (update)
            for (std::size_t c = 0; c < entryCentres_; ++c)
                if (weights[c] > 0)
                    for (int d = 0; d < D; ++d)
                        C(c)[d] = static_cast<float>(sums[c * D + d] / weights[c]);
    }

    // Moves entries that cost little to give up to the blocks drawn worst. An entry's cost is
    // what merging its blocks into its nearest entry adds to the error (the product of the
    // two weights over their sum, times the squared distance); a block's gain, at least, is
    // its own error, which it loses as an entry of its own. Pairs are taken cheapest entry
    // against worst block while the gain is the larger; an entry that takes merged blocks is
    // kept this round. The passes that follow settle the blocks around the moved entries.
    // Whether any entry moved.
    bool Swap()
    {
        const std::size_t centres = entryCentres_;
        std::vector<double> weight(centres, 0.0);
        std::vector<std::pair<double, std::uint32_t>> worst; // error, point
        worst.reserve(blockOf_.size());
        for (std::size_t p = 0; p < blockOf_.size(); ++p) {
            const std::uint32_t c = assigned_[p];
            if (c >= centres)
                continue; // drawn as index 0
            weight[c] += weight_[p];
            worst.push_back({double{weight_[p]} * Distance<D>(X(p), C(c)), static_cast<std::uint32_t>(p)});
        }
        std::vector<std::pair<double, std::uint32_t>> cheapest; // cost, centre
        cheapest.reserve(centres);
        for (std::size_t c = 0; c < centres; ++c) {
            const std::uint32_t nearest = neighbours_[c * kNeighbours];
            const float distance = neighbourDistance_[c * kNeighbours];
            if (weight[c] == 0) {
                cheapest.push_back({0, static_cast<std::uint32_t>(c)});
            } else if (std::isfinite(distance) && nearest < centres) {
                cheapest.push_back(
                    {weight[c] * weight[nearest] / (weight[c] + weight[nearest]) * distance, static_cast<std::uint32_t>(c)});
            }
        }
        const std::size_t most = std::min(cheapest.size(), worst.size());
        std::partial_sort(worst.begin(), worst.begin() + static_cast<std::ptrdiff_t>(most), worst.end(),
                          std::greater<>());
        std::sort(cheapest.begin(), cheapest.end());
        // An entry that moves gives its blocks to its nearest one, which is kept this round,
        // as is the entry that gives up the block the moved one takes.
        constexpr std::uint32_t kStays = 0xFFFFFFFFu;
        std::vector<std::uint32_t> mergedInto(centres, kStays);
        std::vector<std::uint8_t> kept(centres, 0);
        bool moved = false;
        std::size_t w = 0;
        for (const auto& [cost, c] : cheapest) {
            // An entry without blocks has none to give; one with blocks gives them to its
            // nearest entry, which must stay where it is.
            const bool empty = weight[c] == 0;
            const std::uint32_t nearest = empty ? c : neighbours_[c * kNeighbours];
            if (kept[c] || (!empty && mergedInto[nearest] != kStays))
                continue;
            while (w < most && (assigned_[worst[w].second] == c || mergedInto[assigned_[worst[w].second]] != kStays))
                ++w;
            if (w == most || worst[w].first <= cost)
                break;
            const std::uint32_t p = worst[w++].second;
            if (!empty) {
                kept[nearest] = 1;
                mergedInto[c] = nearest;
            }
            kept[assigned_[p]] = 1;
            std::copy_n(X(p), D, C(c));
            centreGroup_[c] = group_[p];
            assigned_[p] = c;
            moved = true;
        }
        for (std::size_t p = 0; p < blockOf_.size(); ++p) {
            const std::uint32_t c = assigned_[p];
            if (c < centres && mergedInto[c] != kStays && Distance<D>(X(p), C(c)) != 0)
                assigned_[p] = mergedInto[c];
        }
        return moved;
    }

    // Gives every entry that no block is drawn as to one of the blocks drawn worst, as it
    // is: that block's error goes, and no other block's grows.
    void FillUnused()
    {
        std::vector<std::uint32_t> members(centreGroup_.size(), 0);
        for (const std::uint32_t c : assigned_)
            ++members[c];
        if (std::find(members.begin(), members.begin() + static_cast<std::ptrdiff_t>(entryCentres_), 0u) ==
            members.begin() + static_cast<std::ptrdiff_t>(entryCentres_))
            return;
        std::vector<std::pair<double, std::uint32_t>> worst; // error, point
        for (std::size_t p = 0; p < blockOf_.size(); ++p) {
            const float error = Distance<D>(X(p), C(assigned_[p]));
            if (error > 0)
                worst.push_back({double{weight_[p]} * error, static_cast<std::uint32_t>(p)});
        }
        std::sort(worst.begin(), worst.end(), std::greater<>());
        auto next = worst.begin();
        for (std::size_t c = 0; c < entryCentres_ && next != worst.end(); ++c) {
            if (members[c] != 0)
                continue;
            // A block alone on its entry would only leave that one unused.
            while (next != worst.end() && members[assigned_[next->second]] < 2)
                ++next;
            if (next == worst.end())
                break;
            const std::uint32_t p = (next++)->second;
            --members[assigned_[p]];
            ++members[c];
            std::copy_n(X(p), D, C(c));
            centreGroup_[c] = group_[p];
            assigned_[p] = static_cast<std::uint32_t>(c);
        }
    }

    // Entries as bytes. A visible entry keeps at least one pixel with some alpha.
    void Round()
    {
        for (std::size_t c = 0; c < entryCentres_; ++c) {
            float* centre = C(c);
            int mostAlpha = 3;
            for (int d = 0; d < D; ++d) {
                const float scale = d % 4 == 3 ? kAlphaScale : 1.0f;
                centre[d] = std::clamp(std::nearbyint(centre[d] / scale), 0.0f, 255.0f) * scale;
                if (d % 4 == 3 && centre[d] > centre[mostAlpha])
                    mostAlpha = d;
            }
            if (centreGroup_[c] == kVisible && centre[mostAlpha] == 0)
                centre[mostAlpha] = kAlphaScale;
        }
    }

    // The entries that blocks are drawn as, in order of first use.
    void Collect()
    {
        std::vector<std::uint32_t> entryOfCentre(entryCentres_, kZeroBlockEntry);
        for (std::size_t p = 0; p < blockOf_.size(); ++p) {
            const std::uint32_t c = assigned_[p];
            if (c >= entryCentres_)
                continue; // index 0
            if (entryOfCentre[c] == kZeroBlockEntry) {
                entryOfCentre[c] = static_cast<std::uint32_t>(result_.Entries.size());
                PixelBlock entry{};
                for (int d = 0; d < D; ++d) {
                    const float scale = d % 4 == 3 ? kAlphaScale : 1.0f;
                    entry[d / 4] |= static_cast<std::uint32_t>(C(c)[d] / scale) << (8 * (d % 4));
                }
                result_.Entries.push_back(entry);
            }
            result_.EntryOf[blockOf_[p]] = entryOfCentre[c];
        }
    }

    template <class T>
    static void Release(std::vector<T>& v)
    {
        std::vector<T>().swap(v);
    }

    const std::size_t maxEntries_;
    const StopToken& stop_;
    const std::span<const PixelBlock> blocks_;
    BlockPalette result_;
    // The points: the blocks but the all-zero one; their coordinates, alpha scaled, once
    // the splitting is done.
    std::vector<std::uint32_t> blockOf_;
    std::vector<std::uint8_t> group_;
    std::vector<float> weight_;
    std::vector<float> x_;
    // While splitting: the points' coordinates in the order of the groups they fall in,
    // each group's members side by side, and their weights and point numbers.
    std::vector<float> slotX_;
    std::vector<float> slotWeight_;
    std::vector<std::uint32_t> order_;
    std::vector<std::pair<float, std::uint32_t>> projected_; // a group's members along its axis
    std::vector<Moments> bins_;                              // and their moments by slice
    // Entries 0 .. entryCentres_ - 1, then index 0 where transparent blocks have it to go to.
    std::vector<float> centres_;
    std::vector<std::uint8_t> centreGroup_;
    std::size_t entryCentres_ = 0;
    std::vector<std::uint32_t> assigned_;
    std::vector<std::uint32_t> neighbours_;
    std::vector<float> neighbourDistance_;
};

} // namespace

BlockPalette QuantiseBlocks(std::span<const PixelBlock> blocks, std::span<const std::uint32_t> counts,
                            unsigned pixelsPerBlock, std::size_t maxEntries, const StopToken& stop)
{
    if (pixelsPerBlock == 2)
        return Quantiser<8>(blocks, counts, maxEntries, stop).Run();
    return Quantiser<16>(blocks, counts, maxEntries, stop).Run();
}

} // namespace packsmith
