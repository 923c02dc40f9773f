#include "formathandlers/handlers/RebuildAt3.h"

#include <array>
#include <cstring>

#include "formathandlers/layout/Bitmap32.h"
#include "io/ByteBuffer.h"
#include "decomp/ByteOrder.h"
#include "formathandlers/layout/ImagePack.h"
#include "decomp/ImageRecord.h"
#include "io/PackError.h"
#include "io/PathUtils.h"
#include "io/OutputFile.h"
#include "formathandlers/codec/TgaLibrary.h"

namespace packsmith {

namespace {

// The raw image record for a replacement picture: the source entry's image header with the
// tag and the pixel byte count, then the pixels, bottom row first.
void BuildRawRecord(Stream& source, std::uint32_t dataOffset, const Bitmap32& bitmap, ByteBuffer& record)
{
    using namespace raw_image_record;
    const std::uint64_t pixelBytes = std::uint64_t{bitmap.Width()} * bitmap.Height() * 4;
    ResizeBuffer(record, image_record::kHeaderBytes + pixelBytes);
    source.SetPosition(dataOffset);
    source.ReadBuffer({record.data(), image_record::kHeaderBytes});
    std::memcpy(record.data(), kTag, sizeof kTag);
    StoreLE32(record.data() + kPixelBytesAt, static_cast<std::uint32_t>(pixelBytes));
    StoreLE32(record.data() + kPixelBytesAgainAt, static_cast<std::uint32_t>(pixelBytes));
    std::uint8_t* to = record.data() + image_record::kHeaderBytes;
    for (std::uint32_t y = bitmap.Height(); y-- > 0; to += bitmap.RowBytes())
        std::memcpy(to, bitmap.Row(y), bitmap.RowBytes());
}

} // namespace

int RebuildAt3(const std::string& newPackPath, int firstLine, RunContext& run, JobHost& host)
{
    using namespace image_pack;
    FileStream& source = *run.SourcePackStream;
    const auto sourceSize = static_cast<std::uint64_t>(source.Size());

    std::array<std::uint8_t, kHeaderBytes> headerBytes;
    source.SetPosition(0);
    source.ReadBuffer(headerBytes);
    const PackHeader header = ParsePackHeader(headerBytes);
    if (header.EntryCount > 0 && header.EntrySize < kMinEntrySize)
        throw PackError("The entries of " + source.Path() + " are " + std::to_string(header.EntrySize) +
                        " bytes long, fewer than the " + std::to_string(kMinEntrySize) + " an entry needs");
    if (std::uint64_t{header.EntryCount} * header.EntrySize > header.TableSize)
        throw PackError("The entry table of " + source.Path() + " does not fit its table region");
    if (kHeaderBytes + std::uint64_t{header.TableSize} > sourceSize)
        ThrowReadError();
    // Here a file is not locked against its own overwriting: a new pack over its source
    // would empty the source while it is being read.
    if (SameFile(newPackPath, source.Path()))
        ThrowCannotCreate(newPackPath);

    const TgaLibrary codec;
    Bitmap32 bitmap;
    OutputFile newPack(newPackPath);
    FileStream& out = newPack.Stream();
    source.SetPosition(0);
    out.CopyFrom(source, kHeaderBytes + std::uint64_t{header.TableSize});
    std::uint64_t end = kHeaderBytes + std::uint64_t{header.TableSize};

    host.SetStatus("Processing " + ExtractFileName(newPackPath) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    ByteBuffer entryBytes;
    ResizeBuffer(entryBytes, header.EntryCount > 0 ? header.EntrySize : 0);
    ByteBuffer raw;
    int line = firstLine;
    std::uint32_t replaced = 0;
    for (std::uint32_t i = 0; i < header.EntryCount; ++i, ++line) {
        CheckStop(host);
        const std::uint64_t entryAt = kHeaderBytes + std::uint64_t{i} * header.EntrySize;
        source.SetPosition(static_cast<std::int64_t>(entryAt));
        source.ReadBuffer(entryBytes);
        const PackEntry entry = ParsePackEntry(entryBytes);

        const std::string& image = run.ReplayList.At(line);
        const bool replace = PathExists(image);
        std::uint64_t length = entry.DataLength;
        if (replace) {
            codec.Read(image, *bitmap.ForCodec());
            BuildRawRecord(source, entry.DataOffset, bitmap, raw);
            length = raw.size();
            ++replaced;
        } else if (std::uint64_t{entry.DataOffset} + entry.DataLength > sourceSize) {
            ThrowReadError();
        }
        if (end + length > 0xFFFFFFFFu)
            throw PackError("The rebuilt pack " + newPackPath + " would be larger than 4 GB");

        StoreLE32(entryBytes.data() + kDataOffsetAt, static_cast<std::uint32_t>(end));
        StoreLE32(entryBytes.data() + kDataLengthAt, static_cast<std::uint32_t>(length));
        out.SetPosition(static_cast<std::int64_t>(entryAt));
        out.WriteBuffer(entryBytes);
        out.SetPosition(static_cast<std::int64_t>(end));
        if (replace) {
            out.WriteBuffer(raw);
        } else {
            // Kept records are copied piece by piece, never held whole.
            source.SetPosition(entry.DataOffset);
            out.CopyFrom(source, entry.DataLength);
        }
        end += length;
        host.ShowFileProgress(static_cast<int>(std::uint64_t{i} * 100 / header.EntryCount));
    }
    newPack.Commit();
    host.ReportOutput(newPackPath, end,
                      std::to_string(replaced) + " replaced, " + std::to_string(header.EntryCount - replaced) + " kept");
    return line;
}

} // namespace packsmith
