#include "gui/DroppedFolders.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/PackError.h"
#include "core/PathUtils.h"

namespace packsmith {

namespace fs = std::filesystem;

namespace {

// The regular files directly in folder (links followed), sorted by name.
std::vector<std::string> RegularFilesIn(const std::string& folder)
{
    // The folder as dropped may end in "/"; the files' paths are joined without it.
    std::string base = folder;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    std::vector<std::string> files;
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        std::error_code ignored;
        if (entries->is_regular_file(ignored))
            files.push_back(JoinPath(base, entries->path().filename().string()));
    }
    if (ec)
        throw PackError("Cannot open folder " + folder + " (" + CauseOf(ec.value()) + ")");
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

bool IsFolder(const std::string& path)
{
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

std::vector<std::string> FilesOfFormatIn(const std::string& folder, const Format& format)
{
    std::vector<std::string> files = RegularFilesIn(folder);
    std::erase_if(files, [&](const std::string& file) { return !FormatTakes(format, file); });
    return files;
}

std::string FirstAddableFileIn(const std::string& folder)
{
    for (const std::string& file : RegularFilesIn(folder))
        if (!FormatsTaking(file).empty())
            return file;
    return {};
}

} // namespace packsmith
