#include "run/TargetDirectory.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/PackError.h"

namespace packsmith {

namespace fs = std::filesystem;

std::string CurrentDirectory()
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string() : cwd.string();
}

std::string PrepareTargetDirectory(const std::string& chosen)
{
    std::error_code ec;
    fs::path directory = fs::absolute(fs::path(chosen), ec);
    if (ec || chosen.empty())
        throw PackError("Cannot create directory " + chosen);
    std::string text = directory.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();

    fs::create_directories(text, ec);
    std::error_code ignored;
    if (!fs::is_directory(text, ignored)) {
        if (fs::exists(text, ignored))
            ThrowCannotCreateDirectory(text, EEXIST); // a file of that name is in its place
        ThrowCannotCreateDirectory(text, ec ? ec.value() : ENOTDIR);
    }
    return text;
}

void EnterDirectory(const std::string& directory)
{
    std::error_code ec;
    fs::current_path(directory, ec);
}

} // namespace packsmith
