#include "ExtractAt3.h"

#include <filesystem>
#include <sys/stat.h>

#include "Bitmap32.h"
#include "FileStream.h"
#include "ImagePackReader.h"
#include "OutputNames.h"
#include "PathUtils.h"
#include "TgaCodec.h"

namespace packsmith {

namespace {

void CreateDirectoryIfMissing(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        std::error_code ignored; // a directory that cannot be made shows when writing into it
        std::filesystem::create_directory(path, ignored);
    }
}

std::uint64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

} // namespace

void ExtractAt3(const std::string& path, RunContext& run, JobHost& host)
{
    Bitmap32 bitmap;
    const TgaCodec codec;
    FileStream pack(path, FileStream::Mode::OpenRead);
    ImagePackReader reader(pack, path);

    host.SetStatus("Processing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);
    host.ProcessMessages();

    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        CheckStop(host);
        const PackEntry entry = reader.NextEntry();
        const std::string typeDirectory = JoinPath(run.TargetDirectory, TypeDirectoryName(entry.Name));
        CreateDirectoryIfMissing(typeDirectory);
        const std::string outputPath = ChooseOutputPath(typeDirectory, FileNamePart(entry.Name));

        reader.ReadPicture(entry, bitmap);
        codec.Write(outputPath, *bitmap.ForCodec());
        run.ResultList.Add(outputPath);
        host.ReportOutput(outputPath, FileSize(outputPath));
        host.ShowFileProgress(static_cast<int>(std::uint64_t{i} * 100 / reader.EntryCount()));
    }
}

} // namespace packsmith
