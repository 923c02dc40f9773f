#include "platform/FileSystem.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace packsmith {

PathKind KindOf(const std::string& path, bool followLinks)
{
    struct stat info {};
    if (path.empty() || (followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0)
        return PathKind::Missing;
    return S_ISREG(info.st_mode)   ? PathKind::RegularFile
           : S_ISDIR(info.st_mode) ? PathKind::Directory
           : S_ISLNK(info.st_mode) ? PathKind::Link
                                   : PathKind::Other;
}

std::string SystemSpelling(const std::string& path) { return path; }

std::string StorableName(const std::string& name) { return name; }

std::string NameKey(const std::string& name) { return name; }

bool PathExists(const std::string& path)
{
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

int MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno; }

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int WhyCannotOpen(const std::string& path)
{
    struct stat info {};
    const bool there = ::stat(path.c_str(), &info) == 0;
    return there && !S_ISREG(info.st_mode) ? kNotRegularFile : there ? 0 : errno;
}

std::string ShownPaths(std::string text) { return text; }

bool FileIsHeldOpen(const std::string&) { return false; }

} // namespace packsmith
