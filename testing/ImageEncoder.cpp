#include "testing/ImageEncoder.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <stdexcept>

#include "core/ByteOrder.h"
#include "formats/imagepack/compress/PictureLayout.h"
#include "formats/imagepack/record/BlockTable.h"
#include "formats/imagepack/record/BlockTableCoder.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/imagepack/record/ImageRecordWriter.h"

namespace packsmith {
namespace {

// Where the map rows lie in the picture (pixel row 0 = its bottom). In half-row mode the
// map rows after the first are every second pixel row, interpolated rows between them, up
// to LastInterpolated; the last map row is the top row.
struct HalfRowPlacement {
    std::uint32_t Height = 0;
    bool HalfRows = false;

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

// Codes at random among those that reproduce the map, so that tests meet every code in
// every state; a preferred kind wherever it works.
class RandomIndexCodes final : public IndexCodePolicy {
public:
    explicit RandomIndexCodes(const ImageEncoderOptions& options) : prefer_(options.Prefer), rng_(options.Seed) {}

    bool TakeRun(const IndexChoices& first, bool) override
    {
        if (prefer_ == IndexCode::RunPrev)
            return true;
        if (prefer_ != IndexCode::Any && Works(prefer_, first))
            return false;
        return std::bernoulli_distribution(0.5)(rng_);
    }

    IndexChoice Pick(const IndexChoices& choices) override
    {
        const auto all = choices.View();
        std::vector<IndexChoice> pool;
        for (const IndexChoice& c : all)
            if (c.Code == prefer_)
                pool.push_back(c);
        if (pool.empty()) {
            // A code kind at random, then one of its forms.
            std::vector<IndexCode> kinds;
            for (const IndexChoice& c : all)
                if (std::find(kinds.begin(), kinds.end(), c.Code) == kinds.end())
                    kinds.push_back(c.Code);
            const IndexCode kind = kinds[std::uniform_int_distribution<std::size_t>(0, kinds.size() - 1)(rng_)];
            for (const IndexChoice& c : all)
                if (c.Code == kind)
                    pool.push_back(c);
        }
        return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng_)];
    }

private:
    static bool Works(IndexCode code, const IndexChoices& choices)
    {
        const auto all = choices.View();
        return std::any_of(all.begin(), all.end(), [&](const IndexChoice& c) { return c.Code == code; });
    }

    const IndexCode prefer_;
    std::mt19937 rng_;
};

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
    const HalfRowPlacement placement{height, options.HalfRows};
    PictureLayout layout;
    layout.BlockWidth = options.BlockWidth == 2 ? 2 : 4;
    if (options.BlockWidth != 2 && options.BlockWidth != 4)
        throw std::invalid_argument("block width must be 2 or 4");
    if (width == 0 || height == 0 || width % layout.BlockWidth != 0 ||
        std::uint64_t{width} * height > image_record::kMaxPixels ||
        pixels.size() != std::size_t{width} * height)
        throw std::invalid_argument("picture cannot be coded");
    layout.BlocksPerRow = width / layout.BlockWidth;
    layout.Rows = options.HalfRows ? height / 2 + 1 : height;
    layout.Pixels = std::uint64_t{width} * height;

    // The index map, indices given to blocks in order of first use; the table's entries.
    std::mt19937 rng(options.Seed ^ 0x9E3779B9u);
    auto junk = [&rng] { return static_cast<std::uint8_t>(rng()); };
    std::map<PixelBlock, std::uint16_t> indexOf;
    std::vector<BlockEntry> entries(1);
    std::generate(entries[0].begin(), entries[0].end(), junk); // never drawn: index 0 writes nothing
    std::vector<std::uint16_t> map;
    map.reserve(layout.MapSize());
    for (std::uint32_t r = 0; r < layout.Rows; ++r) {
        const std::uint32_t sourceRow = height - 1 - placement.PixelRowOf(r);
        for (std::uint32_t b = 0; b < layout.BlocksPerRow; ++b) {
            PixelBlock block{};
            for (unsigned p = 0; p < layout.BlockWidth; ++p)
                block[p] = pixels[std::size_t{sourceRow} * width + b * layout.BlockWidth + p];
            if (block == PixelBlock{}) {
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
    RandomIndexCodes policy(options);
    CodeIndexMap(map, {layout.BlocksPerRow, layout.Rows, nbits}, policy, indexBits);
    LsbBitWriter tableBits;
    CodeBlockTable(entries, tableBits);

    std::array<std::uint8_t, image_record::kHeaderBytes> header{};
    const char tag[] = "PKSIMG";
    std::copy(tag, tag + 6, header.begin());
    ImageHeader fields;
    fields.PictureWidth = width;
    fields.PictureHeight = height;
    fields.HalfRows = options.HalfRows ? 1 : 0;
    fields.LastBlockIndex = static_cast<std::uint16_t>(lastIndex);
    fields.BlockWidth = static_cast<std::uint16_t>(layout.BlockWidth);
    fields.CodedWidth = static_cast<std::int32_t>(width);
    fields.CodedHeight = static_cast<std::int32_t>(height);
    EncodedImage image;
    image.Record = WriteImageRecord(header, fields, indexBits.Bytes(), entries[0], tableBits.Bytes());

    // The pixel rows, bottom first: coded rows straight from the picture (bit 0 lost to the
    // halving in half-row mode), then the rows between them where the row above has a block.
    std::vector<std::uint32_t> rows(std::size_t{width} * height, 0);
    auto row = [&](std::uint32_t pixelRow) { return rows.data() + std::size_t{pixelRow} * width; };
    const std::uint32_t keep = options.HalfRows ? 0xFFFFFFFEu : 0xFFFFFFFFu;
    for (std::uint32_t r = 0; r < layout.Rows; ++r) {
        const std::uint32_t p = placement.PixelRowOf(r);
        for (std::uint32_t x = 0; x < width; ++x)
            row(p)[x] = pixels[std::size_t{height - 1 - p} * width + x] & keep;
    }
    if (options.HalfRows) {
        for (std::uint32_t k = 1; k <= placement.LastInterpolated(); ++k) {
            for (std::uint32_t b = 0; b < layout.BlocksPerRow; ++b) {
                if (map[std::size_t{k} * layout.BlocksPerRow + b] == 0)
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
