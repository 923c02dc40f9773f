#include "formats/imagepack/record/ImageIndexMap.h"

#include <cstring>
#include <string>

#include "formats/imagepack/record/ImageBitReader.h"

namespace packsmith {

using namespace image_record;

namespace {

constexpr unsigned kMaxIndex = kMaxBlocks - 1;
constexpr std::size_t kRunLength = 8;
constexpr std::size_t kGroupItems = 8;
constexpr std::size_t kRingSlots = 16;
// Set in a ring's cursor once the ring is written; such rings are cleared before the next
// record.
constexpr std::uint16_t kWritten = 16;

// A code's first three bits as a number (the first bit lowest): 1 CopyPrev (whatever the
// other two), 010 Neighbour, 011 History, 000 Literal, 001 DeltaPrev.
constexpr unsigned kNeighbour = 0b010;
constexpr unsigned kHistory = 0b110;
constexpr unsigned kLiteral = 0b000;
constexpr unsigned kDeltaPrev = 0b100;
// The length of each code by those bits, 4 bits each; a literal's adds the literal bits.
constexpr std::uint32_t kLengths = 0x17181313u;

// Bits of the neighbour selector for a list of n values, and the slots that keep what
// earlier positions left there.
constexpr unsigned kSelectorBits[5] = {1, 0, 1, 2, 2};
constexpr std::uint64_t kKeptSlots[5] = {~0ull, ~0ull << 16, ~0ull << 32, ~0ull << 48, 0};

[[noreturn]] void Reject(const std::string& why) { throw ImageRecordError(why); }

} // namespace

struct ImageIndexMap::Memory {
    std::array<std::uint16_t, kSlots> Map{};
    // What followed each index one map row later: 16 slots and a cursor a ring.
    std::array<std::array<std::uint16_t, kRingSlots>, kMaxBlocks> Rings{};
    std::array<std::uint16_t, kMaxBlocks> Cursors{};
    // The rings written since they were last cleared, each once.
    std::array<std::uint16_t, kMaxBlocks> WrittenRings{};
    std::size_t WrittenCount = 0;
};

namespace {

// One record's index map. Groups that lie wholly inside the map, from map row 2 on, in rows
// of 8 or more blocks, take the fast path: there every neighbour exists but for the column
// tests, a run's source lies wholly before it, decoding cannot stop inside the group, and
// every index the group reads is at most 4095. Every other group (the first two rows,
// narrow rows, the end and what a stream writes past it) is checked code by code.
class MapDecode {
    // Where decoding stands; the fast path keeps a copy of it in registers.
    struct Position {
        ImageBitReader Reader;
        std::size_t I = 0;             // position in the map
        std::size_t C = 0;             // the tracked column
        std::size_t Finished = 0;      // map rows counted as finished
        std::uint64_t Neighbours = 0;  // the neighbour list's 4 slots, slot 0 lowest
    };

public:
    MapDecode(ImageIndexMap::Memory& m, std::span<const std::uint8_t> record, const IndexMapShape& shape)
        : m_(m), at_{ImageBitReader(record, kHeaderBytes)}, map_(m.Map.data()), wb_(shape.BlocksPerRow), rows_(shape.Rows),
          total_(shape.BlocksPerRow * shape.Rows), literalMask_((1u << shape.LiteralBits) - 1),
          lengths_(kLengths + (shape.LiteralBits << (4 * kLiteral)))
    {
    }
    MapDecode(const MapDecode&) = delete;
    MapDecode& operator=(const MapDecode&) = delete;

    void Run()
    {
        for (;;) {
            if (Fast(at_)) {
                Position at = at_;
                do {
                    if (Group<true>(at)) {
                        at_ = at;
                        return;
                    }
                } while (Fast(at));
                at_ = at;
            }
            if (Group<false>(at_))
                return;
        }
    }

private:
    bool Fast(const Position& at) const
    {
        return wb_ >= kRunLength && at.I >= 2 * wb_ && at.I + kGroupItems <= total_;
    }

    // One group bit and what it stands for; true when the map is complete.
    template <bool kFast>
    [[gnu::always_inline]] bool Group(Position& at)
    {
        if constexpr (!kFast) {
            // A stream can keep a run-crossed map going past its rows; never past the memory.
            if (at.I + kRunLength > ImageIndexMap::kSlots)
                Reject("its index map runs past " + std::to_string(kMaxMapIndices) + " indices");
        }
        at.Reader.Refill();
        const bool run = at.Reader.Bits() & 1;
        at.Reader.Consume(1);
        if (run) { // RunPrev: 8 positions copied from the row below
            if constexpr (kFast) {
                std::memcpy(map_ + at.I, map_ + at.I - wb_, kRunLength * sizeof *map_);
            } else {
                NeedRowBelow(at.I, "run");
                for (std::size_t k = 0; k < kRunLength; ++k) // one by one: the source may overlap
                    map_[at.I + k] = map_[at.I + k - wb_];
            }
            at.I += kRunLength;
            at.C += kRunLength;
            if (at.C >= wb_) { // once, even where the run crossed two row ends
                at.C -= wb_;
                ++at.Finished;
            }
            return at.Finished >= rows_;
        }
        for (std::size_t item = 0; item < kGroupItems; ++item) {
            at.Reader.Refill();
            map_[at.I] = Item<kFast>(at);
            ++at.I;
            if (++at.C >= wb_) {
                at.C = 0;
                ++at.Finished;
                if constexpr (!kFast) {
                    if (at.Finished >= rows_)
                        return true;
                }
            }
        }
        return at.Finished >= rows_;
    }

    // One code at position at.I; the reader holds at least 56 bits.
    template <bool kFast>
    [[gnu::always_inline]] std::uint16_t Item(Position& at)
    {
        const std::uint64_t word = at.Reader.Bits();
        const bool rowBelow = kFast || at.I >= wb_;
        const unsigned below = rowBelow ? map_[at.I - wb_] : 0; // P
        if (word & 1) { // CopyPrev
            if constexpr (!kFast)
                NeedRowBelow(at.I, "copy");
            at.Reader.Consume(1);
            return static_cast<std::uint16_t>(below);
        }
        const unsigned code = static_cast<unsigned>(word) & 7;
        if (code == kHistory) {
            if constexpr (!kFast) {
                NeedRowBelow(at.I, "history");
                CheckIndex(below, "names a history");
            }
            at.Reader.Consume(7);
            return m_.Rings[below][(word >> 3) & 15];
        }
        unsigned length;
        unsigned index;
        if (code == kNeighbour) {
            index = Neighbour<kFast>(at, word >> 3, below, rowBelow, length);
        } else {
            if (!kFast && code == kDeltaPrev)
                NeedRowBelow(at.I, "delta");
            index = Payload(at, word, below, length);
        }
        at.Reader.Consume(length);
        // These codes teach the history of the index below what followed it.
        if (rowBelow) {
            if constexpr (!kFast)
                CheckIndex(below, "names a history");
            Learn(below, index);
        }
        return static_cast<std::uint16_t>(index);
    }

    // The value and length of a Literal or DeltaPrev code (by bit 2 of code), and the length
    // of any other code but Neighbour.
    [[gnu::always_inline]] unsigned Payload(const Position& at, std::uint64_t word, unsigned below,
                                            unsigned& length) const
    {
        const unsigned code = static_cast<unsigned>(word) & 7;
        const auto payload = static_cast<unsigned>(word >> 3);
        length = (lengths_ >> (4 * code)) & 15;
        const unsigned step = (payload & 15) + 1;
        const unsigned delta = ((payload >> 4) & 1 ? below - step : below + step) & 0xFFFFu;
        const unsigned literal = payload & literalMask_;
        const unsigned index = code == kDeltaPrev ? delta : literal;
        // Where the map is drawn an index above the table is malformed at once; past the
        // map only where something reads it.
        if (index > kMaxIndex && at.I < total_)
            CheckIndex(index, "is drawn");
        return index;
    }

    // The Neighbour code: a slot of the list built from L, PL, PR and PP where they exist,
    // leaving out P and values already listed; the selector follows in selectorBits.
    template <bool kFast>
    [[gnu::always_inline]] unsigned Neighbour(Position& at, std::uint64_t selectorBits, unsigned below, bool rowBelow,
                                              unsigned& length)
    {
        const std::size_t i = at.I;
        const bool hasL = at.C >= 1;
        const bool hasPL = rowBelow && hasL && (kFast || i > wb_);
        const bool hasPR = rowBelow && at.C + 2 <= wb_;
        const bool hasPP = kFast || i >= 2 * wb_;
        unsigned l, pl, pr, pp;
        if constexpr (kFast) {
            l = map_[i - 1];
            pl = map_[i - wb_ - 1];
            pr = map_[i - wb_ + 1];
            pp = map_[i - 2 * wb_];
        } else {
            if (rowBelow)
                CheckIndex(below, "is compared with neighbours");
            l = hasL ? CheckIndex(map_[i - 1], "is compared with neighbours") : 0;
            pl = hasPL ? CheckIndex(map_[i - wb_ - 1], "is compared with neighbours") : 0;
            pr = hasPR ? CheckIndex(map_[i - wb_ + 1], "is compared with neighbours") : 0;
            pp = hasPP ? CheckIndex(map_[i - 2 * wb_], "is compared with neighbours") : 0;
        }
        // A candidate is listed when it exists and differs from P and from every existing
        // candidate before it (an earlier equal one was listed or left out for the same
        // reason). PL and PR exist only with a row below.
        const bool takeL = hasL && !(rowBelow && l == below);
        const bool takePL = hasPL && pl != below && !(hasL && pl == l);
        const bool takePR = hasPR && pr != below && !(hasL && pr == l) && !(hasPL && pr == pl);
        const bool takePP = hasPP && !(rowBelow && pp == below) && !(hasL && pp == l) && !(hasPL && pp == pl) &&
                            !(hasPR && pp == pr);
        std::uint64_t listed = 0;
        unsigned n = 0;
        const auto append = [&](bool take, unsigned value) {
            listed |= std::uint64_t{take ? value : 0u} << (16 * n);
            n += take ? 1 : 0;
        };
        append(takeL, l);
        append(takePL, pl);
        append(takePR, pr);
        append(takePP, pp);
        // Slots past the list keep what earlier positions left there.
        at.Neighbours = (at.Neighbours & kKeptSlots[n]) | listed;
        const unsigned width = kSelectorBits[n];
        const auto slot = static_cast<unsigned>(selectorBits & ((1u << width) - 1));
        length = 3 + width;
        return static_cast<unsigned>(at.Neighbours >> (16 * slot)) & 0xFFFFu;
    }

    // Writes index into the ring's slot at its cursor and moves the cursor on.
    [[gnu::always_inline]] void Learn(unsigned ring, unsigned index)
    {
        const unsigned cursor = m_.Cursors[ring];
        if (cursor == 0) // first written since cleared
            m_.WrittenRings[m_.WrittenCount++] = static_cast<std::uint16_t>(ring);
        m_.Rings[ring][cursor & 15] = static_cast<std::uint16_t>(index);
        m_.Cursors[ring] = static_cast<std::uint16_t>(((cursor + 1) & 15) | kWritten);
    }

    static unsigned CheckIndex(unsigned index, const char* use)
    {
        if (index > kMaxIndex)
            Reject("its index map holds index " + std::to_string(index) + ", above " + std::to_string(kMaxIndex) +
                   ", where it " + use);
        return index;
    }

    void NeedRowBelow(std::size_t i, const char* code) const
    {
        if (i < wb_)
            Reject(std::string("a ") + code + " code in the bottom row of its index map has no row below to refer to");
    }

    ImageIndexMap::Memory& m_;
    Position at_;
    std::uint16_t* map_;
    const std::size_t wb_;
    const std::size_t rows_;
    const std::size_t total_;
    const unsigned literalMask_;
    const std::uint32_t lengths_; // kLengths with the literal's length
};

} // namespace

ImageIndexMap::ImageIndexMap() : memory_(std::make_unique<Memory>()) {}

ImageIndexMap::~ImageIndexMap() = default;

void ImageIndexMap::Decode(std::span<const std::uint8_t> record, const IndexMapShape& shape)
{
    Memory& m = *memory_;
    for (std::size_t k = 0; k < m.WrittenCount; ++k) {
        m.Rings[m.WrittenRings[k]].fill(0);
        m.Cursors[m.WrittenRings[k]] = 0;
    }
    m.WrittenCount = 0;
    MapDecode(m, record, shape).Run();
}

const std::uint16_t* ImageIndexMap::Indices() const { return memory_->Map.data(); }

} // namespace packsmith
