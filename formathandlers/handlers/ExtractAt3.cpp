#include "formathandlers/handlers/ExtractAt3.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unordered_map>

#include "formathandlers/codec/TgaLibrary.h"
#include "formathandlers/layout/Bitmap32.h"
#include "formathandlers/layout/ImagePackReader.h"
#include "formathandlers/layout/OutputNames.h"
#include "io/FileStream.h"
#include "io/OrderedWork.h"
#include "io/OutputFile.h"
#include "io/PackError.h"
#include "io/PathUtils.h"

namespace packsmith {

namespace {

// The sub-directory an entry's picture goes into, made when it is missing. One that cannot
// be made shows when the picture is written into it; a link in its place is refused, since
// what it points at lies outside the target.
void MakeTypeDirectory(const std::string& directory, const std::string& firstCandidate)
{
    struct stat info {};
    if (lstat(directory.c_str(), &info) != 0)
        mkdir(directory.c_str(), 0777);
    else if (S_ISLNK(info.st_mode))
        throw PackError("Cannot create file " + JoinPath(directory, firstCandidate) +
                        " (its folder is a link, which may lead out of the target)");
}

// One worker's view of the pack: its own file and decoder, and a bitmap reused from picture
// to picture.
struct PictureWorker {
    explicit PictureWorker(const std::string& packPath)
        : file(packPath, FileStream::Mode::OpenRead), reader(file, packPath)
    {
    }
    FileStream file;
    ImagePackReader reader;
    Bitmap32 bitmap;
};

// A picture written on a worker, waiting for its name.
struct WrittenPicture {
    std::unique_ptr<OutputFile> Picture; // null for an entry the selection left out
    std::string TypeDirectory;
    std::string FileName;
    std::uint64_t Bytes = 0;
};

} // namespace

void ExtractAt3(const std::string& path, RunContext& run, JobHost& host)
{
    FileStream pack(path, FileStream::Mode::OpenRead);
    ImagePackReader reader(pack, path);
    const TgaLibrary codec;

    host.SetStatus("Processing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    // The pictures are decoded and written on the workers; they are named here, in entry
    // order, so names, results and log are those of a picture by picture extraction.
    const unsigned workers = WorkersFor(run);
    OrderedWork<WrittenPicture, PictureWorker> work(workers, std::size_t{2} * std::max(1u, workers) + 2,
                                                    [&path] { return std::make_unique<PictureWorker>(path); });

    // Per sub-directory and file name, the candidate after the last one taken: names below
    // it were taken when this job looked, and stay so, so a pack of many pictures of one
    // name costs one try per picture.
    std::unordered_map<std::string, unsigned long> nextCandidate;
    std::uint32_t named = 0;
    const auto nameNext = [&] {
        WrittenPicture written = work.Take();
        if (written.Picture) {
            // The picture takes the first free name at the moment it is complete, so runs
            // that extract into one directory at once never take each other's names.
            const std::string outputPath = written.Picture->CommitFree(
                [&](unsigned long n) { return CandidateName(written.FileName, n); },
                nextCandidate[written.TypeDirectory + '/' + written.FileName]);
            host.ReportOutput(outputPath, written.Bytes);
        } else {
            host.ReportLeftOut();
        }
        host.ShowFileProgress(static_cast<int>(std::uint64_t{named++} * 100 / reader.EntryCount()));
    };
    const auto giveEntry = [&](std::uint32_t i) {
        PackEntry entry = reader.NextEntry();
        if (run.Selection && !run.Selection(i, entry.Name)) {
            work.Give([](PictureWorker&) { return WrittenPicture{}; });
            return;
        }
        std::string typeDirectory = JoinPath(run.TargetDirectory, TypeDirectoryName(entry.Name));
        std::string fileName = FileNamePart(entry.Name);
        MakeTypeDirectory(typeDirectory, FirstCandidate(fileName));
        work.Give([&codec, entry = std::move(entry), typeDirectory = std::move(typeDirectory),
                   fileName = std::move(fileName)](PictureWorker& worker) {
            worker.reader.ReadPicture(entry, worker.bitmap);
            WrittenPicture written{std::make_unique<OutputFile>(JoinPath(typeDirectory, FirstCandidate(fileName))),
                                   typeDirectory, fileName};
            codec.Write(*written.Picture, *worker.bitmap.ForCodec());
            written.Bytes = static_cast<std::uint64_t>(written.Picture->Stream().Size());
            return written;
        });
    };

    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        CheckStop(host);
        while (!work.HasRoom())
            nameNext();
        try {
            giveEntry(i);
        } catch (const JobStopped&) {
            throw;
        } catch (...) {
            // What was given before the failure is named first, as when the pictures are
            // written one by one; a failure among those is the earlier one, and wins.
            const std::exception_ptr failure = std::current_exception();
            while (work.Pending())
                nameNext();
            std::rethrow_exception(failure);
        }
    }
    while (work.Pending()) {
        CheckStop(host);
        nameNext();
    }
}

} // namespace packsmith
