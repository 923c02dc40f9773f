#include "testing/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/FilesystemPath.h"
#include "platform/RandomBits.h"

namespace packsmith::test {

TempDir::TempDir()
{
    std::error_code ec;
    savedCwd_ = PathText(std::filesystem::current_path(ec));
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    // A name nobody holds, taken by creating it (as mkdtemp does, on every system).
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "packsmith-test-%012llx",
                      static_cast<unsigned long long>(RandomBits() & 0xFFFFFFFFFFFFull));
        if (std::filesystem::create_directory(temporary / name, ec))
            path_ = PathText(temporary / name);
    }
    if (path_.empty())
        throw std::runtime_error("cannot make a temporary directory in " + PathText(temporary));
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!savedCwd_.empty())
        std::filesystem::current_path(FilesystemPath(savedCwd_), ec);
    std::filesystem::remove_all(FilesystemPath(path_), ec);
}

std::string TempDir::operator/(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = *this / name;
    std::filesystem::create_directories(FilesystemPath(path).parent_path());
    std::ofstream(FilesystemPath(path), std::ios::binary) << bytes;
    return path;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(FilesystemPath(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(FilesystemPath(path)); }

} // namespace packsmith::test
