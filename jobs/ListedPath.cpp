#include "jobs/ListedPath.h"

#include "core/FilesystemPath.h"
#include "core/PathUtils.h"
#include "io/TextFile.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// The path from its n-th last "/" on, without that "/"; "" when it has fewer parts.
std::string Tail(const std::string& path, int parts)
{
    std::size_t at = path.size();
    for (int i = 0; i < parts; ++i) {
        if (at == 0)
            return {};
        at = path.rfind('/', at - 1);
        if (at == std::string::npos)
            return {};
    }
    return path.substr(at + 1);
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

std::string ResolveListedPath(const std::string& written, const std::string& listDirectory)
{
    const std::string listed = ProgramPath(written);
    if (listed.empty())
        return listed;
    if (!IsAbsolutePath(listed))
        return PathText(NormalPath(FilesystemPath(listDirectory) / FilesystemPath(listed)));
    if (PathExists(listed))
        return listed;
    for (const int parts : {2, 1}) {
        const std::string tail = Tail(listed, parts);
        if (tail.empty() || tail.find_first_not_of('/') == std::string::npos)
            continue;
        if (const std::string moved = JoinPath(listDirectory, tail); PathExists(moved))
            return moved;
    }
    return listed;
}

std::vector<std::string> ReadJobList(const std::string& listPath)
{
    const std::string directory = DirectoryOf(listPath);
    std::vector<std::string> jobs;
    for (const auto& line : ReadTextFile(listPath))
        if (line.find_first_not_of(" \t") != std::string::npos)
            jobs.push_back(ResolveListedPath(line, directory));
    return jobs;
}

} // namespace packsmith
