#include "formathandlers/handlers/ExtractAt3.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_map>

#include "formathandlers/codec/TgaLibrary.h"
#include "formathandlers/layout/Bitmap32.h"
#include "formathandlers/layout/ImagePackReader.h"
#include "formathandlers/layout/OutputNames.h"
#include "io/FileStream.h"
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

} // namespace

void ExtractAt3(const std::string& path, RunContext& run, JobHost& host)
{
    Bitmap32 bitmap;
    const TgaLibrary codec;
    FileStream pack(path, FileStream::Mode::OpenRead);
    ImagePackReader reader(pack, path);

    host.SetStatus("Processing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);

    // Per sub-directory and file name, the candidate after the last one taken: names below
    // it were taken when this job looked, and stay so, so a pack of many pictures of one
    // name costs one try per picture.
    std::unordered_map<std::string, unsigned long> nextCandidate;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        CheckStop(host);
        const PackEntry entry = reader.NextEntry();
        if (run.Selection && !run.Selection(i, entry.Name)) {
            host.ReportLeftOut();
            continue;
        }
        const std::string typeDirectory = JoinPath(run.TargetDirectory, TypeDirectoryName(entry.Name));
        const std::string fileName = FileNamePart(entry.Name);
        MakeTypeDirectory(typeDirectory, FirstCandidate(fileName));

        reader.ReadPicture(entry, bitmap);
        // The picture takes the first free name at the moment it is complete, so runs
        // that extract into one directory at once never take each other's names.
        OutputFile picture(JoinPath(typeDirectory, FirstCandidate(fileName)));
        codec.Write(picture, *bitmap.ForCodec());
        const auto bytes = static_cast<std::uint64_t>(picture.Stream().Size());
        const std::string outputPath = picture.CommitFree([&](unsigned long n) { return CandidateName(fileName, n); },
                                                          nextCandidate[typeDirectory + '/' + fileName]);
        host.ReportOutput(outputPath, bytes);
        host.ShowFileProgress(static_cast<int>(std::uint64_t{i} * 100 / reader.EntryCount()));
    }
}

} // namespace packsmith
