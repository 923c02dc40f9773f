#include "core/PackError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/WideText.h"

namespace packsmith {

namespace {

std::string WithCause(std::string message, const std::string& cause)
{
    if (!cause.empty())
        message += " (" + cause + ")";
    return message;
}

// The system's limits on a path and on each name in it, in the units it counts them in.
#ifdef _WIN32
constexpr std::size_t kMostPathUnits = 32767; // UTF-16 units, with the form that lifts the old limit
constexpr std::size_t kMostNameUnits = 255;
constexpr const char* kUnits = "characters";
std::size_t Units(std::string_view text) { return WideText(text).size(); }
#else
constexpr std::size_t kMostPathUnits = 4095; // PATH_MAX less its terminating zero
constexpr std::size_t kMostNameUnits = 255;  // NAME_MAX
constexpr const char* kUnits = "bytes";
std::size_t Units(std::string_view text) { return text.size(); }
#endif

// 4,907 as 4,907: the figures of a limit are read more easily so.
std::string Grouped(std::size_t n)
{
    std::string digits = std::to_string(n);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// The cause of a failure on path. The system says only "File name too long", which leaves
// a user with a deep folder guessing; where the path or a name in it is past the system's
// limit, the cause says which and what the limit is.
std::string CauseAbout(int error, const std::string& path)
{
    const std::string cause = CauseOf(error);
    if (error != ENAMETOOLONG)
        return cause;
    if (const std::size_t length = Units(path); length > kMostPathUnits)
        return cause + ": the path has " + Grouped(length) + " " + kUnits + ", the system takes " +
               Grouped(kMostPathUnits) + " at most";
    std::size_t longest = 0;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find('/', start), path.size());
#ifdef _WIN32
        end = std::min(path.find('\\', start), end);
#endif
        longest = std::max(longest, Units(std::string_view(path).substr(start, end - start)));
        start = end + 1;
    }
    if (longest > kMostNameUnits)
        return cause + ": a name in the path has " + Grouped(longest) + " " + kUnits + ", the system takes " +
               Grouped(kMostNameUnits) + " at most";
    return cause;
}

} // namespace

std::string CauseOf(int error)
{
    switch (error) {
    case 0:
        return {};
    case kNotRegularFile:
        return "not a regular file";
    case EISDIR:
        return "it is a directory";
    case ENOTDIR:
        return "a part of the path is not a directory";
    default:
        return std::strerror(error);
    }
}

std::string About(const std::string& path, const std::string& message)
{
    if (path.empty() || message.find(path) != std::string::npos)
        return message;
    return path + ": " + message;
}

void ThrowCannotCreateDirectory(const std::string& path, int error)
{
    throw PackError(WithCause("Cannot create directory " + path, CauseAbout(error, path)));
}

void ThrowCannotOpen(const std::string& path, int error)
{
    throw PackError(WithCause("Cannot open file " + path, CauseAbout(error, path)));
}

void ThrowCannotCreate(const std::string& path, int error)
{
    throw PackError(WithCause("Cannot create file " + path, CauseAbout(error, path)));
}

void ThrowReadError(const std::string& cause) { throw PackError(WithCause("Stream read error", cause)); }

void ThrowWriteError(int error) { throw PackError(WithCause("Stream write error", CauseOf(error))); }

void ThrowOutOfMemory() { throw PackError("Out of memory while expanding memory stream"); }

void ThrowListIndex(long long index)
{
    throw PackError("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace packsmith
