#include "core/PackError.h"

#include <cerrno>
#include <cstring>

namespace packsmith {

namespace {

std::string WithCause(std::string message, const std::string& cause)
{
    if (!cause.empty())
        message += " (" + cause + ")";
    return message;
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
    throw PackError(WithCause("Cannot create directory " + path, CauseOf(error)));
}

void ThrowCannotOpen(const std::string& path, int error)
{
    throw PackError(WithCause("Cannot open file " + path, CauseOf(error)));
}

void ThrowCannotCreate(const std::string& path, int error)
{
    throw PackError(WithCause("Cannot create file " + path, CauseOf(error)));
}

void ThrowReadError(const std::string& cause) { throw PackError(WithCause("Stream read error", cause)); }

void ThrowWriteError(int error) { throw PackError(WithCause("Stream write error", CauseOf(error))); }

void ThrowOutOfMemory() { throw PackError("Out of memory while expanding memory stream"); }

void ThrowListIndex(long long index)
{
    throw PackError("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace packsmith
