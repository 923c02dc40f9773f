#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "core/ByteOrder.h"
#include "formats/imagepack/record/BlockTable.h"
#include "formats/imagepack/record/ImageBitReader.h"
#include "formats/imagepack/record/ImageDecoder.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "testing/Bytes.h"
#include "testing/EdgeOfMemory.h"
#include "testing/ImageEncoder.h"

namespace packsmith::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------
// Bit reader

// Bit j of the stream at offset, taken one bit at a time; zero past the end.
std::uint32_t ModelBits(std::span<const std::uint8_t> data, std::size_t offset, std::uint64_t at, unsigned n)
{
    std::uint32_t value = 0;
    for (unsigned k = 0; k < n; ++k) {
        const std::uint64_t bit = at + k;
        const std::uint64_t byte = offset + bit / 8;
        if (byte < data.size() && ((data[byte] >> (bit % 8)) & 1))
            value |= 1u << k;
    }
    return value;
}

TEST(ImageBitReader, RandomWidthSequencesMatchABitByBitModel)
{
    std::mt19937 rng(7);
    for (const std::size_t size : {0, 1, 5, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 33, 64, 65, 100, 301}) {
        const Bytes content = RandomBytes(rng, size);
        const EdgeOfMemory data(content);
        for (std::size_t offset = 0; offset <= size + 2; ++offset) {
            if (size > 40 && offset > 20 && offset + 20 < size)
                continue;
            for (int trial = 0; trial < 4; ++trial) {
                ImageBitReader reader(data.Span(), offset);
                std::uint64_t at = 0;
                const std::uint64_t end = (size > offset ? size - offset : 0) * 8 + 100;
                while (at < end) {
                    const unsigned n = rng() % 17;
                    ASSERT_EQ(reader.Take(n), ModelBits(data.Span(), offset, at, n))
                        << "size " << size << " offset " << offset << " bit " << at << " width " << n;
                    at += n;
                }
            }
        }
    }
}

TEST(ImageBitReader, WideValuesAcrossEveryTopUpPointComeOutWholeAndInOrder)
{
    std::mt19937 rng(11);
    const Bytes content = RandomBytes(rng, 96);
    const EdgeOfMemory data(content);
    // A lead of every length shifts the following 9- to 16-bit values across every position
    // relative to the 64-bit words the reader fetches.
    for (unsigned lead = 0; lead < 130; ++lead) {
        for (unsigned width = 9; width <= 16; ++width) {
            ImageBitReader reader(data.Span(), 3);
            std::uint64_t at = 0;
            for (unsigned rest = lead; rest > 0;) {
                const unsigned n = std::min(rest, 7u);
                ASSERT_EQ(reader.Take(n), ModelBits(data.Span(), 3, at, n));
                at += n;
                rest -= n;
            }
            for (int k = 0; k < 40; ++k, at += width)
                ASSERT_EQ(reader.Take(width), ModelBits(data.Span(), 3, at, width))
                    << "lead " << lead << " width " << width << " value " << k;
        }
    }
}

TEST(ImageBitReader, BitsPastTheEndReadAsZeroWithoutTouchingMemoryBeyond)
{
    const Bytes ones(5, 0xFF);
    const EdgeOfMemory data(ones);
    ImageBitReader reader(data.Span(), 0);
    EXPECT_EQ(reader.Take(0), 0u);
    EXPECT_EQ(reader.Take(16), 0xFFFFu);
    EXPECT_EQ(reader.Take(0), 0u);
    EXPECT_EQ(reader.Take(13), 0x1FFFu);
    EXPECT_EQ(reader.Take(16), 0x7FFu); // 11 bits left, then zeros
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(reader.Take(16), 0u);

    for (const std::uint64_t offset : {std::uint64_t{5}, std::uint64_t{6}, std::uint64_t{1} << 40}) {
        ImageBitReader beyond(data.Span(), offset);
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(beyond.Take(16), 0u) << "offset " << offset;
    }
}

// ---------------------------------------------------------------------------------------
// Block table

BlockEntry EntryOf(std::initializer_list<int> bytes)
{
    BlockEntry entry{};
    std::size_t k = 0;
    for (const int b : bytes)
        entry[k++] = static_cast<std::uint8_t>(b);
    return entry;
}

// Byte k (0 blue .. 3 alpha) of the four pixels of entry.
std::array<int, 4> Plane(const BlockEntry& entry, int k)
{
    return {entry[k], entry[4 + k], entry[8 + k], entry[12 + k]};
}

constexpr std::uint8_t kUntouched = 0xEE;

// Some leading bytes, entry 0, then the coded bits; decodes with N = last.
std::vector<BlockEntry> DecodeTable(const BlockEntry& entry0, const LsbBitWriter& bits, unsigned last,
                                    bool halfRows = false)
{
    Bytes record = {1, 2, 3};
    record.insert(record.end(), entry0.begin(), entry0.end());
    record.insert(record.end(), bits.Bytes().begin(), bits.Bytes().end());
    const EdgeOfMemory data(record);
    BlockEntry fill;
    fill.fill(kUntouched);
    std::vector<BlockEntry> table(image_record::kMaxBlocks, fill);
    DecodeBlockTable(data.Span(), 3, last, halfRows, table);
    return table;
}

const BlockEntry kEntry0 = EntryOf({10, 20, 30, 40, 11, 21, 31, 41, 12, 22, 32, 42, 13, 23, 33, 43});

TEST(ImageBlockTable, SelectorZeroRepeatsThePlaneInThreeBits)
{
    LsbBitWriter bits;
    for (int k = 0; k < 4; ++k)
        bits.Put(0, 3); // entry 1: every plane as in entry 0
    bits.Put(7, 3);     // entry 2, blue absolute: shows where entry 1 ended
    for (const unsigned v : {9, 8, 7, 6})
        bits.Put(v, 8);
    for (int k = 1; k < 4; ++k)
        bits.Put(0, 3);
    const auto table = DecodeTable(kEntry0, bits, 2);
    EXPECT_EQ(table[0], kEntry0);
    EXPECT_EQ(table[1], kEntry0);
    EXPECT_EQ(Plane(table[2], 0), (std::array<int, 4>{9, 8, 7, 6}));
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(Plane(table[2], k), Plane(kEntry0, k));
    EXPECT_EQ(table[3][0], kUntouched) << "entries above N are left alone";
}

TEST(ImageBlockTable, ZeroMagnitudesCarryNoSignBit)
{
    LsbBitWriter bits;
    bits.Put(6, 3); // entry 1, blue: four zero magnitudes of 6 bits, 3 + 4 x 6 bits in all
    for (int j = 0; j < 4; ++j)
        bits.Put(0, 6);
    bits.Put(3, 3); // green: 0, -5, 0, +7
    bits.Put(0, 3);
    bits.Put(5, 3);
    bits.Put(1, 1);
    bits.Put(0, 3);
    bits.Put(7, 3);
    bits.Put(0, 1);
    bits.Put(0, 3);
    bits.Put(0, 3);
    bits.Put(7, 3); // entry 2, blue absolute
    for (const unsigned v : {0xA1, 0xB2, 0xC3, 0xD4})
        bits.Put(v, 8);
    for (int k = 1; k < 4; ++k)
        bits.Put(0, 3);
    const auto table = DecodeTable(kEntry0, bits, 2);
    EXPECT_EQ(Plane(table[1], 0), Plane(kEntry0, 0));
    EXPECT_EQ(Plane(table[1], 1), (std::array<int, 4>{20, 21 - 5, 22, 23 + 7}));
    EXPECT_EQ(Plane(table[2], 0), (std::array<int, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(Plane(table[2], 1), Plane(table[1], 1));
}

TEST(ImageBlockTable, DeltasWrapAroundAByteAndEachEntryFollowsTheOneBefore)
{
    const BlockEntry entry0 = EntryOf({250, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0});
    LsbBitWriter bits;
    bits.Put(4, 3); // entry 1 blue: +10, -10, -1, +1
    for (const auto& [m, s] : {std::pair{10u, 0u}, {10u, 1u}, {1u, 1u}, {1u, 0u}}) {
        bits.Put(m, 4);
        bits.Put(s, 1);
    }
    for (int k = 1; k < 4; ++k)
        bits.Put(0, 3);
    bits.Put(1, 3); // entry 2 blue: +1 each, against entry 1
    for (int j = 0; j < 4; ++j) {
        bits.Put(1, 1);
        bits.Put(0, 1);
    }
    for (int k = 1; k < 4; ++k)
        bits.Put(0, 3);
    const auto table = DecodeTable(entry0, bits, 2);
    EXPECT_EQ(Plane(table[1], 0), (std::array<int, 4>{4, 251, 255, 0}));
    EXPECT_EQ(Plane(table[2], 0), (std::array<int, 4>{5, 252, 0, 1}));
}

TEST(ImageBlockTable, SelectorSevenStoresAbsoluteBytesPlaneByPlane)
{
    LsbBitWriter bits;
    for (int k = 0; k < 4; ++k) {
        bits.Put(7, 3);
        for (int j = 0; j < 4; ++j)
            bits.Put(static_cast<std::uint32_t>(16 * k + j + (k == 3 ? 0xC0 : 0)), 8);
    }
    const auto table = DecodeTable(kEntry0, bits, 1);
    EXPECT_EQ(table[1], EntryOf({0, 16, 32, 0xF0, 1, 17, 33, 0xF1, 2, 18, 34, 0xF2, 3, 19, 35, 0xF3}));
}

TEST(ImageBlockTable, LastIndexZeroTakesEntryZeroAloneAndReadsNoBits)
{
    // The record ends right after entry 0: any read of table bits would fault.
    Bytes record = {9};
    record.insert(record.end(), kEntry0.begin(), kEntry0.end());
    const EdgeOfMemory data(record);
    for (const bool half : {false, true}) {
        BlockEntry fill;
        fill.fill(kUntouched);
        std::vector<BlockEntry> table(image_record::kMaxBlocks, fill);
        DecodeBlockTable(data.Span(), 1, 0, half, table);
        EXPECT_EQ(table[0][0], half ? 20 : 10);
        EXPECT_EQ(table[0][15], half ? 86 : 43);
        EXPECT_EQ(table[1], fill);
    }
}

TEST(ImageBlockTable, HalfRowModeDoublesEveryPixelOfEveryEntryAsA32BitNumber)
{
    // Pixel 0: 100 -> 200. Pixel 1: blue 200 -> 144 with 1 carried into green, red 0x80 -> 0
    // with 1 carried into alpha, alpha 0xC0 loses bit 7. Pixel 2: bit 31 dropped.
    const BlockEntry entry0 = EntryOf({100, 100, 100, 100, 200, 0x40, 0x80, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0});
    const BlockEntry doubled =
        EntryOf({200, 200, 200, 200, 144, 0x81, 0x00, 0x81, 0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0});
    LsbBitWriter bits;
    for (int k = 0; k < 4; ++k)
        bits.Put(0, 3); // entry 1 = entry 0, then doubled as well
    const auto table = DecodeTable(entry0, bits, 1, true);
    EXPECT_EQ(table[0], doubled);
    EXPECT_EQ(table[1], doubled);
    EXPECT_EQ(table[2][0], kUntouched);
}

// ---------------------------------------------------------------------------------------
// Records built by hand

ImageHeader Plain(std::uint32_t width, std::uint32_t height, std::uint16_t last, std::uint16_t blockWidth = 4)
{
    ImageHeader h;
    h.PictureWidth = width;
    h.PictureHeight = height;
    h.LastBlockIndex = last;
    h.BlockWidth = blockWidth;
    h.CodedWidth = static_cast<std::int32_t>(width);
    h.CodedHeight = static_cast<std::int32_t>(height);
    return h;
}

// An entry whose pixels are all different and name e.
BlockEntry Distinct(unsigned e)
{
    BlockEntry entry{};
    for (unsigned j = 0; j < 4; ++j) {
        entry[4 * j] = static_cast<std::uint8_t>(e);
        entry[4 * j + 1] = static_cast<std::uint8_t>((e >> 8) | (j << 4));
        entry[4 * j + 2] = static_cast<std::uint8_t>(0xA0 + j);
        entry[4 * j + 3] = 0x55;
    }
    return entry;
}

std::vector<BlockEntry> DistinctEntries(unsigned last)
{
    std::vector<BlockEntry> entries;
    entries.push_back(EntryOf({0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})); // never drawn
    for (unsigned e = 1; e <= last; ++e)
        entries.push_back(Distinct(e));
    return entries;
}

// Entry 0 raw, then every plane absolute, or repeated where it equals the one before.
Bytes TableData(const std::vector<BlockEntry>& entries)
{
    Bytes data(entries[0].begin(), entries[0].end());
    LsbBitWriter bits;
    for (std::size_t e = 1; e < entries.size(); ++e) {
        for (int k = 0; k < 4; ++k) {
            if (Plane(entries[e], k) == Plane(entries[e - 1], k)) {
                bits.Put(0, 3);
                continue;
            }
            bits.Put(7, 3);
            for (int j = 0; j < 4; ++j)
                bits.Put(entries[e][4 * j + k], 8);
        }
    }
    data.insert(data.end(), bits.Bytes().begin(), bits.Bytes().end());
    return data;
}

// A record with the header fields of h, written where the decoder reads them; the index
// stream's size written is indexStreamSize where given, else the stream's length
// (h.IndexStreamSize is not used).
Bytes MakeRecord(const ImageHeader& h, const Bytes& indexStream, const std::vector<BlockEntry>& entries,
                 std::optional<std::uint32_t> indexStreamSize = std::nullopt)
{
    Bytes record(image_record::kHeaderBytes, 0);
    std::memcpy(record.data(), "TESTIMG", 7);
    StoreLE32(record.data() + image_record::kPictureWidthAt, h.PictureWidth);
    StoreLE32(record.data() + image_record::kPictureHeightAt, h.PictureHeight);
    record[image_record::kHalfRowsAt] = h.HalfRows;
    StoreLE32(record.data() + image_record::kIndexStreamSizeAt,
              indexStreamSize.value_or(static_cast<std::uint32_t>(indexStream.size())));
    StoreLE16(record.data() + image_record::kLastBlockIndexAt, h.LastBlockIndex);
    StoreLE16(record.data() + image_record::kBlockWidthAt, h.BlockWidth);
    StoreLE32(record.data() + image_record::kCodedWidthAt, static_cast<std::uint32_t>(h.CodedWidth));
    StoreLE32(record.data() + image_record::kCodedHeightAt, static_cast<std::uint32_t>(h.CodedHeight));
    record.insert(record.end(), indexStream.begin(), indexStream.end());
    const Bytes table = TableData(entries);
    record.insert(record.end(), table.begin(), table.end());
    return record;
}

// Writes an index stream code by code; a group bit 0 goes before every eighth item.
class MapBits {
public:
    explicit MapBits(unsigned literalBits) : literalBits_(literalBits) {}
    MapBits& Run()
    {
        EXPECT_EQ(items_ % 8, 0u) << "a run starts a group";
        bits_.Put(1, 1);
        return *this;
    }
    MapBits& Copy() { return Item(0b1, 1); }
    MapBits& Neighbour(unsigned selector, unsigned bits) { return Item(0b010 | selector << 3, 3 + bits); }
    MapBits& History(unsigned k) { return Item(0b110 | k << 3, 7); }
    MapBits& Literal(unsigned v) { return Item(0b000 | v << 3, 3 + literalBits_); }
    MapBits& Delta(unsigned m, bool minus) { return Item(0b100 | m << 3 | (minus ? 1u : 0u) << 7, 8); }
    // Bits the decoder must not read: it has stopped before them.
    MapBits& Ignored(std::uint32_t value, unsigned bits)
    {
        bits_.Put(value, bits);
        return *this;
    }
    const Bytes& Done() const { return bits_.Bytes(); }

private:
    MapBits& Item(std::uint32_t code, unsigned bits)
    {
        if (items_++ % 8 == 0)
            bits_.Put(0, 1);
        bits_.Put(code, bits);
        return *this;
    }
    unsigned literalBits_;
    unsigned items_ = 0;
    LsbBitWriter bits_;
};

constexpr std::uint8_t kFill = 0xCD;

Bytes Decode(ImageDecoder& decoder, std::span<const std::uint8_t> record, std::uint32_t width, std::uint32_t height)
{
    Bytes bitmap(std::size_t{width} * height * 4, kFill);
    decoder.DecodeImageRecord(record, BitmapView{width, height, std::size_t{width} * 4, bitmap.data()});
    return bitmap;
}

Bytes Decode(std::span<const std::uint8_t> record, std::uint32_t width, std::uint32_t height)
{
    ImageDecoder decoder;
    return Decode(decoder, record, width, height);
}

using IndexRows = std::vector<std::vector<int>>;

// The index behind each block of a decoded bitmap, map rows first to last (bottom scan line
// first): 0 for a block of zero bytes, e for the entry whose pixels it shows, -1 for neither.
IndexRows BlocksOf(const Bytes& bitmap, std::uint32_t width, std::uint32_t height, unsigned blockWidth,
                   const std::vector<BlockEntry>& entries)
{
    IndexRows rows;
    const std::size_t blockBytes = 4 * blockWidth;
    for (std::uint32_t r = 0; r < height; ++r) {
        const std::uint8_t* line = bitmap.data() + std::size_t{height - 1 - r} * width * 4;
        std::vector<int> row;
        for (std::uint32_t b = 0; b < width / blockWidth; ++b) {
            const std::uint8_t* block = line + b * blockBytes;
            int found = -1;
            if (std::all_of(block, block + blockBytes, [](std::uint8_t v) { return v == 0; }))
                found = 0;
            for (std::size_t e = 1; e < entries.size() && found < 0; ++e)
                if (std::equal(block, block + blockBytes, entries[e].begin()))
                    found = static_cast<int>(e);
            row.push_back(found);
        }
        rows.push_back(row);
    }
    return rows;
}

IndexRows DecodeIndices(const ImageHeader& h, const MapBits& bits, const std::vector<BlockEntry>& entries)
{
    const Bytes record = MakeRecord(h, bits.Done(), entries);
    return BlocksOf(Decode(record, h.PictureWidth, h.PictureHeight), h.PictureWidth, h.PictureHeight,
                    h.BlockWidth == 4 ? 4 : 2, entries);
}

// ---------------------------------------------------------------------------------------
// Index map codes

TEST(ImageIndexMap, AllZeroStreamGivesAnAllZeroBitmap)
{
    // Group bit 0, then literals of value 0 throughout.
    for (const std::uint8_t half : {0, 1}) {
        ImageHeader h = Plain(16, 5, 5);
        h.HalfRows = half;
        const Bytes record = MakeRecord(h, Bytes(64, 0), DistinctEntries(5));
        EXPECT_EQ(Decode(record, 16, 5), Bytes(16 * 5 * 4, 0)) << "half rows " << int{half};
    }
}

TEST(ImageIndexMap, EmptyNeighbourListStillReadsOneBitAndYieldsStaleSlots)
{
    // One block per row: in map row 1 no neighbour exists, from row 2 on only PP.
    MapBits bits(4);
    bits.Literal(5)        // row 0
        .Neighbour(1, 1)   // row 1: empty list, slot 1 never written -> 0
        .Neighbour(0, 0)   // row 2: [PP 5] -> 5, slot 0 = 5
        .Literal(9)        // row 3
        .Literal(9)        // row 4
        .Neighbour(0, 1)   // row 5: PP 9 equals P, empty list; slot 0 still holds 5
        .Ignored(0xFF, 8);
    EXPECT_EQ(DecodeIndices(Plain(4, 6, 15), bits, DistinctEntries(15)),
              (IndexRows{{5}, {0}, {5}, {9}, {9}, {5}}));
}

TEST(ImageIndexMap, NeighbourListFollowsExistenceDuplicatesAndStaleSlots)
{
    MapBits bits(4);
    bits.Literal(1).Literal(2).Literal(3).Literal(4)  // row 0
        .Literal(5).Literal(6).Literal(7).Literal(4)  // row 1
        .Literal(9)                                   // row 2, c 0
        .Neighbour(2, 2)  // c 1: [L 9, PL 5, PR 7, PP 2] -> 7
        .Neighbour(3, 2)  // c 2: L = P left out: [PL 6, PR 4, PP 3], slot 3 left by c 1 -> 2
        .Neighbour(1, 1)  // c 3: no PR, PP = P left out: [L 2, PL 7] -> 7
        .Ignored(0xFF, 8);
    EXPECT_EQ(DecodeIndices(Plain(16, 3, 15), bits, DistinctEntries(15)),
              (IndexRows{{1, 2, 3, 4}, {5, 6, 7, 4}, {9, 7, 2, 7}}));
}

TEST(ImageIndexMap, DeltaPrevReachesOneToSixteenEitherWayAndUpdatesHistory)
{
    MapBits bits(6);
    bits.Literal(20)
        .Delta(0, false)  // 21, ring 20: [21]
        .Delta(0, true)   // 20, ring 21: [20]
        .Delta(15, false) // 36, ring 20: [21, 36]
        .Delta(15, true)  // 20, ring 36: [20]
        .History(1)       // 36
        .Neighbour(0, 0)  // [PP 20] -> 20, ring 36: [20, 20]
        .History(0)       // 21
        .History(0)       // 20
        .Delta(15, true)  // 4
        .Literal(36)
        .History(1)       // ring 36 slot 1, written by the neighbour code: 20
        .Ignored(0xFF, 8);
    std::vector<std::vector<int>> expected;
    for (const int v : {20, 21, 20, 36, 20, 36, 20, 21, 20, 4, 36, 20})
        expected.push_back({v});
    EXPECT_EQ(DecodeIndices(Plain(4, 12, 63), bits, DistinctEntries(63)), expected);
}

TEST(ImageIndexMap, HistoryRingsHoldSixteenSlotsAndOnlyCodedIndicesEnterThem)
{
    MapBits bits(5);
    std::vector<int> expected = {1};
    bits.Literal(1);
    for (unsigned k = 1; k <= 17; ++k) { // 17 updates of ring 1: 2 .. 18, the last in slot 0
        bits.Literal(k + 1).Literal(1);
        expected.insert(expected.end(), {static_cast<int>(k) + 1, 1});
    }
    bits.Copy()        // 1, no update
        .History(1)    // ring 1 slot 1: 3
        .History(1)    // ring 3 holds only slot 0: 0
        .History(0)    // ring 0 never written: 0
        .History(15)   // 0
        .Literal(1)
        .History(0)    // ring 1 slot 0, overwritten by the 17th update: 18
        .Ignored(0xFF, 8);
    expected.insert(expected.end(), {1, 3, 0, 0, 0, 1, 18});
    IndexRows rows;
    for (const int v : expected)
        rows.push_back({v});
    EXPECT_EQ(DecodeIndices(Plain(4, static_cast<std::uint32_t>(rows.size()), 31), bits, DistinctEntries(31)), rows);

    // Codes in map row 0 have no P and update no ring; ring 0 stays empty.
    MapBits first(3);
    first.Literal(5).Literal(6).Literal(0).Literal(0).History(0).History(3).Ignored(0xFF, 8);
    EXPECT_EQ(DecodeIndices(Plain(8, 3, 7), first, DistinctEntries(7)), (IndexRows{{5, 6}, {0, 0}, {0, 0}}));
}

TEST(ImageIndexMap, RunAcrossARowEndContinuesInTheNextRowAndDecodingStopsMidGroup)
{
    MapBits bits(5);
    for (unsigned v = 1; v <= 16; ++v) // row 0: 1..10, row 1 c 0..5: 11..16
        bits.Literal(v);
    bits.Run()              // row 1 c 6..9, row 2 c 0..3; c becomes 4
        .Neighbour(2, 2)    // c 4: [L 14, PR 16, PP 5], PL = L left out -> 5
        .Literal(20).Literal(21).Literal(22).Literal(23).Literal(24)
        .Ignored(0xFFFF, 16); // the group's last two items are never read
    const ImageHeader h = Plain(40, 3, 31);
    const auto entries = DistinctEntries(31);
    const Bytes record = MakeRecord(h, bits.Done(), entries);
    const Bytes bitmap = Decode(record, 40, 3); // pre-filled: every byte must be overwritten
    EXPECT_EQ(BlocksOf(bitmap, 40, 3, 4, entries),
              (IndexRows{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                         {11, 12, 13, 14, 15, 16, 7, 8, 9, 10},
                         {11, 12, 13, 14, 5, 20, 21, 22, 23, 24}}));
}

TEST(ImageIndexMap, RunOverTwoRowEndsReducesTheColumnOnceAndNeighboursStayAtFixedDistances)
{
    // Five blocks a row. The run from row 1 c 3 ends in row 3 c 1, but the tracked column is
    // 3 + 8 - 5 = 6 and only one row counts as finished. The next item (map row 16 / 5 = 3,
    // c 6) has no PR; the one after it starts a tracked row (c 0) with no L and no PL.
    // Neighbours are read at fixed distances from the position.
    MapBits bits(4);
    bits.Literal(1).Literal(2).Literal(3).Literal(4).Literal(5).Literal(6).Literal(7).Literal(8)
        .Run()
        .Neighbour(0, 0)   // [L 6], PL 6 a duplicate, PP 7 = P -> 6
        .Neighbour(0, 0)   // [PR 4], PP 8 = P -> 4
        .Literal(9).Literal(10)
        .Literal(11).Literal(12) // past the map: the tracked rows finish only here
        .Ignored(0xFF, 8);
    EXPECT_EQ(DecodeIndices(Plain(20, 4, 15), bits, DistinctEntries(15)),
              (IndexRows{{1, 2, 3, 4, 5}, {6, 7, 8, 4, 5}, {6, 7, 8, 4, 5}, {6, 6, 4, 9, 10}}));
}

TEST(ImageIndexMap, TwoPixelBlocksUseTheFirstHalfOfTheirEntry)
{
    MapBits bits(2);
    bits.Literal(1).Literal(0).Literal(2).Literal(3).Literal(3).Literal(1).Ignored(0xFF, 8);
    const ImageHeader h = Plain(6, 2, 3, 2);
    auto entries = DistinctEntries(3);
    const Bytes bitmap = Decode(MakeRecord(h, bits.Done(), entries), 6, 2);
    EXPECT_EQ(BlocksOf(bitmap, 6, 2, 2, entries), (IndexRows{{1, 0, 2}, {3, 3, 1}}));
}

TEST(ImageIndexMap, IndicesAboveTheLastEntryDrawZeroPixels)
{
    // N = 2 gives 2-bit literals; 3 names an entry above N, which is zero even after a record
    // that filled it.
    ImageDecoder decoder;
    MapBits big(4);
    for (int k = 0; k < 8; ++k)
        big.Literal(3);
    Decode(decoder, MakeRecord(Plain(16, 2, 15), big.Done(), DistinctEntries(15)), 16, 2);
    MapBits bits(2);
    bits.Literal(1).Literal(3).Delta(2, false).Literal(2).Ignored(0xFF, 8); // 1 + 3 = 4
    const auto entries = DistinctEntries(2);
    const Bytes record = MakeRecord(Plain(8, 2, 2), bits.Done(), entries);
    const IndexRows expected{{1, 0}, {0, 2}};
    EXPECT_EQ(BlocksOf(Decode(record, 8, 2), 8, 2, 4, entries), expected);
    EXPECT_EQ(BlocksOf(Decode(decoder, record, 8, 2), 8, 2, 4, entries), expected);
}

// ---------------------------------------------------------------------------------------
// Half-row expansion and filling the bitmap

TEST(ImageExpansion, HalfRowModeCodesEveryOtherRowAndInterpolatesUnderBlocks)
{
    // Stored pixels A = (50, 10, 20, 127) and B = (100, 30, 40, 127) double to A2 and B2; their
    // average is (150, 40, 60, 126): blue 200 and 100 give 150, alpha 254 and 254 give 126.
    const std::uint32_t a2 = 0xFE281464, b2 = 0xFE503CC8, avg = 0x7E3C2896, halfB = 0x7F281E64;
    auto uniform = [](std::uint32_t pixel) {
        BlockEntry e;
        for (int j = 0; j < 4; ++j)
            StoreLE32(e.data() + 4 * j, pixel);
        return e;
    };
    const std::vector<BlockEntry> entries = {uniform(0x01020304), uniform(0x7F140A32), uniform(0x7F281E64)};
    const std::vector<std::array<unsigned, 2>> mapRows = {{2, 1}, {1, 0}, {0, 2}, {2, 2}}; // 1 = A, 2 = B
    struct Case {
        std::int32_t Height;
        std::vector<std::array<std::uint32_t, 2>> PixelRows; // bottom first, per block
    };
    const std::vector<Case> cases = {
        {1, {{b2, a2}}},
        {2, {{b2, a2}, {a2, 0}}},
        {3, {{b2, a2}, {avg, 0}, {a2, 0}}},
        {4, {{b2, a2}, {avg, 0}, {a2, 0}, {0, b2}}},
        {5, {{b2, a2}, {avg, 0}, {a2, 0}, {0, halfB}, {0, b2}}}, // zeros below a zero block
        {6, {{b2, a2}, {avg, 0}, {a2, 0}, {0, halfB}, {0, b2}, {b2, b2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Height);
        ImageHeader h = Plain(8, static_cast<std::uint32_t>(c.Height), 2);
        h.HalfRows = 1;
        MapBits bits(2);
        for (int r = 0; r <= c.Height / 2; ++r)
            bits.Literal(mapRows[r][0]).Literal(mapRows[r][1]);
        bits.Ignored(0xFFFF, 16);
        const Bytes bitmap = Decode(MakeRecord(h, bits.Done(), entries), 8, static_cast<std::uint32_t>(c.Height));
        Bytes expected(bitmap.size());
        for (int p = 0; p < c.Height; ++p)
            for (int x = 0; x < 8; ++x)
                StoreLE32(expected.data() + ((c.Height - 1 - p) * 8 + x) * 4, c.PixelRows[p][x / 4]);
        EXPECT_EQ(bitmap, expected);
    }
}

TEST(ImageExpansion, BitmapIsFilledFromTheBottomInPixelBufferOrder)
{
    ImageDecoder decoder;
    // Leave different data in the decoder's memory first.
    std::vector<std::uint32_t> noise(64 * 64);
    std::mt19937 rng(3);
    for (auto& p : noise)
        p = rng() | 1;
    const EncodedImage big = EncodeImageRecord(64, 64, noise, {});
    ASSERT_EQ(Decode(decoder, big.Record, 64, 64), big.Expected);

    MapBits bits(2);
    bits.Literal(1).Literal(2).Literal(0).Literal(3).Ignored(0xFF, 8);
    const auto entries = DistinctEntries(3);
    auto pixel = [&](unsigned e, int j) {
        return Bytes(entries[e].begin() + 4 * j, entries[e].begin() + 4 * j + 4);
    };
    auto concat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Bytes zero(4, 0);

    ImageHeader same = Plain(8, 2, 3); // the first map row is the bottom scan line
    const Bytes exact = Decode(decoder, MakeRecord(same, bits.Done(), entries), 8, 2);
    EXPECT_EQ(BlocksOf(exact, 8, 2, 4, entries), (IndexRows{{1, 2}, {0, 3}}));
    EXPECT_EQ(Bytes(exact.begin(), exact.begin() + 32), concat({zero, zero, zero, zero, pixel(3, 0), pixel(3, 1),
                                                                pixel(3, 2), pixel(3, 3)}));

    ImageHeader wider = same; // 6 x 3 bitmap from an 8 x 2 coded picture
    wider.PictureWidth = 6;
    wider.PictureHeight = 3;
    const Bytes record = MakeRecord(wider, bits.Done(), entries);
    const Bytes expected = concat({pixel(3, 0), pixel(3, 1), pixel(3, 2), pixel(3, 3), zero, zero,    // line 0
                                   pixel(2, 2), pixel(2, 3), zero, zero, zero, zero,                  // line 1
                                   pixel(1, 0), pixel(1, 1), pixel(1, 2), pixel(1, 3), pixel(2, 0), pixel(2, 1)});
    EXPECT_EQ(Decode(decoder, record, 6, 3), expected);
    EXPECT_EQ(Decode(record, 6, 3), expected);

    ImageHeader smaller = same;
    smaller.PictureWidth = 3;
    smaller.PictureHeight = 1;
    EXPECT_EQ(Decode(decoder, MakeRecord(smaller, bits.Done(), entries), 3, 1),
              concat({pixel(1, 0), pixel(1, 1), pixel(1, 2)}));
}

// ---------------------------------------------------------------------------------------
// Round trips through the encoder

// A picture with structure the codes can use: rows repeating the row above, runs of equal
// blocks, a few recurring vertical pairs, zero blocks, and a random palette.
std::vector<std::uint32_t> RandomPicture(std::mt19937& rng, std::uint32_t width, std::uint32_t height,
                                         unsigned blockWidth, unsigned paletteSize)
{
    std::vector<std::vector<std::uint32_t>> palette(paletteSize + 1, std::vector<std::uint32_t>(blockWidth, 0));
    for (unsigned b = 1; b <= paletteSize; ++b)
        for (auto& p : palette[b])
            p = rng() % 3 == 0 ? static_cast<std::uint32_t>(rng() % 4) : static_cast<std::uint32_t>(rng());
    const std::uint32_t wb = width / blockWidth;
    std::vector<unsigned> blocks(std::size_t{wb} * height);
    std::uniform_int_distribution<unsigned> any(0, paletteSize);
    std::uniform_int_distribution<int> percent(0, 99);
    for (std::uint32_t y = 0; y < height; ++y) {
        const int style = percent(rng);
        for (std::uint32_t b = 0; b < wb; ++b) {
            unsigned& block = blocks[std::size_t{y} * wb + b];
            const int roll = percent(rng);
            if (y > 0 && (style < 30 || roll < 35))
                block = blocks[std::size_t{y - 1} * wb + b];
            else if (b > 0 && roll < 60)
                block = blocks[std::size_t{y} * wb + b - 1];
            else if (roll < 70)
                block = 0;
            else if (y > 0 && roll < 85) // the block that followed this one last time
                block = (blocks[std::size_t{y - 1} * wb + b] * 7 + 1) % (paletteSize + 1);
            else
                block = any(rng);
        }
    }
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        for (unsigned p = 0; p < blockWidth; ++p)
            pixels[i * blockWidth + p] = palette[blocks[i]][p];
    return pixels;
}

Bytes PictureBytes(const std::vector<std::uint32_t>& pixels, std::uint32_t keep = 0xFFFFFFFF)
{
    Bytes bytes(pixels.size() * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        StoreLE32(bytes.data() + 4 * i, pixels[i] & keep);
    return bytes;
}

// Decodes image; checks it against Expected and Expected against the picture's coded rows.
void CheckRoundTrip(ImageDecoder& decoder, const EncodedImage& image, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint32_t>& pixels, bool halfRows)
{
    const Bytes picture = PictureBytes(pixels, halfRows ? 0xFFFFFFFE : 0xFFFFFFFF);
    const std::size_t line = std::size_t{width} * 4;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t p = height - 1 - y; // pixel row, bottom first
        const bool coded = !halfRows || p % 2 == 0 || p == height - 1;
        if (coded) {
            ASSERT_TRUE(std::equal(picture.begin() + y * line, picture.begin() + (y + 1) * line,
                                   image.Expected.begin() + y * line))
                << "encoder's coded row " << p;
        }
    }
    const Bytes decoded = Decode(decoder, image.Record, width, height);
    ASSERT_EQ(decoded.size(), image.Expected.size());
    for (std::size_t i = 0; i < decoded.size(); ++i)
        ASSERT_EQ(decoded[i], image.Expected[i]) << "byte " << i << ", scan line " << i / line;
}

const IndexCode kAllCodes[] = {IndexCode::Any,      IndexCode::CopyPrev,  IndexCode::Neighbour, IndexCode::History,
                               IndexCode::Literal,  IndexCode::DeltaPrev, IndexCode::RunPrev};

TEST(ImageRoundTrip, RandomPicturesInEveryModeWithEveryPreferredCode)
{
    ImageDecoder decoder;
    std::mt19937 rng(2024);
    for (const bool half : {false, true}) {
        for (const int blockWidth : {4, 2}) {
            for (const IndexCode prefer : kAllCodes) {
                for (std::uint32_t seed = 1; seed <= 12; ++seed) {
                    const std::uint32_t wb = seed <= 4 ? seed + 3 : 1 + rng() % (seed % 3 == 0 ? 80 : 20);
                    const std::uint32_t width = wb * static_cast<std::uint32_t>(blockWidth);
                    const std::uint32_t height = 1 + rng() % 40;
                    const unsigned palette = 1 + rng() % (seed % 4 == 0 ? 600 : 30);
                    const auto pixels = RandomPicture(rng, width, height, static_cast<unsigned>(blockWidth), palette);
                    const EncodedImage image =
                        EncodeImageRecord(width, height, pixels, {half, blockWidth, prefer, seed});
                    SCOPED_TRACE(testing::Message() << "half " << half << " block width " << blockWidth << " prefer "
                                                    << static_cast<int>(prefer) << " seed " << seed << " size " << width
                                                    << "x" << height);
                    CheckRoundTrip(decoder, image, width, height, pixels, half);
                }
            }
        }
    }
}

TEST(ImageRoundTrip, NarrowRowsFullOfRunsOverTwoRowEnds)
{
    // Rows of 4 to 7 blocks, mostly like the one below: runs cross two row ends, the tracked
    // column and rows fall behind, the items between runs depend on them, and decoding
    // carries on past the map.
    ImageDecoder decoder;
    std::mt19937 rng(5);
    for (std::uint32_t wb = 4; wb <= 7; ++wb) {
        for (const bool half : {false, true}) {
            const std::uint32_t width = wb * 4, height = 200;
            std::vector<std::uint32_t> pixels(std::size_t{width} * height);
            for (std::uint32_t x = 0; x < width; ++x) // a row with zero blocks, repeated with a few changes
                pixels[x] = x % 12 < 4 ? 0 : static_cast<std::uint32_t>(rng()) | 1;
            for (std::uint32_t y = 1; y < height; ++y) {
                const auto row = pixels.begin() + std::size_t{y} * width;
                std::copy_n(row - width, width, row);
                if (rng() % 4 == 0)
                    row[rng() % width] = rng() % 3 ? static_cast<std::uint32_t>(rng() % 5) : 0;
            }
            for (const IndexCode prefer : {IndexCode::RunPrev, IndexCode::Any}) {
                SCOPED_TRACE(testing::Message() << "Wb " << wb << " half " << half);
                const EncodedImage image = EncodeImageRecord(width, height, pixels, {half, 4, prefer, wb});
                CheckRoundTrip(decoder, image, width, height, pixels, half);
            }
        }
    }
}

TEST(ImageRoundTrip, FullTableAndLargestPicture)
{
    ImageDecoder decoder;
    std::mt19937 rng(99);
    for (const bool half : {false, true}) {
        // 4095 distinct blocks besides zero in the coded rows: 12-bit literals.
        std::vector<std::uint32_t> pixels(256 * 256, 0);
        std::uint32_t next = 1;
        for (std::uint32_t y = 0; y < 256; ++y) {
            const std::uint32_t p = 255 - y; // pixel row, bottom first
            const bool coded = !half || p % 2 == 0 || p == 255;
            for (std::uint32_t b = 0; b < 64; ++b) {
                std::uint32_t v = 0;
                if (coded && next <= 4095 && b % 5 != 4)
                    v = next++;
                else if (b % 3 != 0 && next > 1)
                    v = 1 + (y * 64 + b) % (next - 1);
                for (std::uint32_t j = 0; j < 4 && v != 0; ++j)
                    pixels[std::size_t{y} * 256 + b * 4 + j] = v * 16 + j + 1;
            }
        }
        const EncodedImage table = EncodeImageRecord(256, 256, pixels, {half, 4, IndexCode::Any, 3});
        ASSERT_EQ(LoadLE16(table.Record.data() + image_record::kLastBlockIndexAt), 4095);
        CheckRoundTrip(decoder, table, 256, 256, pixels, half);

        const auto largest = RandomPicture(rng, 1024, 512, 4, 900);
        CheckRoundTrip(decoder, EncodeImageRecord(1024, 512, largest, {half, 4, IndexCode::Any, 4}), 1024, 512,
                       largest, half);
    }
}

TEST(ImageRoundTrip, OneDecoderForManyRecordsGivesWhatFreshDecodersGive)
{
    // Big, small, big, the same record twice: nothing of one record may show in the next.
    std::mt19937 rng(77);
    struct Item {
        EncodedImage Image;
        std::uint32_t Width, Height;
    };
    std::vector<Item> items;
    auto add = [&](std::uint32_t w, std::uint32_t h, bool half, int blockWidth, IndexCode prefer, unsigned palette) {
        const auto pixels = RandomPicture(rng, w, h, static_cast<unsigned>(blockWidth), palette);
        items.push_back({EncodeImageRecord(w, h, pixels, {half, blockWidth, prefer, w + h}), w, h});
    };
    add(512, 300, false, 4, IndexCode::History, 2000);
    add(24, 7, false, 4, IndexCode::Neighbour, 12);
    add(24, 7, false, 4, IndexCode::Neighbour, 12);
    add(400, 200, true, 2, IndexCode::Any, 3000);
    add(16, 9, true, 4, IndexCode::History, 5);
    add(16, 9, true, 4, IndexCode::History, 5);
    add(300, 301, false, 2, IndexCode::Neighbour, 4000);
    add(6, 3, false, 2, IndexCode::Literal, 3);
    items.push_back(items[1]);
    items.push_back(items[6]);
    items.push_back(items[1]);

    ImageDecoder reused;
    for (std::size_t k = 0; k < items.size(); ++k) {
        SCOPED_TRACE(k);
        const Item& item = items[k];
        const Bytes fresh = Decode(item.Image.Record, item.Width, item.Height);
        EXPECT_EQ(fresh, item.Image.Expected);
        EXPECT_EQ(Decode(reused, item.Image.Record, item.Width, item.Height), fresh);
    }
}

// ---------------------------------------------------------------------------------------
// Malformed records

void ExpectRejected(const Bytes& record, std::uint32_t width, std::uint32_t height, const std::string& what)
{
    const EdgeOfMemory data(record);
    Bytes bitmap(std::size_t{width} * height * 4 + 1);
    ImageDecoder decoder;
    const BitmapView view{width, height, std::size_t{width} * 4, bitmap.data()};
    EXPECT_THROW(decoder.DecodeImageRecord(data.Span(), view), ImageRecordError) << what;
}

TEST(ImageMalformed, HeaderFieldsOutsideTheLimitsAreRejected)
{
    MapBits bits(2);
    for (int k = 0; k < 8; ++k)
        bits.Literal(1);
    const auto entries = DistinctEntries(3);
    const Bytes good = MakeRecord(Plain(16, 2, 3), bits.Done(), entries);
    ASSERT_NO_THROW(Decode(good, 16, 2));

    for (const std::size_t size : {0, 1, 100, 247})
        ExpectRejected(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)), 16, 2,
                       "shorter than the header: " + std::to_string(size));

    auto variant = [&](auto change) {
        ImageHeader h = Plain(16, 2, 3);
        change(h);
        return MakeRecord(h, bits.Done(), entries);
    };
    ExpectRejected(variant([](ImageHeader& h) { h.LastBlockIndex = 4096; }), 16, 2, "N 4096");
    ExpectRejected(variant([](ImageHeader& h) { h.LastBlockIndex = 65535; }), 16, 2, "N 65535");
    ExpectRejected(variant([](ImageHeader& h) { h.BlockWidth = 0; }), 16, 2, "block width 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = 3; }), 16, 2, "Wb 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = 0; }), 16, 2, "coded width 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = -16; }), 16, 2, "Wb -4");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedHeight = 0; }), 16, 2, "R 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedHeight = -2; }), 16, 2, "R -2");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedHeight = -2; h.HalfRows = 1; }), 16, 2, "half rows, R 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedHeight = -5; h.HalfRows = 1; }), 16, 2, "half rows, R -1");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = 1024; h.CodedHeight = 513; }), 16, 2, "coded 1024x513");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = 65536; h.CodedHeight = 65536; }), 16, 2,
                   "coded 65536x65536, a 32-bit product of 0");
    ExpectRejected(variant([](ImageHeader& h) { h.CodedWidth = 1 << 20; h.CodedHeight = 1 << 20; h.HalfRows = 1; }), 16, 2,
                   "coded 2^20 x 2^20 in half rows");
    ExpectRejected(variant([](ImageHeader& h) { h.PictureWidth = 1024; h.PictureHeight = 513; }), 1024, 513,
                   "picture 1024x513");

    // A picture whose 32-bit pixel count wraps to 65536; one line buffer serves every line.
    ImageHeader huge = Plain(16, 2, 3);
    huge.PictureWidth = 65536;
    huge.PictureHeight = 65537;
    const EdgeOfMemory data(MakeRecord(huge, bits.Done(), entries));
    Bytes line(65536 * 4);
    ImageDecoder decoder;
    EXPECT_THROW(decoder.DecodeImageRecord(data.Span(), BitmapView{65536, 65537, 0, line.data()}), ImageRecordError);
}

TEST(ImageMalformed, HalfRowsWithoutAPixelRowAreRejected)
{
    // CodedHeight 0 or -1 still gives one map row (0 / 2 + 1), but no pixel row to put it in:
    // with an even height the last map row would go to pixel row -1. A height below 1 is as
    // malformed here as it is with every row coded.
    // Without the check, height 0 writes 16 bytes in front of the pixel buffer (the heap is
    // corrupted; AddressSanitizer reports it) and height -1 decodes without complaint.
    MapBits bits(2);
    bits.Literal(1).Literal(2).Literal(3).Literal(1);
    for (const std::int32_t height : {0, -1}) {
        ImageHeader h = Plain(16, 2, 3);
        h.HalfRows = 1;
        h.CodedHeight = height;
        ExpectRejected(MakeRecord(h, bits.Done(), DistinctEntries(3)), 16, 2,
                       "half rows, coded height " + std::to_string(height));
    }
}

TEST(ImageMalformed, CodesThatNeedAPreviousRowAreRejectedInMapRowZero)
{
    const auto entries = DistinctEntries(3);
    auto record = [&](const MapBits& bits, std::uint32_t width) {
        return MakeRecord(Plain(width, 2, 3), bits.Done(), entries);
    };
    ExpectRejected(record(MapBits(2).Copy(), 16), 16, 2, "CopyPrev at 0");
    ExpectRejected(record(MapBits(2).Literal(1).Literal(2).Literal(3).Copy(), 16), 16, 2, "CopyPrev at c 3");
    ExpectRejected(record(MapBits(2).History(0), 16), 16, 2, "History at 0");
    ExpectRejected(record(MapBits(2).Literal(1).Literal(2).History(5), 16), 16, 2, "History at c 2");
    ExpectRejected(record(MapBits(2).Literal(1).Delta(0, false), 16), 16, 2, "DeltaPrev at c 1");
    ExpectRejected(record(MapBits(2).Run(), 16), 16, 2, "RunPrev at 0");
    MapBits late(2);
    for (int k = 0; k < 8; ++k)
        late.Literal(1);
    late.Run(); // position 8 of a 10-block row
    ExpectRejected(record(late, 40), 40, 2, "RunPrev at c 8");
}

TEST(ImageMalformed, IndicesAboveTheTableCapacityAreRejected)
{
    // 4095 + 1 lands in the map and would be drawn.
    std::vector<BlockEntry> full(4096, Distinct(1));
    full[0] = EntryOf({1});
    ExpectRejected(MakeRecord(Plain(4, 2, 4095), MapBits(12).Literal(4095).Delta(0, false).Done(), full), 4, 2,
                   "4095 + 1");
    // 0 - 1 wraps to 65535, whose history ring the next code would update or read.
    const auto entries = DistinctEntries(1);
    ExpectRejected(MakeRecord(Plain(4, 3, 1), MapBits(1).Literal(0).Delta(0, true).Literal(1).Done(), entries), 4, 3,
                   "0 - 1, then a literal");
    ExpectRejected(MakeRecord(Plain(4, 3, 1), MapBits(1).Literal(0).Delta(0, true).History(0).Done(), entries), 4, 3,
                   "0 - 1, then its history");
}

// Decoding either succeeds or throws ImageRecordError; anything else fails the test.
void ExpectDecodesOrRejects(ImageDecoder& decoder, std::span<const std::uint8_t> record, std::uint32_t width,
                            std::uint32_t height, const std::string& what)
{
    Bytes bitmap(std::size_t{width} * height * 4);
    try {
        decoder.DecodeImageRecord(record, BitmapView{width, height, std::size_t{width} * 4, bitmap.data()});
    } catch (const ImageRecordError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": " << e.what();
    }
}

TEST(ImageMalformed, EmptyBitmapsTakeNoPixels)
{
    // A picture of width or height 0 has no pixels to write, and its bitmap may have no memory.
    MapBits bits(2);
    bits.Literal(1).Literal(2).Literal(3).Literal(1).Literal(0).Literal(0).Literal(2).Literal(0);
    ImageDecoder decoder;
    for (const auto& [width, height] : {std::pair{0u, 2u}, {16u, 0u}, {0u, 0u}}) {
        ImageHeader h = Plain(16, 2, 3);
        h.PictureWidth = width;
        h.PictureHeight = height;
        const Bytes record = MakeRecord(h, bits.Done(), DistinctEntries(3));
        try {
            decoder.DecodeImageRecord(record, BitmapView{width, height, std::size_t{width} * 4, nullptr});
        } catch (const ImageRecordError&) {
        }
    }
    // Any other exception fails the test; under UndefinedBehaviorSanitizer so does a copy to
    // the null pixel pointer. The decoder stays usable.
    const auto entries = DistinctEntries(3);
    EXPECT_EQ(BlocksOf(Decode(decoder, MakeRecord(Plain(16, 2, 3), bits.Done(), entries), 16, 2), 16, 2, 4, entries),
              (IndexRows{{1, 2, 3, 1}, {0, 0, 2, 0}}));
}

TEST(ImageMalformed, TruncatedRecordsDecodeOrAreRejected)
{
    std::mt19937 rng(8);
    const auto pixels = RandomPicture(rng, 48, 21, 4, 40);
    for (const bool half : {false, true}) {
        const EncodedImage image = EncodeImageRecord(48, 21, pixels, {half, 4, IndexCode::Any, 9});
        ImageDecoder decoder;
        for (std::size_t size = 0; size <= image.Record.size(); ++size) {
            const EdgeOfMemory data(std::span(image.Record).first(size));
            if (size < image_record::kHeaderBytes) {
                Bytes bitmap(48 * 21 * 4);
                EXPECT_THROW(decoder.DecodeImageRecord(data.Span(), BitmapView{48, 21, 48 * 4, bitmap.data()}),
                             ImageRecordError);
            } else {
                ExpectDecodesOrRejects(decoder, data.Span(), 48, 21, "truncated to " + std::to_string(size));
            }
        }
        EXPECT_EQ(Decode(decoder, image.Record, 48, 21), image.Expected);
    }
}

TEST(ImageMalformed, RandomRecordsDecodeOrAreRejected)
{
    std::mt19937 rng(31337);
    ImageDecoder decoder;
    for (int trial = 0; trial < 3000; ++trial) {
        ImageHeader h;
        h.PictureWidth = rng() % 40;
        h.PictureHeight = rng() % 40;
        h.HalfRows = rng() % 2 ? static_cast<std::uint8_t>(rng()) : 0;
        h.LastBlockIndex = static_cast<std::uint16_t>(rng() % 8 == 0 ? rng() % 4100 : rng() % 64);
        const std::uint16_t widths[] = {4, 2, 4, 2, 1, 3, 5, 8, 0};
        h.BlockWidth = widths[rng() % 9];
        h.CodedWidth = static_cast<std::int32_t>(rng() % 64) - (rng() % 10 == 0 ? 70 : 0);
        h.CodedHeight = static_cast<std::int32_t>(rng() % 64) - (rng() % 10 == 0 ? 70 : 0);
        std::optional<std::uint32_t> indexStreamSize;
        if (rng() % 10 == 0)
            indexStreamSize = static_cast<std::uint32_t>(rng());
        Bytes stream = RandomBytes(rng, rng() % 300);
        if (rng() % 2) // mostly literals and neighbours: fewer early rejections
            for (auto& b : stream)
                b &= static_cast<std::uint8_t>(rng() | 0x92);
        std::vector<BlockEntry> entries(1 + rng() % 8);
        for (auto& e : entries)
            for (auto& b : e)
                b = static_cast<std::uint8_t>(rng());
        Bytes record = MakeRecord(h, stream, entries, indexStreamSize);
        record.resize(record.size() - std::min<std::size_t>(record.size() - image_record::kHeaderBytes, rng() % 20));
        const EdgeOfMemory data(record);
        ExpectDecodesOrRejects(decoder, data.Span(), h.PictureWidth, h.PictureHeight, "trial " + std::to_string(trial));
        if (HasFailure())
            return;
    }
}

} // namespace
} // namespace packsmith::test
