#include "cli/DroppedFiles.h"

#include <algorithm>

#include "core/FilesystemPath.h"
#include "jobs/FormatTable.h"
#include "platform/FileSystem.h"

namespace packsmith {

bool AreDroppedFiles(const std::vector<std::string>& args)
{
    return !args.empty() && std::all_of(args.begin(), args.end(), [](const std::string& arg) {
        return IsAbsolutePath(arg) && arg.front() != '-';
    });
}

bool IsFileDrop(const ConsoleStart& start, const std::vector<std::string>& args)
{
    return start.AloneInConsole && start.StartedByFileManager && AreDroppedFiles(args);
}

std::vector<std::string> WithDropTarget(std::vector<std::string> args)
{
    if (!AreDroppedFiles(args))
        return args;
    const std::filesystem::path first = FilesystemPath(args.front());
    std::filesystem::path target = first.parent_path() / first.stem();
    if (first.stem().empty() || target == first) // a name that is all extension (".wac")
        target = first.parent_path() / (PathText(first.filename()) + " files");
    args.insert(args.begin(), {"-o", PathText(target)});
    return args;
}

std::string DroppedFilesAdvice(const std::vector<std::string>& files, const std::string& reason)
{
    std::string what = reason + ".";
    const auto folder = std::find_if(files.begin(), files.end(),
                                     [](const std::string& file) { return KindOf(file, true) == PathKind::Directory; });
    const auto foreign = std::find_if(files.begin(), files.end(), [](const std::string& file) {
        const Format* format = FormatForFile(file);
        return format == nullptr || format->Kind == JobKind::Pack;
    });
    if (folder != files.end())
        what = *folder + " is a folder: open it and drop the files in it instead.";
    else if (foreign != files.end())
        what = *foreign + " is not a file that Packsmith unpacks, nor a log it rebuilds from.";
    else if (std::any_of(files.begin(), files.end(),
                         [&](const std::string& file) { return FormatForFile(file) != FormatForFile(files.front()); }))
        what = "The files are of different kinds: drop the files of each kind on their own.";
    return what +
           "\nDrop .wac, .was or .at3 files here to unpack them into a folder beside them, or a\n"
           "result.log to rebuild the packs it lists. Sound files (.wav, .flac, .ogg) are packed\n"
           "into .wac or .was from a Command Prompt, by packsmith-cli --pack wac or --pack was.\n";
}

} // namespace packsmith
