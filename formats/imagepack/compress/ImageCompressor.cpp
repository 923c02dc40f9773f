#include "formats/imagepack/compress/ImageCompressor.h"

#include <cmath>
#include <limits>
#include <optional>

#include "core/ByteOrder.h"
#include "formats/imagepack/compress/BlockOrder.h"
#include "formats/imagepack/compress/BlockQuantiser.h"
#include "formats/imagepack/compress/DistinctBlocks.h"
#include "formats/imagepack/compress/PictureLayout.h"
#include "formats/imagepack/record/BlockTable.h"
#include "formats/imagepack/record/BlockTableCoder.h"
#include "formats/imagepack/record/ImageRecordWriter.h"
#include "formats/imagepack/record/IndexMapCoder.h"

namespace packsmith {
namespace {

// Entries a table holds besides entry 0, which index 0 never draws.
constexpr std::size_t kMaxEntries = image_record::kMaxBlocks - 1;

BlockEntry EntryBytes(const PixelBlock& block)
{
    BlockEntry entry;
    for (std::size_t p = 0; p < 4; ++p)
        StoreLE32(entry.data() + 4 * p, block[p]);
    return entry;
}

// A picture cut into blocks by one layout, and its distinct blocks, counted as far as needed.
struct CutPicture {
    CutPicture(const PictureLayout& layout, std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
               std::size_t stride)
        : Layout(layout)
    {
        GatherBlocks(layout, width, height, pixels, stride, Blocks);
        IdOf.resize(Blocks.size());
    }

    // Counts blocks until more are distinct than an exact table holds; whether they all fit.
    bool CountUpToExact()
    {
        for (; counted_ < Blocks.size() && Exact(); ++counted_)
            Count(counted_);
        return Exact();
    }
    void CountAll()
    {
        for (; counted_ < Blocks.size(); ++counted_)
            Count(counted_);
    }
    bool Exact() const { return Distinct.Size() - (zeroSeen_ ? 1 : 0) <= kMaxEntries; }

    const PictureLayout Layout;
    std::vector<PixelBlock> Blocks;
    DistinctBlocks Distinct;
    std::vector<std::uint32_t> IdOf;

private:
    void Count(std::size_t j)
    {
        IdOf[j] = Distinct.Add(Blocks[j]);
        zeroSeen_ = zeroSeen_ || Blocks[j] == PixelBlock{};
    }

    std::size_t counted_ = 0;
    bool zeroSeen_ = false;
};

// Every distinct block as its own entry; the all-zero one as index 0.
BlockPalette ExactPalette(const DistinctBlocks& distinct)
{
    BlockPalette palette;
    palette.EntryOf.assign(distinct.Size(), kZeroBlockEntry);
    for (std::size_t id = 0; id < distinct.Size(); ++id) {
        if (distinct.Blocks()[id] == PixelBlock{})
            continue;
        palette.EntryOf[id] = static_cast<std::uint32_t>(palette.Entries.size());
        palette.Entries.push_back(distinct.Blocks()[id]);
    }
    return palette;
}

double Psnr(const PictureLayout& layout, const std::vector<PixelBlock>& blocks, const std::vector<std::uint16_t>& map,
            const std::vector<BlockEntry>& table)
{
    std::uint64_t squares = 0;
    for (std::size_t j = 0; j < blocks.size(); ++j) {
        const std::uint8_t* drawn = table[map[j]].data();
        for (std::size_t p = 0; p < layout.BlockWidth && j * layout.BlockWidth + p < layout.Pixels; ++p)
            for (unsigned byte = 0; byte < 4; ++byte) {
                const int given = (blocks[j][p] >> (8 * byte)) & 0xFF;
                const int got = map[j] == 0 ? 0 : drawn[4 * p + byte];
                squares += static_cast<std::uint64_t>((given - got) * (given - got));
            }
    }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    const double meanSquare = static_cast<double>(squares) / (static_cast<double>(layout.Pixels) * 4);
    return 10 * std::log10(255.0 * 255.0 / meanSquare);
}

// The record of a picture cut by layout into blocks, each block drawn as its palette entry.
std::vector<std::uint8_t> EncodeRecord(std::uint32_t width, std::uint32_t height, const CutPicture& cut,
                                       const BlockPalette& palette,
                                       std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                                       std::vector<std::uint16_t>& map, std::vector<BlockEntry>& table)
{
    const PictureLayout& layout = cut.Layout;
    // The table: entries in a cheap order from index 1, entry 0 a copy of entry 1 so that
    // entry 1 codes in a few bits.
    std::vector<BlockEntry> entries;
    entries.reserve(palette.Entries.size());
    for (const PixelBlock& block : palette.Entries)
        entries.push_back(EntryBytes(block));
    const std::vector<std::uint32_t> order = OrderEntries(entries);
    table.assign(1, BlockEntry{});
    std::vector<std::uint16_t> indexOf(entries.size());
    for (const std::uint32_t e : order) {
        indexOf[e] = static_cast<std::uint16_t>(table.size());
        table.push_back(entries[e]);
    }
    table[0] = table.size() > 1 ? table[1] : BlockEntry{};

    // The map; padding past the picture repeats the row below, which costs next to nothing.
    map.assign(layout.MapSize(), 0);
    for (std::size_t j = 0; j < map.size(); ++j) {
        if (j < cut.Blocks.size()) {
            const std::uint32_t entry = palette.EntryOf[cut.IdOf[j]];
            map[j] = entry == kZeroBlockEntry ? 0 : indexOf[entry];
        } else {
            map[j] = j >= layout.BlocksPerRow ? map[j - layout.BlocksPerRow] : 0;
        }
    }
    const auto lastIndex = static_cast<unsigned>(table.size() - 1);
    unsigned literalBits = 0;
    while ((lastIndex >> literalBits) != 0)
        ++literalBits;

    LsbBitWriter indexBits;
    CheapestIndexCodes cheapest;
    CodeIndexMap(map, {layout.BlocksPerRow, layout.Rows, literalBits}, cheapest, indexBits);
    LsbBitWriter tableBits;
    CodeBlockTable(table, tableBits);

    ImageHeader fields;
    fields.PictureWidth = width;
    fields.PictureHeight = height;
    fields.HalfRows = 0;
    fields.LastBlockIndex = static_cast<std::uint16_t>(lastIndex);
    fields.BlockWidth = layout.BlockWidth;
    fields.CodedWidth = static_cast<std::int32_t>(layout.CodedWidth());
    fields.CodedHeight = static_cast<std::int32_t>(layout.Rows);
    return WriteImageRecord(header, fields, indexBits.Bytes(), table[0], tableBits.Bytes());
}

} // namespace

std::optional<CompressedPicture> CompressPicture(std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
                                                 std::size_t stride,
                                                 std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                                                 PictureLoss loss, const StopToken& stop)
{
    // Every layout that holds the picture exactly is coded, and the smallest record kept;
    // where none does, the last layout's blocks are quantised.
    const std::vector<PictureLayout> layouts = PictureLayouts(width, height);
    std::optional<CompressedPicture> smallest;
    std::optional<CutPicture> cut;
    std::vector<std::uint16_t> map;
    std::vector<BlockEntry> table;
    for (const PictureLayout& layout : layouts) {
        stop.ThrowIfStopped();
        cut.emplace(layout, width, height, pixels, stride);
        if (!cut->CountUpToExact())
            continue;
        std::vector<std::uint8_t> record =
            EncodeRecord(width, height, *cut, ExactPalette(cut->Distinct), header, map, table);
        if (!smallest || record.size() < smallest->Record.size())
            smallest = CompressedPicture{std::move(record), true, std::numeric_limits<double>::infinity()};
    }
    if (smallest || loss == PictureLoss::Exact)
        return smallest;

    cut->CountAll();
    const BlockPalette palette = QuantiseBlocks(cut->Distinct.Blocks(), cut->Distinct.Counts(),
                                                cut->Layout.BlockWidth, kMaxEntries, stop);
    stop.ThrowIfStopped();
    CompressedPicture picture;
    picture.Record = EncodeRecord(width, height, *cut, palette, header, map, table);
    picture.Exact = false;
    picture.Psnr = Psnr(cut->Layout, cut->Blocks, map, table);
    return picture;
}

} // namespace packsmith
