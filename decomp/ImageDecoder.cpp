#include "decomp/ImageDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "decomp/BitReader.h"
#include "decomp/BlockTable.h"
#include "decomp/ByteOrder.h"

namespace packsmith {

using namespace image_record;

namespace {

constexpr unsigned kMaxIndex = kMaxBlocks - 1;
constexpr std::size_t kRunLength = 8;
constexpr std::size_t kGroupItems = 8;
constexpr std::size_t kPixelBytes = kMaxPixels * 4;
// A run at the very end may reach past the map's last row.
constexpr std::size_t kMapSlots = kMaxMapIndices + kRunLength;

[[noreturn]] void Reject(const std::string& why) { throw ImageRecordError(why); }

// What follows an index one map row later, for the History code: 16 slots and a cursor.
struct HistoryRing {
    std::array<std::uint16_t, 16> Slots;
    std::uint8_t Cursor;
    std::uint32_t Epoch; // the record whose decode last reset it; older contents count as zero
};

// The geometry of one record, checked against the working memory before anything is decoded.
struct Geometry {
    std::int64_t BlocksPerRow;  // Wb
    std::int64_t MapRows;       // R
    std::size_t BlockBytes;     // 16 for 4-pixel blocks, 8 for 2-pixel blocks
    std::size_t RowBytes;       // CodedWidth x 4: pixel rows in half-row mode
    std::size_t WrittenBytes;   // the part of the pixel buffer the expansion writes
    unsigned LiteralBits;       // nbits
};

Geometry CheckGeometry(const ImageHeader& h)
{
    if (h.LastBlockIndex > kMaxIndex)
        Reject("its block table has " + std::to_string(h.LastBlockIndex + 1) + " entries, more than " +
               std::to_string(kMaxBlocks));
    if (h.BlockWidth == 0)
        Reject("its block width is 0");
    if (!PictureFits(h.PictureWidth, h.PictureHeight))
        Reject("its picture of " + std::to_string(h.PictureWidth) + " x " + std::to_string(h.PictureHeight) +
               " pixels is larger than " + std::to_string(kMaxPixels) + " pixels");

    Geometry g{};
    g.BlocksPerRow = h.CodedWidth / static_cast<std::int32_t>(h.BlockWidth);
    g.MapRows = h.HalfRows ? h.CodedHeight / 2 + 1 : h.CodedHeight;
    // In half-row mode a height below 1 still leaves a map row, but its pixel row (H - 1)
    // would lie before the pixel buffer.
    if (g.BlocksPerRow <= 0 || g.MapRows <= 0 || h.CodedHeight < 1)
        Reject("its coded size " + std::to_string(h.CodedWidth) + " x " + std::to_string(h.CodedHeight) +
               " leaves no block to decode");
    if (std::int64_t{h.CodedWidth} * h.CodedHeight > static_cast<std::int64_t>(kMaxPixels) ||
        g.BlocksPerRow * g.MapRows > static_cast<std::int64_t>(kMaxMapIndices))
        Reject("its coded picture of " + std::to_string(h.CodedWidth) + " x " + std::to_string(h.CodedHeight) +
               " pixels is larger than " + std::to_string(kMaxPixels) + " pixels");

    g.BlockBytes = h.BlockWidth == 4 ? 16 : 8;
    g.RowBytes = static_cast<std::size_t>(h.CodedWidth) * 4;
    const auto blocksBytes = static_cast<std::size_t>(g.BlocksPerRow) * g.BlockBytes;
    if (!h.HalfRows) {
        g.WrittenBytes = static_cast<std::size_t>(g.MapRows) * blocksBytes;
    } else {
        // The highest pixel row written is row H - 1 (or row 0 for a picture of one row).
        const auto lastRow = static_cast<std::size_t>(h.CodedHeight - 1);
        g.WrittenBytes = lastRow * g.RowBytes + blocksBytes;
    }
    // Odd block widths make rows of blocks longer than rows of pixels.
    if (g.WrittenBytes > kPixelBytes)
        Reject("its blocks of " + std::to_string(h.BlockWidth) + " pixels overrun a picture of " +
               std::to_string(h.CodedWidth) + " x " + std::to_string(h.CodedHeight) + " pixels");

    while (g.LiteralBits < 16 && (1u << g.LiteralBits) <= h.LastBlockIndex)
        ++g.LiteralBits;
    return g;
}

} // namespace

struct ImageDecoder::Memory {
    std::array<BlockEntry, kMaxBlocks> Table{};
    std::array<std::uint16_t, kMapSlots> Map{};
    std::vector<std::uint8_t> Pixels = std::vector<std::uint8_t>(kPixelBytes);
    std::array<std::uint64_t, kMaxBlocks> Marks{};
    std::array<HistoryRing, kMaxBlocks> Rings{};
    std::array<std::uint16_t, 4> Neighbours{};

    // What earlier records left behind, cleared as far as the next record needs it clear.
    unsigned TableEntriesUsed = 0;
    std::size_t PixelBytesUsed = 0;
    std::uint64_t MarkBase = 1;
    std::uint32_t Epoch = 0;
};

namespace {

// One record's decode over the decoder's working memory.
class RecordDecode {
public:
    RecordDecode(ImageDecoder::Memory& m, std::span<const std::uint8_t> record, const ImageHeader& h, const Geometry& g)
        : m_(m), record_(record), h_(h), g_(g), wb_(static_cast<std::size_t>(g.BlocksPerRow))
    {
    }

    void Run(const BitmapView& bitmap)
    {
        PrepareMemory();
        DecodeBlockTable(record_, kHeaderBytes + std::uint64_t{h_.IndexStreamSize}, h_.LastBlockIndex, h_.HalfRows != 0,
                         m_.Table);
        DecodeMap();
        if (h_.HalfRows)
            ExpandHalfRows();
        else
            ExpandFullRows();
        Fill(bitmap);
    }

private:
    // Clears only what earlier records used and this one relies on being clear.
    void PrepareMemory()
    {
        for (unsigned e = h_.LastBlockIndex + 1u; e < m_.TableEntriesUsed; ++e)
            m_.Table[e].fill(0);
        m_.TableEntriesUsed = h_.LastBlockIndex + 1u;
        std::memset(m_.Pixels.data(), 0, m_.PixelBytesUsed);
        m_.PixelBytesUsed = g_.WrittenBytes;
        m_.Neighbours.fill(0);
        // Stamps are the mark base plus a position; moving the base past every position of
        // the last record (which may have been rejected half-way) makes all marks stale.
        m_.MarkBase += kMapSlots + 1;
        if (++m_.Epoch == 0) { // after four billion records, start the rings afresh
            for (auto& ring : m_.Rings)
                ring.Epoch = 0;
            m_.Epoch = 1;
        }
    }

    std::uint16_t CheckedIndex(std::uint16_t index, const char* use) const
    {
        if (index > kMaxIndex)
            Reject("its index map holds index " + std::to_string(index) + ", above " + std::to_string(kMaxIndex) +
                   ", where it " + use);
        return index;
    }

    HistoryRing& Ring(std::uint16_t index)
    {
        HistoryRing& ring = m_.Rings[CheckedIndex(index, "names a history")];
        if (ring.Epoch != m_.Epoch) {
            ring.Slots.fill(0);
            ring.Cursor = 0;
            ring.Epoch = m_.Epoch;
        }
        return ring;
    }

    void NeedPreviousRow(std::size_t i, const char* code) const
    {
        if (i < wb_)
            Reject(std::string("a ") + code + " code in the bottom row of its index map has no row below to refer to");
    }

    // The neighbour list for position i (column c): L, PL, PR, PP where they exist, leaving
    // out P and values already listed. Marks stamped with the position's own number make
    // the test one comparison a candidate.
    std::size_t BuildNeighbours(std::size_t i, std::size_t c)
    {
        const std::uint64_t stamp = m_.MarkBase + i;
        const std::uint16_t* map = m_.Map.data();
        const bool rowAbove = i >= wb_;
        if (rowAbove)
            m_.Marks[CheckedIndex(map[i - wb_], "is compared with neighbours")] = stamp;
        std::size_t n = 0;
        const auto consider = [&](std::uint16_t value) {
            std::uint64_t& mark = m_.Marks[CheckedIndex(value, "is compared with neighbours")];
            if (mark != stamp) {
                mark = stamp;
                m_.Neighbours[n++] = value;
            }
        };
        if (c >= 1)
            consider(map[i - 1]);
        if (rowAbove && c >= 1 && i > wb_)
            consider(map[i - wb_ - 1]);
        if (rowAbove && c + 2 <= wb_)
            consider(map[i - wb_ + 1]);
        if (i >= 2 * wb_)
            consider(map[i - 2 * wb_]);
        return n;
    }

    void DecodeMap()
    {
        BitReader bits(record_, kHeaderBytes);
        std::uint16_t* map = m_.Map.data();
        const std::size_t rows = static_cast<std::size_t>(g_.MapRows);
        std::size_t i = 0;
        std::size_t c = 0;
        std::size_t finished = 0;
        for (;;) {
            // A stream can keep a run-crossed map going past its rows; never past the memory.
            if (i + kRunLength > kMapSlots)
                Reject("its index map runs past " + std::to_string(kMaxMapIndices) + " indices");
            if (bits.Take(1)) { // RunPrev: 8 positions copied from the row below, one by one
                NeedPreviousRow(i, "run");
                for (std::size_t k = 0; k < kRunLength; ++k)
                    map[i + k] = map[i + k - wb_];
                i += kRunLength;
                c += kRunLength;
                if (c >= wb_) {
                    c -= wb_;
                    if (++finished >= rows)
                        break;
                }
                continue;
            }
            bool done = false;
            for (std::size_t item = 0; item < kGroupItems; ++item) {
                map[i] = DecodeItem(bits, i, c);
                ++i;
                if (++c >= wb_) {
                    c = 0;
                    if (++finished >= rows) {
                        done = true;
                        break;
                    }
                }
            }
            if (done)
                break;
        }
    }

    std::uint16_t DecodeItem(BitReader& bits, std::size_t i, std::size_t c)
    {
        const std::uint16_t* map = m_.Map.data();
        // The code's bits in reading order: 1 CopyPrev; 010 Neighbour; 011 History;
        // 000 Literal; 001 DeltaPrev.
        const std::uint32_t code = bits.Peek(3);
        if (code & 1) {
            bits.Skip(1);
            NeedPreviousRow(i, "copy");
            return map[i - wb_];
        }
        bits.Skip(3);
        std::uint16_t index;
        switch (code >> 1) {
        case 0b01: { // Neighbour (second bit 1, third 0)
            const std::size_t n = BuildNeighbours(i, c);
            const unsigned width = n == 1 ? 0 : n <= 2 ? 1 : 2;
            index = m_.Neighbours[bits.Take(width)];
            break;
        }
        case 0b11: { // History
            NeedPreviousRow(i, "history");
            return Ring(map[i - wb_]).Slots[bits.Take(4)];
        }
        case 0b00: // Literal
            index = static_cast<std::uint16_t>(bits.Take(g_.LiteralBits));
            break;
        default: { // DeltaPrev (second bit 0, third 1)
            NeedPreviousRow(i, "delta");
            const unsigned step = bits.Take(4) + 1;
            const unsigned previous = map[i - wb_];
            index = static_cast<std::uint16_t>(bits.Take(1) ? previous - step : previous + step);
            break;
        }
        }
        // The codes above learn what followed the index below them, from the second row on.
        if (i >= wb_) {
            HistoryRing& ring = Ring(map[i - wb_]);
            ring.Slots[ring.Cursor] = index;
            ring.Cursor = static_cast<std::uint8_t>((ring.Cursor + 1) % 16);
        }
        return index;
    }

    void PutBlock(std::size_t mapAt, std::uint8_t* to) const
    {
        const std::uint16_t index = CheckedIndex(m_.Map[mapAt], "names a block");
        if (index != 0)
            std::memcpy(to, m_.Table[index].data(), g_.BlockBytes);
    }

    void ExpandFullRows()
    {
        const std::size_t total = wb_ * static_cast<std::size_t>(g_.MapRows);
        std::uint8_t* to = m_.Pixels.data();
        for (std::size_t n = 0; n < total; ++n, to += g_.BlockBytes)
            PutBlock(n, to);
    }

    // Map row mapRow into pixel row pixelRow, block by block.
    void ExpandRow(std::size_t mapRow, std::size_t pixelRow)
    {
        std::uint8_t* to = m_.Pixels.data() + pixelRow * g_.RowBytes;
        for (std::size_t b = 0; b < wb_; ++b, to += g_.BlockBytes)
            PutBlock(mapRow * wb_ + b, to);
    }

    void ExpandHalfRows()
    {
        const std::int64_t height = h_.CodedHeight;
        const std::int64_t rowsBetween = height / 2 - 1 + height % 2; // K
        ExpandRow(0, 0);
        for (std::int64_t k = 1; k <= rowsBetween; ++k) {
            const auto mapRow = static_cast<std::size_t>(k);
            std::uint8_t* coded = m_.Pixels.data() + 2 * mapRow * g_.RowBytes;
            for (std::size_t b = 0; b < wb_; ++b, coded += g_.BlockBytes) {
                const std::uint16_t index = CheckedIndex(m_.Map[mapRow * wb_ + b], "names a block");
                if (index == 0)
                    continue;
                std::memcpy(coded, m_.Table[index].data(), g_.BlockBytes);
                // The row between: two pixels at a time, each the sum of the pixels above and
                // below as 32-bit halves, halved as one 64-bit number.
                const std::uint8_t* below = coded - 2 * g_.RowBytes;
                std::uint8_t* between = coded - g_.RowBytes;
                for (std::size_t at = 0; at < g_.BlockBytes; at += 8) {
                    const std::uint64_t a = LoadLE64(below + at);
                    const std::uint64_t b64 = LoadLE64(coded + at);
                    const std::uint64_t low = (a + b64) & 0xFFFFFFFFu;
                    const std::uint64_t high = ((a >> 32) + (b64 >> 32)) & 0xFFFFFFFFu;
                    StoreLE64(between + at, ((high << 32) | low) >> 1);
                }
            }
        }
        if (height % 2 == 0)
            ExpandRow(static_cast<std::size_t>(height / 2), static_cast<std::size_t>(height - 1));
    }

    // The pixel buffer in order into the bitmap, from its bottom scan line up.
    void Fill(const BitmapView& bitmap) const
    {
        const std::size_t lineBytes = std::size_t{bitmap.Width} * 4;
        if (lineBytes == 0)
            return;
        const std::uint8_t* from = m_.Pixels.data();
        for (std::uint32_t y = bitmap.Height; y-- > 0; from += lineBytes)
            std::memcpy(bitmap.Pixels + y * bitmap.Stride, from, lineBytes);
    }

    ImageDecoder::Memory& m_;
    std::span<const std::uint8_t> record_;
    const ImageHeader& h_;
    const Geometry& g_;
    std::size_t wb_;
};

} // namespace

ImageDecoder::ImageDecoder() : memory_(std::make_unique<Memory>()) {}

ImageDecoder::~ImageDecoder() = default;

void ImageDecoder::DecodeImageRecord(std::span<const std::uint8_t> record, const BitmapView& bitmap)
{
    const ImageHeader header = ReadImageHeader(record);
    const Geometry geometry = CheckGeometry(header);
    if (bitmap.Width != header.PictureWidth || bitmap.Height != header.PictureHeight)
        Reject("the bitmap is not sized to the record's picture");
    RecordDecode(*memory_, record, header, geometry).Run(bitmap);
}

} // namespace packsmith
