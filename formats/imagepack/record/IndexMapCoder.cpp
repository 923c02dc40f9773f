#include "formats/imagepack/record/IndexMapCoder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {
namespace {

constexpr std::size_t kRunLength = 8;
constexpr std::size_t kGroupItems = 8;
constexpr std::size_t kRingSlots = 16;

struct NeighbourList {
    std::array<std::uint16_t, 4> Values{};
    unsigned Count = 0;
};

// Bits of the selector that follows a Neighbour code, by the number of listed values.
unsigned SelectorBits(unsigned count) { return count == 1 ? 0 : count <= 2 ? 1 : 2; }

class MapCoder {
public:
    MapCoder(std::span<const std::uint16_t> wanted, const IndexMapShape& shape, IndexCodePolicy& policy,
             LsbBitWriter& out)
        : wanted_(wanted), wb_(shape.BlocksPerRow), rows_(shape.Rows), nbits_(shape.LiteralBits), policy_(policy),
          out_(out), rings_(image_record::kMaxBlocks), cursors_(image_record::kMaxBlocks)
    {
        map_.reserve(wanted.size() + kRunLength);
    }

    void Code()
    {
        while (finished_ < rows_) {
            if (UseRun()) {
                out_.Put(1, 1);
                const std::size_t i = map_.size();
                for (std::size_t j = 0; j < kRunLength; ++j)
                    map_.push_back(map_[i + j - wb_]);
                column_ += kRunLength;
                if (column_ >= wb_) {
                    column_ -= wb_; // once, even where the run crossed two row ends
                    ++finished_;
                }
                continue;
            }
            out_.Put(0, 1);
            for (std::size_t item = 0; item < kGroupItems && finished_ < rows_; ++item) {
                Item();
                if (++column_ >= wb_) {
                    column_ = 0;
                    ++finished_;
                }
            }
        }
    }

private:
    // What the position to code next should hold; past the map (where the tracked row count
    // lags behind after runs over two row ends) any index the decoder accepts will do.
    std::uint16_t Wanted(std::size_t i) const { return i < wanted_.size() ? wanted_[i] : map_[i - wb_]; }

    NeighbourList BuildList(std::size_t i) const
    {
        const std::size_t row = i / wb_;
        NeighbourList list;
        auto add = [&](std::uint16_t value) {
            if (row >= 1 && value == map_[i - wb_])
                return;
            const auto end = list.Values.begin() + list.Count;
            if (std::find(list.Values.begin(), end, value) != end)
                return;
            list.Values[list.Count++] = value;
        };
        if (column_ >= 1)
            add(map_[i - 1]);
        if (row >= 1 && column_ >= 1)
            add(map_[i - wb_ - 1]);
        if (row >= 1 && column_ + 2 <= wb_)
            add(map_[i - wb_ + 1]);
        if (row >= 2)
            add(map_[i - 2 * wb_]);
        return list;
    }

    IndexChoices Choices(std::size_t i, std::uint16_t want, const NeighbourList& list) const
    {
        IndexChoices choices;
        auto add = [&](IndexCode code, unsigned arg, unsigned bits) {
            choices.Items[choices.Count++] = {code, arg, bits};
        };
        const bool hasPrev = i >= wb_;
        const std::uint16_t prev = hasPrev ? map_[i - wb_] : 0;
        if (hasPrev && want == prev)
            add(IndexCode::CopyPrev, 0, 1);
        const unsigned selectorBits = SelectorBits(list.Count);
        for (unsigned b = 0; b < (1u << selectorBits); ++b)
            if ((b < list.Count ? list.Values[b] : slots_[b]) == want)
                add(IndexCode::Neighbour, b, 3 + selectorBits);
        if (hasPrev)
            for (unsigned k = 0; k < kRingSlots; ++k)
                if (rings_[prev][k] == want)
                    add(IndexCode::History, k, 7);
        add(IndexCode::Literal, want, 3 + nbits_);
        const int delta = static_cast<int>(want) - static_cast<int>(prev);
        if (hasPrev && delta != 0 && std::abs(delta) <= 16)
            add(IndexCode::DeltaPrev, static_cast<unsigned>(std::abs(delta) - 1) | (delta < 0 ? 16u : 0u), 8);
        return choices;
    }

    bool UseRun()
    {
        const std::size_t i = map_.size();
        if (wb_ < 4 || i < wb_ || i + kRunLength > wanted_.size())
            return false;
        for (std::size_t j = 0; j < kRunLength; ++j)
            if (wanted_[i + j] != wanted_[i + j - wb_])
                return false;
        return policy_.TakeRun(Choices(i, Wanted(i), BuildList(i)), column_ + kRunLength >= 2 * wb_);
    }

    void Item()
    {
        const std::size_t i = map_.size();
        const std::uint16_t want = Wanted(i);
        const NeighbourList list = BuildList(i);
        const IndexChoice choice = policy_.Pick(Choices(i, want, list));
        bool updatesHistory = true;
        switch (choice.Code) {
        case IndexCode::CopyPrev:
            out_.Put(1, 1);
            updatesHistory = false;
            break;
        case IndexCode::Neighbour:
            out_.Put(0b010, 3);
            out_.Put(choice.Arg, SelectorBits(list.Count));
            std::copy(list.Values.begin(), list.Values.begin() + list.Count, slots_.begin());
            break;
        case IndexCode::History:
            out_.Put(0b110, 3);
            out_.Put(choice.Arg, 4);
            updatesHistory = false;
            break;
        case IndexCode::Literal:
            out_.Put(0b000, 3);
            out_.Put(choice.Arg, nbits_);
            break;
        default: // DeltaPrev
            out_.Put(0b100, 3);
            out_.Put(choice.Arg, 5);
            break;
        }
        if (updatesHistory && i >= wb_) {
            const std::uint16_t prev = map_[i - wb_];
            rings_[prev][cursors_[prev]] = want;
            cursors_[prev] = static_cast<std::uint8_t>((cursors_[prev] + 1) % kRingSlots);
        }
        map_.push_back(want);
    }

    const std::span<const std::uint16_t> wanted_;
    const std::size_t wb_;
    const std::size_t rows_;
    const unsigned nbits_;
    IndexCodePolicy& policy_;
    LsbBitWriter& out_;

    std::vector<std::uint16_t> map_; // as the decoder holds it, including positions past the map
    std::size_t column_ = 0;          // the decoder's tracked column
    std::size_t finished_ = 0;
    std::vector<std::array<std::uint16_t, kRingSlots>> rings_;
    std::vector<std::uint8_t> cursors_;
    std::array<std::uint16_t, 4> slots_{};
};

} // namespace

bool CheapestIndexCodes::TakeRun(const IndexChoices&, bool crossesTwoRowEnds)
{
    // One bit for 8 positions that cost at least 9 any other way; a run that leaves the
    // decoder's row count behind is legal but keeps readers decoding past the map's end.
    return !crossesTwoRowEnds;
}

IndexChoice CheapestIndexCodes::Pick(const IndexChoices& choices)
{
    const auto view = choices.View();
    return *std::min_element(view.begin(), view.end(),
                             [](const IndexChoice& a, const IndexChoice& b) { return a.Bits < b.Bits; });
}

void CodeIndexMap(std::span<const std::uint16_t> wanted, const IndexMapShape& shape, IndexCodePolicy& policy,
                  LsbBitWriter& out)
{
    MapCoder(wanted, shape, policy, out).Code();
}

} // namespace packsmith
