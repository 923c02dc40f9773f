#include "encode/ImageEncoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <stdexcept>

#include "decomp/BlockTable.h"
#include "decomp/ByteOrder.h"
#include "decomp/ImageRecord.h"

namespace packsmith {
namespace {

using Block = std::array<std::uint32_t, 4>; // the pixels of one block; unused ones zero

// The map rows of a picture and the pixel rows they fill (pixel row 0 = bottom of the picture).
struct Layout {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    bool HalfRows = false;
    unsigned BlockWidth = 4;
    std::uint32_t Wb = 0;   // blocks per map row
    std::uint32_t Rows = 0; // map rows

    // Half-row mode: the last map row that is followed by an interpolated row below it.
    std::uint32_t LastInterpolated() const
    {
        return static_cast<std::uint32_t>(static_cast<int>(Height / 2) - 1 + static_cast<int>(Height % 2));
    }
    std::uint32_t PixelRowOf(std::uint32_t mapRow) const
    {
        if (!HalfRows)
            return mapRow;
        if (mapRow == 0)
            return 0;
        return mapRow <= LastInterpolated() ? 2 * mapRow : Height - 1;
    }
};

// The index map's bit stream, coded against a copy of the decoder's state so that every code
// means at its position what the encoder intends: position, tracked column, finished rows,
// history rings, neighbour slots.
class MapCoder {
public:
    MapCoder(const std::vector<std::uint16_t>& wanted, const Layout& layout, unsigned nbits,
             const ImageEncoderOptions& options, LsbBitWriter& out)
        : wanted_(wanted), wb_(layout.Wb), rows_(layout.Rows), nbits_(nbits), prefer_(options.Prefer),
          rng_(options.Seed), out_(out), rings_(image_record::kMaxBlocks), cursors_(image_record::kMaxBlocks)
    {
    }

    void Code()
    {
        while (finished_ < rows_) {
            if (UseRun()) {
                out_.Put(1, 1);
                const std::size_t i = map_.size();
                for (std::size_t j = 0; j < 8; ++j)
                    map_.push_back(map_[i + j - wb_]);
                column_ += 8;
                if (column_ >= wb_) {
                    column_ -= wb_; // once, even where the run crossed two row ends
                    ++finished_;
                }
                continue;
            }
            out_.Put(0, 1);
            for (int item = 0; item < 8 && finished_ < rows_; ++item) {
                Item();
                if (++column_ >= wb_) {
                    column_ = 0;
                    ++finished_;
                }
            }
        }
    }

private:
    struct Choice {
        IndexCode Code;
        unsigned Arg; // Neighbour: selector; History: slot; Literal: value; DeltaPrev: m | s << 4
    };
    struct NeighbourList {
        std::array<std::uint16_t, 4> Values{};
        unsigned Count = 0;
    };

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

    // Every code that yields want at position i.
    std::vector<Choice> Choices(std::size_t i, std::uint16_t want, const NeighbourList& list) const
    {
        std::vector<Choice> choices;
        const bool hasPrev = i >= wb_;
        const std::uint16_t prev = hasPrev ? map_[i - wb_] : 0;
        if (hasPrev && want == prev)
            choices.push_back({IndexCode::CopyPrev, 0});
        const unsigned selectors = list.Count == 1 ? 1 : list.Count <= 2 ? 2 : 4;
        for (unsigned b = 0; b < selectors; ++b)
            if ((b < list.Count ? list.Values[b] : slots_[b]) == want)
                choices.push_back({IndexCode::Neighbour, b});
        if (hasPrev)
            for (unsigned k = 0; k < 16; ++k)
                if (rings_[prev][k] == want)
                    choices.push_back({IndexCode::History, k});
        choices.push_back({IndexCode::Literal, want});
        const int delta = static_cast<int>(want) - static_cast<int>(prev);
        if (hasPrev && delta != 0 && std::abs(delta) <= 16)
            choices.push_back(
                {IndexCode::DeltaPrev, static_cast<unsigned>(std::abs(delta) - 1) | (delta < 0 ? 16u : 0u)});
        return choices;
    }

    bool Works(IndexCode code, const std::vector<Choice>& choices) const
    {
        return std::any_of(choices.begin(), choices.end(), [&](const Choice& c) { return c.Code == code; });
    }

    bool Coin() { return std::bernoulli_distribution(0.5)(rng_); }

    bool UseRun()
    {
        const std::size_t i = map_.size();
        // Rows of fewer than 4 blocks are left out: there a run overlaps its own first
        // positions, which two ways of copying read differently. No run in map row 0, none
        // past the map's end.
        if (wb_ < 4 || i < wb_ || i + 8 > wanted_.size())
            return false;
        for (std::size_t j = 0; j < 8; ++j)
            if (wanted_[i + j] != wanted_[i + j - wb_])
                return false;
        if (prefer_ == IndexCode::RunPrev)
            return true;
        if (prefer_ != IndexCode::Any && Works(prefer_, Choices(i, Wanted(i), BuildList(i))))
            return false;
        return Coin();
    }

    Choice Pick(const std::vector<Choice>& choices)
    {
        std::vector<Choice> pool;
        for (const Choice& c : choices)
            if (c.Code == prefer_)
                pool.push_back(c);
        if (pool.empty()) {
            // A code kind at random, then one of its forms.
            std::vector<IndexCode> kinds;
            for (const Choice& c : choices)
                if (std::find(kinds.begin(), kinds.end(), c.Code) == kinds.end())
                    kinds.push_back(c.Code);
            const IndexCode kind = kinds[std::uniform_int_distribution<std::size_t>(0, kinds.size() - 1)(rng_)];
            for (const Choice& c : choices)
                if (c.Code == kind)
                    pool.push_back(c);
        }
        return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng_)];
    }

    void Item()
    {
        const std::size_t i = map_.size();
        const std::uint16_t want = Wanted(i);
        const NeighbourList list = BuildList(i);
        const Choice choice = Pick(Choices(i, want, list));
        bool updatesHistory = true;
        switch (choice.Code) {
        case IndexCode::CopyPrev:
            out_.Put(1, 1);
            updatesHistory = false;
            break;
        case IndexCode::Neighbour:
            out_.Put(0b010, 3);
            out_.Put(choice.Arg, list.Count == 1 ? 0 : list.Count <= 2 ? 1 : 2);
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
            cursors_[prev] = static_cast<std::uint8_t>((cursors_[prev] + 1) % 16);
        }
        map_.push_back(want);
    }

    const std::vector<std::uint16_t>& wanted_;
    const std::size_t wb_;
    const std::uint32_t rows_;
    const unsigned nbits_;
    const IndexCode prefer_;
    std::mt19937 rng_;
    LsbBitWriter& out_;

    std::vector<std::uint16_t> map_; // as the decoder holds it, including positions past the map
    std::size_t column_ = 0;          // the decoder's tracked column
    std::uint32_t finished_ = 0;
    std::vector<std::array<std::uint16_t, 16>> rings_;
    std::vector<std::uint8_t> cursors_;
    std::array<std::uint16_t, 4> slots_{};
};

// One plane of an entry against the entry before: selector 0 when unchanged, else the
// narrowest magnitudes that reach each byte the shorter way round, else absolute bytes.
void PutPlane(LsbBitWriter& out, const BlockEntry& previous, const BlockEntry& entry, int plane)
{
    std::array<unsigned, 4> magnitude{};
    std::array<unsigned, 4> sign{};
    unsigned largest = 0;
    for (int j = 0; j < 4; ++j) {
        const unsigned up = static_cast<std::uint8_t>(entry[4 * j + plane] - previous[4 * j + plane]);
        magnitude[j] = up <= 128 ? up : 256 - up;
        sign[j] = up <= 128 ? 0 : 1;
        largest = std::max(largest, magnitude[j]);
    }
    unsigned selector = 0;
    while (selector < 7 && largest > (1u << selector) - 1)
        ++selector;
    out.Put(selector, 3);
    for (int j = 0; j < 4; ++j) {
        if (selector == 7) {
            out.Put(entry[4 * j + plane], 8);
        } else if (selector != 0) {
            out.Put(magnitude[j], selector);
            if (magnitude[j] != 0)
                out.Put(sign[j], 1);
        }
    }
}

// Two pixels of the row between two coded rows: the 32-bit halves added apart, the 64-bit
// sum halved.
std::array<std::uint32_t, 2> Interpolate(std::uint32_t a0, std::uint32_t a1, std::uint32_t b0, std::uint32_t b1)
{
    const std::uint64_t sum = (std::uint64_t{a1 + b1} << 32 | std::uint32_t(a0 + b0)) >> 1;
    return {static_cast<std::uint32_t>(sum), static_cast<std::uint32_t>(sum >> 32)};
}

} // namespace

EncodedImage EncodeImageRecord(std::uint32_t width, std::uint32_t height, std::span<const std::uint32_t> pixels,
                               const ImageEncoderOptions& options)
{
    Layout layout;
    layout.Width = width;
    layout.Height = height;
    layout.HalfRows = options.HalfRows;
    layout.BlockWidth = options.BlockWidth == 2 ? 2 : 4;
    if (options.BlockWidth != 2 && options.BlockWidth != 4)
        throw std::invalid_argument("block width must be 2 or 4");
    if (width == 0 || height == 0 || width % layout.BlockWidth != 0 ||
        std::uint64_t{width} * height > image_record::kMaxPixels ||
        pixels.size() != std::size_t{width} * height)
        throw std::invalid_argument("picture cannot be coded");
    layout.Wb = width / layout.BlockWidth;
    layout.Rows = options.HalfRows ? height / 2 + 1 : height;

    // The index map, indices given to blocks in order of first use; the table's entries.
    std::mt19937 rng(options.Seed ^ 0x9E3779B9u);
    auto junk = [&rng] { return static_cast<std::uint8_t>(rng()); };
    std::map<Block, std::uint16_t> indexOf;
    std::vector<BlockEntry> entries(1);
    std::generate(entries[0].begin(), entries[0].end(), junk); // never drawn: index 0 writes nothing
    std::vector<std::uint16_t> map;
    map.reserve(std::size_t{layout.Wb} * layout.Rows);
    for (std::uint32_t r = 0; r < layout.Rows; ++r) {
        const std::uint32_t sourceRow = height - 1 - layout.PixelRowOf(r);
        for (std::uint32_t b = 0; b < layout.Wb; ++b) {
            Block block{};
            for (unsigned p = 0; p < layout.BlockWidth; ++p)
                block[p] = pixels[std::size_t{sourceRow} * width + b * layout.BlockWidth + p];
            if (block == Block{}) {
                map.push_back(0);
                continue;
            }
            auto [it, added] = indexOf.try_emplace(block, static_cast<std::uint16_t>(entries.size()));
            if (added) {
                if (entries.size() == image_record::kMaxBlocks)
                    throw std::invalid_argument("more than 4095 distinct blocks");
                BlockEntry entry;
                std::generate(entry.begin(), entry.end(), junk); // bytes 8-15 stay unused with 2-pixel blocks
                for (unsigned p = 0; p < layout.BlockWidth; ++p)
                    StoreLE32(entry.data() + 4 * p, options.HalfRows ? block[p] >> 1 : block[p]);
                entries.push_back(entry);
            }
            map.push_back(it->second);
        }
    }
    const auto lastIndex = static_cast<unsigned>(entries.size() - 1);
    unsigned nbits = 0;
    while ((lastIndex >> nbits) != 0)
        ++nbits;

    LsbBitWriter indexBits;
    MapCoder(map, layout, nbits, options, indexBits).Code();
    LsbBitWriter tableBits;
    for (std::size_t e = 1; e < entries.size(); ++e)
        for (int plane = 0; plane < 4; ++plane)
            PutPlane(tableBits, entries[e - 1], entries[e], plane);

    EncodedImage image;
    auto& record = image.Record;
    record.assign(image_record::kHeaderBytes, 0);
    const char tag[] = "PKSIMG";
    std::copy(tag, tag + 6, record.begin());
    StoreLE32(record.data() + image_record::kPictureWidthAt, width);
    StoreLE32(record.data() + image_record::kPictureHeightAt, height);
    record[image_record::kHalfRowsAt] = options.HalfRows ? 1 : 0;
    StoreLE32(record.data() + image_record::kIndexStreamSizeAt, static_cast<std::uint32_t>(indexBits.Bytes().size()));
    StoreLE16(record.data() + image_record::kLastBlockIndexAt, static_cast<std::uint16_t>(lastIndex));
    StoreLE16(record.data() + image_record::kBlockWidthAt, static_cast<std::uint16_t>(layout.BlockWidth));
    StoreLE32(record.data() + image_record::kCodedWidthAt, width);
    StoreLE32(record.data() + image_record::kCodedHeightAt, height);
    record.insert(record.end(), indexBits.Bytes().begin(), indexBits.Bytes().end());
    record.insert(record.end(), entries[0].begin(), entries[0].end());
    record.insert(record.end(), tableBits.Bytes().begin(), tableBits.Bytes().end());

    // The pixel rows, bottom first: coded rows straight from the picture (bit 0 lost to the
    // halving in half-row mode), then the rows between them where the row above has a block.
    std::vector<std::uint32_t> rows(std::size_t{width} * height, 0);
    auto row = [&](std::uint32_t pixelRow) { return rows.data() + std::size_t{pixelRow} * width; };
    const std::uint32_t keep = options.HalfRows ? 0xFFFFFFFEu : 0xFFFFFFFFu;
    for (std::uint32_t r = 0; r < layout.Rows; ++r) {
        const std::uint32_t p = layout.PixelRowOf(r);
        for (std::uint32_t x = 0; x < width; ++x)
            row(p)[x] = pixels[std::size_t{height - 1 - p} * width + x] & keep;
    }
    if (options.HalfRows) {
        for (std::uint32_t k = 1; k <= layout.LastInterpolated(); ++k) {
            for (std::uint32_t b = 0; b < layout.Wb; ++b) {
                if (map[std::size_t{k} * layout.Wb + b] == 0)
                    continue;
                for (std::uint32_t x = b * layout.BlockWidth; x < (b + 1) * layout.BlockWidth; x += 2) {
                    const std::uint32_t* below = row(2 * k - 2) + x;
                    const std::uint32_t* above = row(2 * k) + x;
                    const auto [lo, hi] = Interpolate(below[0], below[1], above[0], above[1]);
                    row(2 * k - 1)[x] = lo;
                    row(2 * k - 1)[x + 1] = hi;
                }
            }
        }
    }
    image.Expected.resize(rows.size() * 4);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            StoreLE32(image.Expected.data() + (std::size_t{y} * width + x) * 4, row(height - 1 - y)[x]);
    return image;
}

} // namespace packsmith
