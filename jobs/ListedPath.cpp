#include "jobs/ListedPath.h"

#include <algorithm>
#include <optional>

#include "core/FilesystemPath.h"
#include "core/PathUtils.h"
#include "io/TextFile.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

constexpr std::string_view kBlanks = " \t";

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

std::string WithoutOuterBlanks(const std::string& text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Whether the path is one of the other system's absolute paths, which this one would take
// for a relative path.
bool IsOtherSystemsPath(const std::string& path) { return !IsAbsolutePath(path) && IsWindowsAbsolutePath(path); }

// Where an absolute path that names nothing here is found below the listing file's folder.
std::optional<std::string> Relocated(const std::string& absolute, const std::string& listDirectory)
{
    for (const int parts : {2, 1}) {
        const std::string tail = Tail(absolute, parts);
        if (tail.empty() || tail.find_first_not_of('/') == std::string::npos)
            continue;
        if (std::string moved = JoinPath(listDirectory, tail); PathExists(moved))
            return moved;
    }
    return std::nullopt;
}

// The path as written, resolved as the first three rules say.
std::string Resolved(const std::string& written, const std::string& listDirectory)
{
    const std::string listed = ProgramPath(written);
    if (listed.empty())
        return listed;
    if (!IsAbsolutePath(listed)) {
        std::string relative = PathText(NormalPath(FilesystemPath(listDirectory) / FilesystemPath(listed)));
        // A name of this system's own that merely looks like a drive keeps its meaning.
        if (!IsOtherSystemsPath(listed) || PathExists(relative))
            return relative;
        std::string slashed = listed;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        return Relocated(slashed, listDirectory).value_or(relative);
    }
    if (PathExists(listed))
        return listed;
    return Relocated(listed, listDirectory).value_or(listed);
}

} // namespace

std::string ResolveListedPath(const std::string& written, const std::string& listDirectory)
{
    const std::string trimmed = WithoutOuterBlanks(written);
    if (trimmed.empty())
        return {};
    std::string resolved = Resolved(written, listDirectory);
    if (trimmed.size() != written.size() && !PathExists(resolved))
        if (std::string meant = Resolved(trimmed, listDirectory); PathExists(meant))
            return meant;
    return resolved;
}

std::string ListedPathForm(const std::string& listed)
{
    std::string path = ProgramPath(WithoutOuterBlanks(listed));
    if (IsOtherSystemsPath(path))
        std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::vector<std::string> ReadJobList(const std::string& listPath)
{
    const std::string directory = DirectoryOf(listPath);
    std::vector<std::string> jobs;
    for (const auto& line : ReadTextFile(listPath))
        if (std::string job = ResolveListedPath(line, directory); !job.empty())
            jobs.push_back(std::move(job));
    return jobs;
}

} // namespace packsmith
