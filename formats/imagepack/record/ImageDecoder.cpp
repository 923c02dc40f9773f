#include "formats/imagepack/record/ImageDecoder.h"

#include <cstring>
#include <vector>

#include "formats/imagepack/record/BlockTable.h"
#include "formats/imagepack/record/ImageExpansion.h"
#include "formats/imagepack/record/ImageIndexMap.h"

namespace packsmith {

using namespace image_record;

namespace {

constexpr unsigned kMaxIndex = kMaxBlocks - 1;
constexpr std::size_t kPixelBytes = kMaxPixels * 4;

[[noreturn]] void Reject(const std::string& why) { throw ImageRecordError(why); }

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
    ImageIndexMap Map;
    // Rows of pixels in map order, for records whose rows of blocks do not match the
    // bitmap's rows; cleared as far as the last record that used it wrote.
    std::vector<std::uint8_t> Pixels = std::vector<std::uint8_t>(kPixelBytes);
    unsigned TableEntriesUsed = 0;
    std::size_t PixelBytesUsed = 0;
};

namespace {

// Whether the pixel rows of a record are exactly the bitmap's scan lines, so that the
// blocks go straight into the bitmap: the picture as large as coded, rows of blocks as wide
// as rows of pixels, scan lines apart. Every pixel is then written exactly once, zero
// blocks as zeros.
bool RowsAreScanLines(const ImageHeader& h, const Geometry& g, const BitmapView& bitmap)
{
    const auto pixelsPerBlock = static_cast<std::int64_t>(g.BlockBytes / 4);
    return std::int64_t{bitmap.Width} == h.CodedWidth && std::int64_t{bitmap.Height} == h.CodedHeight &&
           g.BlocksPerRow * pixelsPerBlock == h.CodedWidth && bitmap.Stride >= g.RowBytes;
}

void DecodeRecord(ImageDecoder::Memory& m, std::span<const std::uint8_t> record, const ImageHeader& h,
                  const Geometry& g, const BitmapView& bitmap)
{
    // Entries above N read as zero, whatever earlier records left there.
    for (unsigned e = h.LastBlockIndex + 1u; e < m.TableEntriesUsed; ++e)
        m.Table[e].fill(0);
    m.TableEntriesUsed = h.LastBlockIndex + 1u;
    DecodeBlockTable(record, kHeaderBytes + std::uint64_t{h.IndexStreamSize}, h.LastBlockIndex, h.HalfRows != 0,
                     m.Table);
    m.Table[0].fill(0); // entry 0 only serves as the base of entry 1; index 0 draws zeros

    const auto wb = static_cast<std::size_t>(g.BlocksPerRow);
    m.Map.Decode(record, {wb, static_cast<std::size_t>(g.MapRows), g.LiteralBits});
    const std::uint16_t* map = m.Map.Indices();
    const std::size_t total = wb * static_cast<std::size_t>(g.MapRows);

    if (RowsAreScanLines(h, g, bitmap)) {
        // Pixel row p (0 the bottom) is scan line height - 1 - p.
        const PixelRows lines{bitmap.Pixels + (bitmap.Height - 1) * bitmap.Stride,
                              -static_cast<std::ptrdiff_t>(bitmap.Stride)};
        if (h.HalfRows) {
            ExpandHalfRows(map, wb, h.CodedHeight, m.Table, g.BlockBytes, ZeroBlocks::Draw, lines);
        } else {
            for (std::size_t r = 0; r < static_cast<std::size_t>(g.MapRows); ++r)
                ExpandBlocks(map + r * wb, wb, m.Table, g.BlockBytes, ZeroBlocks::Draw, lines.Row(r));
        }
        return;
    }

    // Otherwise through the pixel buffer: blocks as they fall (rows of blocks may be
    // shorter or longer than rows of pixels), then the buffer from its start into the
    // bitmap, from the bottom scan line up.
    std::memset(m.Pixels.data(), 0, m.PixelBytesUsed);
    m.PixelBytesUsed = g.WrittenBytes;
    if (h.HalfRows)
        ExpandHalfRows(map, wb, h.CodedHeight, m.Table, g.BlockBytes, ZeroBlocks::Skip,
                       {m.Pixels.data(), static_cast<std::ptrdiff_t>(g.RowBytes)});
    else
        ExpandBlocks(map, total, m.Table, g.BlockBytes, ZeroBlocks::Skip, m.Pixels.data());
    const std::size_t lineBytes = std::size_t{bitmap.Width} * 4;
    if (lineBytes == 0)
        return;
    const std::uint8_t* from = m.Pixels.data();
    for (std::uint32_t y = bitmap.Height; y-- > 0; from += lineBytes)
        std::memcpy(bitmap.Pixels + y * bitmap.Stride, from, lineBytes);
}

} // namespace

ImageDecoder::ImageDecoder() : memory_(std::make_unique<Memory>()) {}

ImageDecoder::~ImageDecoder() = default;

void ImageDecoder::DecodeImageRecord(std::span<const std::uint8_t> record, const BitmapView& bitmap)
{
    const ImageHeader header = ReadImageHeader(record);
    const Geometry geometry = CheckGeometry(header);
    if (bitmap.Width != header.PictureWidth || bitmap.Height != header.PictureHeight)
        Reject("the bitmap is not sized to the record's picture");
    DecodeRecord(*memory_, record, header, geometry, bitmap);
}

} // namespace packsmith
