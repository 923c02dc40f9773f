#include "formats/imagepack/ImagePackReader.h"

#include <algorithm>
#include <array>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/imagepack/OutputNames.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/imagepack/record/RawImageRecord.h"

namespace packsmith {

namespace {

// A raw record's pixels, stored bottom row first, into bitmap.
void ReadRaw(std::span<const std::uint8_t> record, const ImageHeader& header, Bitmap32& bitmap)
{
    const std::string mismatch = RawPixelsMismatch(LoadLE32(record.data() + image_record::kPixelBytesAt),
                                                   header.PictureWidth, header.PictureHeight);
    if (!mismatch.empty())
        throw ImageRecordError(mismatch);
    const std::uint8_t* from = record.data() + image_record::kHeaderBytes;
    for (std::uint32_t y = bitmap.Height(); y-- > 0; from += bitmap.RowBytes())
        std::copy_n(from, bitmap.RowBytes(), bitmap.Row(y));
}

constexpr const char* kTablePastEnd = "the entry table runs past the end of the file";
constexpr const char* kTablePastItsSize = "the entry table runs past its stated size";

} // namespace

ImagePackReader::ImagePackReader(Stream& pack, std::string packPath, ImageDecoder* decoder)
    : pack_(pack), packPath_(std::move(packPath)), packSize_(static_cast<std::uint64_t>(pack.Size())), decoder_(decoder)
{
    using namespace image_pack;
    std::array<std::uint8_t, kHeaderBytes> headerBytes;
    if (packSize_ < kHeaderBytes)
        ThrowReadError("the file ends inside its header");
    pack_.SetPosition(0);
    pack_.ReadBuffer(headerBytes);
    header_ = ParsePackHeader(headerBytes);
    if (header_.EntryCount > 0 && header_.EntrySize < kMinEntrySize)
        throw PackError("The entries of " + packPath_ + " are " + std::to_string(header_.EntrySize) +
                        " bytes long, fewer than the " + std::to_string(kMinEntrySize) + " an entry needs");
    nextEntryAt_ = kHeaderBytes;
    // A table the file cannot hold (a cut download, a damaged count) gives the entries it
    // has, up to the file's end, or to the table's stated size where the file holds that.
    readableEntries_ = header_.EntryCount;
    if (kHeaderBytes + std::uint64_t{header_.EntryCount} * header_.EntrySize > packSize_) {
        std::uint64_t tableEnd = packSize_;
        tableStatedEnd_ = kHeaderBytes + std::uint64_t{header_.TableSize} <= packSize_;
        if (tableStatedEnd_)
            tableEnd = kHeaderBytes + std::uint64_t{header_.TableSize};
        readableEntries_ = static_cast<std::uint32_t>((tableEnd - kHeaderBytes) / header_.EntrySize);
    }
}

PackEntry ImagePackReader::NextEntry()
{
    const std::size_t entrySize = header_.EntrySize;
    if (entryUsed_ == entryBytes_.size()) {
        // As many entries as fit 64 KB, at least one, and none past the table.
        constexpr std::size_t kReadAhead = std::size_t{64} * 1024;
        const std::uint32_t left = readableEntries_ - std::min(entriesRead_, readableEntries_);
        if (left == 0)
            ThrowReadError(MissingEntries());
        const std::size_t count = std::clamp<std::size_t>(kReadAhead / std::max<std::size_t>(entrySize, 1), 1, left);
        ResizeBuffer(entryBytes_, count * entrySize);
        ReadFor(nextEntryAt_, entryBytes_, [&] {
            return "the entries " + std::to_string(entriesRead_ + 1) + " to " + std::to_string(entriesRead_ + count);
        });
        nextEntryAt_ += static_cast<std::int64_t>(count * entrySize);
        entriesRead_ += static_cast<std::uint32_t>(count);
        entryUsed_ = 0;
    }
    const std::span<const std::uint8_t> entry(entryBytes_.data() + entryUsed_, entrySize);
    entryUsed_ += entrySize;
    return ParsePackEntry(entry);
}

void ImagePackReader::ReadFor(std::int64_t offset, std::span<std::uint8_t> bytes,
                             const std::function<std::string()>& what)
{
    try {
        pack_.ReadAt(offset, bytes);
    } catch (const PackError&) {
        // A file that another program cuts while it is read; the plain read error would
        // name neither the pack nor what was being read from it.
        std::string cause = what() + " in " + packPath_ + " could not be read";
        try {
            if (const auto now = static_cast<std::uint64_t>(pack_.Size()); now < packSize_)
                cause += ": the file has become shorter since it was opened (" + std::to_string(now) + " of " +
                         std::to_string(packSize_) + " bytes)";
        } catch (const PackError&) {
        }
        ThrowReadError(cause);
    }
}

std::string ImagePackReader::MissingEntries() const
{
    if (readableEntries_ == header_.EntryCount)
        return {};
    return std::string(tableStatedEnd_ ? kTablePastItsSize : kTablePastEnd) + ": entries " +
           std::to_string(readableEntries_ + 1) + " to " + std::to_string(header_.EntryCount) + " are missing";
}

std::uint64_t ImagePackReader::PictureBytes(const PackEntry& entry)
{
    std::array<std::uint8_t, image_record::kHeaderBytes> header;
    if (entry.DataLength < header.size() || std::uint64_t{entry.DataOffset} + header.size() > packSize_)
        return 0;
    try {
        pack_.ReadAt(entry.DataOffset, header);
    } catch (const PackError&) {
        return 0; // ReadPicture says what is wrong
    }
    const ImageHeader fields = ReadImageHeader(header);
    return PictureFits(fields.PictureWidth, fields.PictureHeight)
               ? std::uint64_t{fields.PictureWidth} * fields.PictureHeight * 4
               : 0;
}

void ImagePackReader::ReadPicture(const PackEntry& entry, Bitmap32& bitmap)
{
    if (std::uint64_t{entry.DataOffset} + entry.DataLength > packSize_)
        ThrowReadError("the picture of \"" + PrintableName(entry.Name) + "\" lies past the end of the file");
    ResizeBuffer(record_, entry.DataLength);
    ReadFor(entry.DataOffset, record_, [&] { return "the picture of \"" + PrintableName(entry.Name) + "\""; });
    try {
        const ImageHeader header = ReadImageHeader(record_);
        // Refused before any bitmap is sized for it.
        if (!PictureFits(header.PictureWidth, header.PictureHeight))
            throw ImageRecordError("its picture of " + std::to_string(header.PictureWidth) + " x " +
                                   std::to_string(header.PictureHeight) + " pixels is larger than " +
                                   std::to_string(image_record::kMaxPixels) + " pixels");
        bitmap.SetSize(header.PictureWidth, header.PictureHeight);
        if (IsRawImageRecord(record_)) {
            ReadRaw(record_, header, bitmap);
        } else {
            // Its working memory is megabytes: made only once a record needs it.
            if (decoder_ == nullptr) {
                ownDecoder_ = std::make_unique<ImageDecoder>();
                decoder_ = ownDecoder_.get();
            }
            decoder_->DecodeImageRecord(record_, bitmap.ForDecoder());
        }
    } catch (const ImageRecordError& e) {
        throw PackError("Cannot decode the image \"" + PrintableName(entry.Name) + "\" in " + packPath_ + ": " +
                        e.what());
    }
}

} // namespace packsmith
