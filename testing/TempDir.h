#pragma once

#include <string>
#include <vector>

namespace packsmith::test {

// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes. The process's current directory is restored too, since a run makes
// its target directory current.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string operator/(const std::string& name) const;
    // Writes bytes to Path()/name and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
    std::string savedCwd_;
};

std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

} // namespace packsmith::test
