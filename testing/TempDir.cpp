#include "testing/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace packsmith::test {

TempDir::TempDir()
{
    std::error_code ec;
    savedCwd_ = std::filesystem::current_path(ec).string();
    std::string pattern = (std::filesystem::temp_directory_path() / "packsmith-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!savedCwd_.empty())
        std::filesystem::current_path(savedCwd_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = *this / name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

} // namespace packsmith::test
