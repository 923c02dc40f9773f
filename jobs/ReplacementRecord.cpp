#include "jobs/ReplacementRecord.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/compress/ImageCompressor.h"
#include "formats/imagepack/record/RawImageRecord.h"

namespace packsmith {

namespace {

// The raw record: the source header with the raw tag and the pixel byte count, then the
// pixels, bottom row first.
void BuildRawRecord(const Bitmap32& bitmap, std::span<const std::uint8_t, image_record::kHeaderBytes> sourceHeader,
                    ByteBuffer& record)
{
    using namespace image_record;
    const std::uint64_t pixelBytes = std::uint64_t{bitmap.Width()} * bitmap.Height() * 4;
    ResizeBuffer(record, image_record::kHeaderBytes + pixelBytes);
    std::copy(sourceHeader.begin(), sourceHeader.end(), record.begin());
    std::memcpy(record.data(), raw_image_record::kTag, sizeof raw_image_record::kTag);
    StoreLE32(record.data() + kPixelBytesAt, static_cast<std::uint32_t>(pixelBytes));
    StoreLE32(record.data() + kIndexStreamSizeAt, static_cast<std::uint32_t>(pixelBytes));
    std::uint8_t* to = record.data() + image_record::kHeaderBytes;
    for (std::uint32_t y = bitmap.Height(); y-- > 0; to += bitmap.RowBytes())
        std::memcpy(to, bitmap.Row(y), bitmap.RowBytes());
}

std::string Decibels(double psnr)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", psnr);
    return text;
}

} // namespace

StoredReplacement MakeReplacementRecord(const Bitmap32& picture,
                                        std::span<const std::uint8_t, image_record::kHeaderBytes> sourceHeader,
                                        ReplacementCoding coding, ByteBuffer& record, const StopToken& stop)
{
    const std::string size = std::to_string(picture.Width()) + " x " + std::to_string(picture.Height());
    if (picture.Width() == 0 || picture.Height() == 0)
        throw PackError("it holds no pixels (" + size + ")");
    if (!PictureFits(picture.Width(), picture.Height()))
        throw PackError("a picture of " + size + " pixels is larger than the " +
                        std::to_string(image_record::kMaxPixels) + " pixels a record holds");
    // A raw record keeps the entry's picture size in its header, so it can only hold a
    // picture of that size; a compressed one carries its own.
    const ImageHeader entry = ReadImageHeader(sourceHeader);
    const bool resized = picture.Width() != entry.PictureWidth || picture.Height() != entry.PictureHeight;
    if (coding != ReplacementCoding::Raw || resized) {
        // A source record that is itself a raw one (a pack rebuilt before) lends its header
        // without the raw tag, so that no reader takes the new record for a raw one.
        std::array<std::uint8_t, image_record::kHeaderBytes> header;
        std::copy(sourceHeader.begin(), sourceHeader.end(), header.begin());
        if (std::memcmp(header.data(), raw_image_record::kTag, sizeof raw_image_record::kTag) == 0)
            std::fill_n(header.begin(), sizeof raw_image_record::kTag, std::uint8_t{0});
        const auto compressed =
            CompressPicture(picture.Width(), picture.Height(), picture.Row(0), picture.RowBytes(), header,
                            coding == ReplacementCoding::Lossy ? PictureLoss::Allowed : PictureLoss::Exact, stop);
        // Where the raw record would be smaller (noise in a small picture), it is the better
        // one in every coding: it is exact too.
        const std::uint64_t rawBytes = image_record::kHeaderBytes + std::uint64_t{picture.Width()} * picture.Height() * 4;
        if (compressed && (resized || compressed->Record.size() <= rawBytes)) {
            ResizeBuffer(record, compressed->Record.size());
            std::copy(compressed->Record.begin(), compressed->Record.end(), record.begin());
            if (compressed->Exact)
                return {StoredReplacement::Kind::Exact, 0};
            return {StoredReplacement::Kind::Lossy, compressed->Psnr};
        }
    }
    if (resized)
        throw PackError("its picture of " + size + " pixels replaces one of " + std::to_string(entry.PictureWidth) +
                        " x " + std::to_string(entry.PictureHeight) +
                        "; a picture of another size needs a compressed record, and no compressed record holds "
                        "this one exactly (--compress lossy stores it compressed)");
    BuildRawRecord(picture, sourceHeader, record);
    return {StoredReplacement::Kind::Raw, 0};
}

void ReplacementTally::Add(const StoredReplacement& stored)
{
    switch (stored.How) {
    case StoredReplacement::Kind::Exact:
        ++exact_;
        break;
    case StoredReplacement::Kind::Lossy:
        lowestPsnr_ = lossy_ == 0 ? stored.Psnr : std::min(lowestPsnr_, stored.Psnr);
        highestPsnr_ = lossy_ == 0 ? stored.Psnr : std::max(highestPsnr_, stored.Psnr);
        ++lossy_;
        break;
    case StoredReplacement::Kind::Raw:
        ++raw_;
        break;
    }
}

std::string ReplacementTally::Text() const
{
    std::string text;
    const auto part = [&text](const std::string& piece) { text += (text.empty() ? "" : ", ") + piece; };
    if (exact_ != 0)
        part(std::to_string(exact_) + " compressed exactly");
    if (lossy_ != 0) {
        const std::string low = Decibels(lowestPsnr_), high = Decibels(highestPsnr_);
        part(std::to_string(lossy_) + " lossy at " + (low == high ? low : low + " to " + high) + " dB");
    }
    if (raw_ != 0)
        part(std::to_string(raw_) + " raw");
    return text;
}

} // namespace packsmith
