#include "cli/DroppedFiles.h"

#include <algorithm>

#include "core/FilesystemPath.h"

namespace packsmith {

std::vector<std::string> WithDropTarget(std::vector<std::string> args)
{
    const bool dropped = !args.empty() && std::all_of(args.begin(), args.end(), [](const std::string& arg) {
        return IsAbsolutePath(arg) && arg.front() != '-';
    });
    if (!dropped)
        return args;
    const std::filesystem::path first = FilesystemPath(args.front());
    std::filesystem::path target = first.parent_path() / first.stem();
    if (first.stem().empty() || target == first) // a name that is all extension (".wac")
        target = first.parent_path() / (PathText(first.filename()) + " files");
    args.insert(args.begin(), {"-o", PathText(target)});
    return args;
}

} // namespace packsmith
