#include "run/TargetDirectory.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/FilesystemPath.h"
#include "core/PackError.h"

namespace packsmith {

namespace fs = std::filesystem;

std::string CurrentDirectory()
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string() : PathText(cwd);
}

std::string PrepareTargetDirectory(const std::string& chosen)
{
    std::error_code ec;
    std::string text = AbsolutePath(chosen, ec);
    if (ec || chosen.empty())
        throw PackError("Cannot create directory " + chosen);
    // result.log names what it lists by full path, a line each: a path that holds a line
    // break would be read back as two lines, neither of them the file.
    if (text.find_first_of("\r\n") != std::string::npos)
        throw PackError("Cannot create directory " + text + " (its path holds a line break, which a result log cannot hold)");
    // No "/" at the end, but the root keeps its own ("/", or "C:/" on Windows).
    const std::size_t root = std::max<std::size_t>(PathText(FilesystemPath(text).root_path()).size(), 1);
    while (text.size() > root && text.back() == '/')
        text.pop_back();

    const fs::path made = FilesystemPath(text);
    CreateDirectories(text, ec);
    std::error_code ignored;
    if (!fs::is_directory(made, ignored)) {
        if (fs::exists(made, ignored))
            ThrowCannotCreateDirectory(text, EEXIST); // a file of that name is in its place
        if (fs::is_symlink(made, ignored))
            throw PackError("Cannot create directory " + text + " (a link to " + PathText(fs::read_symlink(made, ignored)) +
                            ", which is not there, is in its place)");
        ThrowCannotCreateDirectory(text, ec ? ec.value() : ENOTDIR);
    }
    return text;
}

void EnterDirectory(const std::string& directory)
{
    std::error_code ec;
    fs::current_path(FilesystemPath(directory), ec);
}

} // namespace packsmith
