#include "jobs/ExtractAt3.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "concurrency/Pipeline.h"
#include "concurrency/Recycler.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "formats/imagepack/ImagePackFile.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/OutputNames.h"
#include "formats/imagepack/PictureWriter.h"
#include "formats/tga/Bitmap32.h"
#include "io/FileStream.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// A batch of entries is closed when its pictures come to this many bytes, or entries: small
// pictures go to the workers many at a time, so that handing them over costs little beside
// decoding them; a large one goes alone.
constexpr std::uint64_t kBatchBytes = std::uint64_t{1} << 20;
constexpr std::size_t kBatchEntries = 64;
// The decoded pictures waiting to be written, at most (a single larger one still goes).
constexpr std::size_t kPendingBytes = std::size_t{24} << 20;

// Where an entry's picture is to go; an entry the selection leaves out goes nowhere.
struct PlannedPicture {
    PackEntry Entry;
    std::uint32_t Index = 0;
    bool Selected = false;
    std::string TypeDirectory;
    std::string FileName;
};

using PictureBatch = std::vector<PlannedPicture>;

// Consecutive entries decoded on one worker, in entry order. A picture whose record cannot
// be read is passed over with what was wrong, and the rest are read; any other failure (out
// of memory) ends the batch: the pictures before it are there, and it is raised after them.
struct DecodedBatch {
    PictureBatch Planned;
    std::vector<std::unique_ptr<Bitmap32>> Pictures; // one for each planned entry up to a failure; null if none
    std::vector<std::string> Problems;               // one for each picture: why it is null ("" if left out)
    std::exception_ptr Failure;
};

// An entry that could not be read, and why.
struct UnreadEntry {
    std::uint32_t Index = 0;
    std::string Name;
    std::string Problem;
};

// The failure of a pack with entries that could not be read: a single entry's own message,
// or the entries named (the first few of them) with the first one's. A table cut short
// adds the entries it lacks.
std::string UnreadText(const std::string& path, const std::vector<UnreadEntry>& unread, const std::string& missing)
{
    std::string text;
    if (unread.size() == 1) {
        text = unread.front().Problem;
    } else if (!unread.empty()) {
        constexpr std::size_t kNamed = 8;
        text = "Entries ";
        for (std::size_t i = 0; i < unread.size() && i < kNamed; ++i) {
            if (i > 0)
                text += i + 1 == unread.size() ? " and " : ", ";
            text += std::to_string(unread[i].Index + 1) + " \"" + PrintableName(unread[i].Name) + "\"";
        }
        if (unread.size() > kNamed)
            text += " and " + std::to_string(unread.size() - kNamed) + " more";
        text += " of " + path + " could not be read; entry " + std::to_string(unread.front().Index + 1) + ": " +
                unread.front().Problem;
    }
    if (!missing.empty()) {
        try {
            ThrowReadError(missing);
        } catch (const PackError& e) {
            text += (text.empty() ? "" : "; ") + std::string(e.what());
        }
    }
    return text;
}

// Every directory is checked and made once per job.
class TypeDirectories {
public:
    // Makes directory when it is missing, failing with the cause when it cannot be made; a
    // link in its place is refused, since what it points at lies outside the target.
    void Prepare(const std::string& directory, const std::string& firstCandidate)
    {
        if (ready_.count(directory) != 0)
            return;
        const PathKind kind = KindOf(directory, false);
        if (kind == PathKind::Missing) {
            // Another run may make it at the same moment; that is as good.
            if (const int error = MakeDirectory(directory); error != 0 && error != EEXIST)
                ThrowCannotCreateDirectory(directory, error);
        } else if (kind == PathKind::Link)
            throw PackError("Cannot create file " + JoinPath(directory, firstCandidate) +
                            " (its folder is a link, which may lead out of the target)");
        ready_.insert(directory);
    }

private:
    std::unordered_set<std::string> ready_;
};

} // namespace

void ExtractAt3(const std::string& path, RunContext& run, JobHost& host)
{
    run.Files.ClaimPackName(path);
    FileStream pack(path, FileStream::Mode::OpenRead);
    ImagePackReader reader(pack, path);
    PictureWriter pictures;

    host.SetStatus("Processing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    std::uint32_t named = 0; // entries done: written, left out or passed over
    std::vector<UnreadEntry> unread;
    const auto write = [&](const PlannedPicture& planned, const Bitmap32& bitmap) {
        const auto written = pictures.Write(planned.TypeDirectory, planned.FileName, bitmap);
        host.ReportOutput(written.Path, written.Bytes);
    };

    // The pictures are decoded on the workers and written here, in entry order: files are
    // made by one thread, as the file system makes them fastest, and names, results and log
    // are those of a picture by picture extraction.
    Recycler<Bitmap32> bitmaps; // decoded into on the workers, given back once written
    Pipeline<PictureBatch, DecodedBatch, ImagePackFile>::Steps steps;
    steps.MakeState = [&path] { return std::make_unique<ImagePackFile>(path); };
    steps.Process = [&bitmaps](ImagePackFile& worker, PictureBatch& planned, const StopToken& stop) {
        DecodedBatch batch;
        batch.Planned = std::move(planned);
        for (const PlannedPicture& picture : batch.Planned) {
            stop.ThrowIfStopped();
            std::unique_ptr<Bitmap32> bitmap;
            std::string problem;
            if (picture.Selected) {
                bitmap = bitmaps.Get();
                try {
                    worker.Reader().ReadPicture(picture.Entry, *bitmap);
                } catch (const PackError& e) {
                    problem = e.what();
                    bitmaps.Put(std::move(bitmap));
                } catch (...) {
                    batch.Failure = std::current_exception();
                    bitmaps.Put(std::move(bitmap));
                    break;
                }
            }
            batch.Pictures.push_back(std::move(bitmap));
            batch.Problems.push_back(std::move(problem));
        }
        return batch;
    };
    steps.Commit = [&](DecodedBatch& batch) {
        for (std::size_t k = 0; k < batch.Pictures.size(); ++k) {
            CheckStop(host);
            if (batch.Pictures[k]) {
                write(batch.Planned[k], *batch.Pictures[k]);
                bitmaps.Put(std::move(batch.Pictures[k]));
            } else {
                if (!batch.Problems[k].empty())
                    unread.push_back({batch.Planned[k].Index, batch.Planned[k].Entry.Name, batch.Problems[k]});
                host.ReportLeftOut();
            }
            host.ShowFileProgress(
                static_cast<int>(std::uint64_t{named++} * 100 / std::max<std::uint32_t>(reader.ReadableEntryCount(), 1)));
        }
        if (batch.Failure)
            std::rethrow_exception(batch.Failure);
    };

    TypeDirectories directories;
    const auto plan = [&](std::uint32_t i) {
        PlannedPicture planned;
        planned.Entry = reader.NextEntry();
        planned.Index = i;
        planned.Selected = !run.Selection || run.Selection(i, planned.Entry.Name);
        if (planned.Selected) {
            planned.TypeDirectory = JoinPath(run.TargetDirectory, TypeDirectoryName(planned.Entry.Name));
            planned.FileName = FileNamePart(planned.Entry.Name);
            directories.Prepare(planned.TypeDirectory, FirstCandidate(planned.FileName));
        }
        return planned;
    };
    const PipelineLimits limits{WorkersFor(run), 0, kPendingBytes};
    try {
        Pipeline<PictureBatch, DecodedBatch, ImagePackFile>::Run(limits, host.Stop(), steps, [&](auto& pipeline) {
            PictureBatch open; // planned, not yet given
            std::uint64_t openBytes = 0;
            const auto give = [&] {
                if (!open.empty())
                    pipeline.Give(std::exchange(open, {}), static_cast<std::size_t>(std::exchange(openBytes, 0)));
            };
            // A table cut short gives the entries it has; those it lacks are named at the end.
            for (std::uint32_t i = 0; i < reader.ReadableEntryCount(); ++i) {
                CheckStop(host);
                try {
                    open.push_back(plan(i));
                } catch (...) {
                    // An entry that cannot be planned fails once those before it are written,
                    // as when the pictures are written one by one.
                    give();
                    throw;
                }
                if (open.back().Selected)
                    openBytes += std::max<std::uint64_t>(reader.PictureBytes(open.back().Entry), 1);
                if (openBytes >= kBatchBytes || open.size() >= kBatchEntries)
                    give();
            }
            give();
        });
    } catch (const JobStopped&) {
        throw;
    } catch (...) {
        // The pictures written stay, and the run lists them: every entry not reached gets
        // its empty line, so that a replay of the log finds each picture in its place.
        for (; named < reader.ReadableEntryCount(); ++named)
            host.ReportLeftOut();
        throw;
    }
    // Every entry that could be read is out; then the pack fails with those that could not.
    const std::string missing = reader.MissingEntries();
    if (!unread.empty() || !missing.empty())
        throw PackError(UnreadText(path, unread, missing));
}

} // namespace packsmith
