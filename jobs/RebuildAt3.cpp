#include "jobs/RebuildAt3.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "concurrency/Pipeline.h"
#include "concurrency/Recycler.h"
#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/ImagePackFile.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/OutputNames.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "io/ByteBuffer.h"
#include "io/OutputFile.h"
#include "jobs/ListedPath.h"
#include "jobs/ReplacementRecord.h"
#include "jobs/ReplayFit.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

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
    bool Listed = false;                // the listed file is there
    std::string Missing;                // or else the file listed, when a line names one
    std::unique_ptr<ByteBuffer> Record; // and, when its picture differs from the entry's, the new record
    StoredReplacement Stored;           // stored so
};

Replacement Prepare(RebuildWorker& worker, Recycler<ByteBuffer>& records, const TgaLibrary& codec,
                    ReplacementCoding coding, std::uint32_t index, const PackEntry& entry, const std::string& image,
                    const StopToken& stop)
{
    Replacement replacement;
    if (!PathExists(image)) {
        replacement.Missing = image;
        return replacement;
    }
    replacement.Listed = true;
    codec.Read(image, *worker.edited.ForCodec());
    if (!SamePicture(worker.pack.Reader(), entry, worker.edited, worker.original)) {
        std::array<std::uint8_t, image_record::kHeaderBytes> sourceHeader;
        worker.pack.File().ReadAt(entry.DataOffset, sourceHeader);
        replacement.Record = records.Get();
        try {
            replacement.Stored = MakeReplacementRecord(worker.edited, sourceHeader, coding, *replacement.Record, stop);
        } catch (const PackError& e) {
            throw PackError("Cannot store " + image + " as entry " + std::to_string(index + 1) + " \"" +
                            PrintableName(entry.Name) + "\": " + e.what());
        }
    }
    return replacement;
}

// Consecutive entries prepared on one worker. A batch is closed when the pictures of its
// entries come to kBatchBytes or it has kBatchEntries entries; a worker stops early once
// what it made comes to kBatchCap bytes (edited pictures can be larger than the ones they
// replace), leaving the rest to be prepared in order by the writing thread.
constexpr std::uint64_t kBatchBytes = std::uint64_t{1} << 20;
constexpr std::size_t kBatchEntries = 64;
constexpr std::uint64_t kBatchCap = std::uint64_t{4} << 20;
// The pictures of the batches given and not yet written, at most (a single larger batch
// still goes): a batch's cost is the size of the pictures it replaces.
constexpr std::size_t kPendingBytes = std::size_t{24} << 20;

struct PlannedBatch {
    std::uint32_t First = 0; // entry index of the first
    std::vector<std::string> Images;
};

struct PreparedBatch {
    PlannedBatch Planned;
    std::vector<Replacement> Done; // the first of Planned.Images, in order
    std::exception_ptr Failure;    // of the entry after the last one done
};

std::vector<PackEntry> ReadEntries(ImagePackReader& reader)
{
    std::vector<PackEntry> entries;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i)
        entries.push_back(reader.NextEntry());
    return entries;
}

// Where each entry's record went in the new pack.
struct Placed {
    std::uint32_t Offset = 0;
    std::uint32_t Length = 0;
};

// The entry records of the new pack: those of the source, with each record's new place.
void WriteEntryTable(Stream& source, Stream& out, std::uint32_t entrySize, const std::vector<Placed>& placed)
{
    using namespace image_pack;
    // A pack without entries may give them any size, none included.
    if (placed.empty())
        return;
    constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;
    const std::size_t perPiece = std::max<std::size_t>(1, kPieceBytes / entrySize);
    ByteBuffer piece;
    for (std::size_t first = 0; first < placed.size(); first += perPiece) {
        const std::size_t count = std::min(perPiece, placed.size() - first);
        ResizeBuffer(piece, count * entrySize);
        const auto at = static_cast<std::int64_t>(kHeaderBytes + first * entrySize);
        source.ReadAt(at, piece);
        for (std::size_t k = 0; k < count; ++k) {
            StoreLE32(piece.data() + k * entrySize + kDataOffsetAt, placed[first + k].Offset);
            StoreLE32(piece.data() + k * entrySize + kDataLengthAt, placed[first + k].Length);
        }
        out.SetPosition(at);
        out.WriteBuffer(piece);
    }
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
    // The header and table region as they are; the entries' places are written at the end.
    source.SetPosition(0);
    out.CopyFrom(source, kHeaderBytes + std::uint64_t{header.TableSize});
    std::uint64_t end = kHeaderBytes + std::uint64_t{header.TableSize};

    host.SetStatus("Processing " + ExtractFileName(newPackPath) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    std::vector<Placed> placed(header.EntryCount);
    std::uint32_t replaced = 0;
    std::uint32_t unchanged = 0;
    std::uint32_t missing = 0;
    std::string firstMissing;
    ReplacementTally stored;
    Recycler<ByteBuffer> records; // made on the workers, given back once written
    const auto put = [&](std::uint32_t i, Replacement& replacement) {
        const PackEntry& entry = entries[i];
        const bool replace = replacement.Record != nullptr;
        if (replacement.Listed)
            ++(replace ? replaced : unchanged);
        if (!replacement.Missing.empty() && missing++ == 0)
            firstMissing = replacement.Missing;
        if (replace)
            stored.Add(replacement.Stored);
        if (!replace && std::uint64_t{entry.DataOffset} + entry.DataLength > sourceSize)
            ThrowReadError("the picture of \"" + PrintableName(entry.Name) + "\" lies past the end of the file");
        const std::uint64_t length = replace ? replacement.Record->size() : entry.DataLength;
        if (end + length > 0xFFFFFFFFu)
            throw PackError("The rebuilt pack " + newPackPath + " would be larger than 4 GB");
        placed[i] = {static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(length)};
        if (replace) {
            out.WriteBuffer(*replacement.Record);
            records.Put(std::move(replacement.Record));
        } else {
            // Kept records are copied piece by piece, never held whole.
            source.SetPosition(entry.DataOffset);
            out.CopyFrom(source, entry.DataLength);
        }
        end += length;
        host.ShowBytesWritten(end);
        host.ShowFileProgress(static_cast<int>(std::uint64_t{i} * 100 / header.EntryCount));
    };

    // The listed pictures are read, compared and made into records on the workers, many
    // small ones at a time; the pack is written here, entry by entry in order.
    std::unique_ptr<RebuildWorker> here; // for what a worker left to this thread
    std::uint32_t committed = 0;
    Pipeline<PlannedBatch, PreparedBatch, RebuildWorker>::Steps steps;
    steps.MakeState = [&packPath] { return std::make_unique<RebuildWorker>(packPath); };
    steps.Process = [&](RebuildWorker& worker, PlannedBatch& batch, const StopToken& stop) {
        PreparedBatch prepared;
        std::uint64_t made = 0;
        for (std::size_t k = 0; k < batch.Images.size() && made < kBatchCap; ++k) {
            stop.ThrowIfStopped();
            const auto at = batch.First + static_cast<std::uint32_t>(k);
            try {
                prepared.Done.push_back(
                    Prepare(worker, records, codec, run.Coding, at, entries[at], batch.Images[k], stop));
            } catch (const JobStopped&) {
                throw;
            } catch (...) {
                prepared.Failure = std::current_exception();
                break;
            }
            if (prepared.Done.back().Record)
                made += prepared.Done.back().Record->size();
        }
        prepared.Planned = std::move(batch);
        return prepared;
    };
    steps.Commit = [&](PreparedBatch& batch) {
        for (std::size_t k = 0; k < batch.Planned.Images.size(); ++k, ++committed) {
            CheckStop(host);
            if (k < batch.Done.size()) {
                put(committed, batch.Done[k]);
                continue;
            }
            if (batch.Failure)
                std::rethrow_exception(batch.Failure);
            if (!here)
                here = std::make_unique<RebuildWorker>(packPath);
            Replacement replacement =
                Prepare(*here, records, codec, run.Coding, committed, entries[committed], batch.Planned.Images[k], host.Stop());
            put(committed, replacement);
        }
    };
    const PipelineLimits limits{WorkersFor(run), 0, kPendingBytes};
    Pipeline<PlannedBatch, PreparedBatch, RebuildWorker>::Run(limits, host.Stop(), steps, [&](auto& pipeline) {
        for (std::uint32_t planned = 0; planned < header.EntryCount;) {
            PlannedBatch batch;
            batch.First = planned;
            std::uint64_t bytes = 0;
            while (planned < header.EntryCount && bytes < kBatchBytes && batch.Images.size() < kBatchEntries) {
                bytes += std::max<std::uint64_t>(reader.PictureBytes(entries[planned]), 1);
                batch.Images.push_back(
                    ResolveListedPath(run.ReplayList.At(firstLine + static_cast<int>(planned)), run.ReplayDirectory));
                ++planned;
            }
            pipeline.Give(std::move(batch), static_cast<std::size_t>(bytes));
        }
    });
    WriteEntryTable(source, out, header.EntrySize, placed);
    newPack.Commit();
    // A deleted picture is how a user keeps an entry as it is; but when not one of those
    // listed is there, the edits went somewhere else (a log moved without its pictures, a
    // path no longer right), and the pack the run wrote is the old one.
    const std::uint32_t listed = replaced + unchanged + missing;
    if (listed != 0 && missing == listed)
        host.ReportWarning(packPath + ": " +
                           (listed == 1 ? "the one picture listed for it was not found: " + firstMissing
                                        : "not one of the " + std::to_string(listed) +
                                              " pictures listed for it was found (the first: " + firstMissing + ")") +
                           "; " + newPackPath + " holds its pictures unchanged");
    const std::string how = stored.Text();
    host.ReportOutput(newPackPath, end,
                      std::to_string(replaced) + " replaced" + (how.empty() ? "" : " (" + how + ")") + ", " +
                          std::to_string(unchanged) + " unchanged, " +
                          std::to_string(header.EntryCount - replaced - unchanged) + " kept" +
                          (missing == 0 ? "" : " (" + std::to_string(missing) + " not found)"));
    return firstLine + static_cast<int>(header.EntryCount);
}

} // namespace packsmith
