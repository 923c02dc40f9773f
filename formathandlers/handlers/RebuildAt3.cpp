#include "formathandlers/handlers/RebuildAt3.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "formathandlers/layout/Bitmap32.h"
#include "io/ByteBuffer.h"
#include "decomp/ByteOrder.h"
#include "formathandlers/handlers/ListedPath.h"
#include "formathandlers/handlers/ReplayFit.h"
#include "formathandlers/layout/ImagePack.h"
#include "formathandlers/layout/ImagePackFile.h"
#include "formathandlers/layout/ImagePackReader.h"
#include "formathandlers/layout/OutputNames.h"
#include "decomp/ImageRecord.h"
#include "io/PackError.h"
#include "io/PathUtils.h"
#include "io/OrderedWork.h"
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

// Whether the picture read from a TGA file is the very picture the entry's record holds,
// so that the record may stay as it is. A record that cannot be decoded holds no picture
// to compare with; the file then replaces it.
bool SamePicture(ImagePackReader& reader, const PackEntry& entry, const Bitmap32& edited, Bitmap32& original)
{
    try {
        reader.ReadPicture(entry, original);
    } catch (const PackError&) {
        return false;
    }
    if (original.Width() != edited.Width() || original.Height() != edited.Height())
        return false;
    for (std::uint32_t y = 0; y < edited.Height(); ++y)
        if (std::memcmp(original.Row(y), edited.Row(y), edited.RowBytes()) != 0)
            return false;
    return true;
}

// One worker's view of the source pack, and its two pictures: the edited one and the one
// its entry holds now.
struct RebuildWorker {
    explicit RebuildWorker(const std::string& packPath) : pack(packPath) {}
    ImagePackFile pack;
    Bitmap32 edited;
    Bitmap32 original;
};

// What the picture listed for an entry comes to.
struct Replacement {
    bool Listed = false;  // the listed file is there
    bool Replace = false; // and its picture differs from the entry's
    ByteBuffer Raw;       // then: the entry's new record
};

std::vector<PackEntry> ReadEntries(ImagePackReader& reader)
{
    std::vector<PackEntry> entries;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i)
        entries.push_back(reader.NextEntry());
    return entries;
}

} // namespace

int RebuildAt3(const std::string& newPackPath, int firstLine, RunContext& run, JobHost& host)
{
    using namespace image_pack;
    FileStream& source = *run.SourcePackStream;
    const std::string& packPath = source.Path();
    const auto sourceSize = static_cast<std::uint64_t>(source.Size());
    ImagePackReader reader(source, packPath);
    const PackHeader& header = reader.Header();
    if (std::uint64_t{header.EntryCount} * header.EntrySize > header.TableSize)
        throw PackError("The entry table of " + packPath + " does not fit its table region");
    if (kHeaderBytes + std::uint64_t{header.TableSize} > sourceSize)
        ThrowReadError("the table region runs past the end of the file");
    const std::vector<PackEntry> entries = ReadEntries(reader);

    // Refused before anything is written: a log that no longer fits the pack, a new pack
    // over its own source.
    CheckLogFitsPack(packPath, entries, run.ReplayList, firstLine);
    RefuseOverInput(newPackPath, packPath);

    const TgaLibrary codec;
    OutputFile newPack(newPackPath);
    FileStream& out = newPack.Stream();
    source.SetPosition(0);
    out.CopyFrom(source, kHeaderBytes + std::uint64_t{header.TableSize});
    std::uint64_t end = kHeaderBytes + std::uint64_t{header.TableSize};

    host.SetStatus("Processing " + ExtractFileName(newPackPath) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    // The listed pictures are read, compared and made into records on the workers; the
    // pack is written here, entry by entry in order.
    const unsigned workers = WorkersFor(run);
    OrderedWork<Replacement, RebuildWorker> work(workers, std::size_t{2} * std::max(1u, workers) + 2,
                                                 [&packPath] { return std::make_unique<RebuildWorker>(packPath); });
    std::uint32_t given = 0;
    const auto giveNext = [&] {
        const PackEntry& entry = entries[given];
        std::string image = ResolveListedPath(run.ReplayList.At(firstLine + static_cast<int>(given)), run.ReplayDirectory);
        ++given;
        work.Give([&codec, &entry, image = std::move(image)](RebuildWorker& worker) {
            Replacement replacement;
            if (!PathExists(image))
                return replacement;
            replacement.Listed = true;
            codec.Read(image, *worker.edited.ForCodec());
            replacement.Replace = !SamePicture(worker.pack.Reader(), entry, worker.edited, worker.original);
            if (replacement.Replace)
                BuildRawRecord(worker.pack.File(), entry.DataOffset, worker.edited, replacement.Raw);
            return replacement;
        });
    };

    ByteBuffer entryBytes;
    ResizeBuffer(entryBytes, header.EntryCount > 0 ? header.EntrySize : 0);
    int line = firstLine;
    std::uint32_t replaced = 0;
    std::uint32_t unchanged = 0;
    for (std::uint32_t i = 0; i < header.EntryCount; ++i, ++line) {
        CheckStop(host);
        while (given < header.EntryCount && work.HasRoom())
            giveNext();
        const Replacement replacement = work.Take();
        const std::uint64_t entryAt = kHeaderBytes + std::uint64_t{i} * header.EntrySize;
        source.SetPosition(static_cast<std::int64_t>(entryAt));
        source.ReadBuffer(entryBytes);
        const PackEntry& entry = entries[i];

        const bool replace = replacement.Replace;
        if (replacement.Listed)
            ++(replace ? replaced : unchanged);
        const ByteBuffer& raw = replacement.Raw;
        if (!replace && std::uint64_t{entry.DataOffset} + entry.DataLength > sourceSize)
            ThrowReadError("the picture of \"" + PrintableName(entry.Name) + "\" lies past the end of the file");
        const std::uint64_t length = replace ? raw.size() : entry.DataLength;
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
                      std::to_string(replaced) + " replaced, " + std::to_string(unchanged) + " unchanged, " +
                          std::to_string(header.EntryCount - replaced - unchanged) + " kept");
    return line;
}

} // namespace packsmith
