#pragma once

#include <stdexcept>
#include <string>

namespace packsmith {

// The one exception type that carries a message meant for the user. Everything below the
// application level throws it and nothing there catches it, except to say which file a
// failure is about (About).
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// The messages of the file and list operations, worded as the user sees them. A cause, where
// there is one, follows in brackets: the system's word for an error number (0: none), or a
// few words on where a file ended; for a path too long, which limit it is past.
[[noreturn]] void ThrowCannotOpen(const std::string& path, int error = 0);
[[noreturn]] void ThrowCannotCreate(const std::string& path, int error = 0);
// "Cannot create directory %s", with the cause.
[[noreturn]] void ThrowCannotCreateDirectory(const std::string& path, int error = 0);
[[noreturn]] void ThrowReadError(const std::string& cause = {});
[[noreturn]] void ThrowWriteError(int error = 0);
[[noreturn]] void ThrowOutOfMemory();
[[noreturn]] void ThrowListIndex(long long index);

// Not an error number of the system's: the name holds something other than a regular file.
inline constexpr int kNotRegularFile = -1;

// The system's words for an error number (or kNotRegularFile), in the form a message uses
// them.
std::string CauseOf(int error);
// A message said of a file: "path: message", unless the message names the file already.
std::string About(const std::string& path, const std::string& message);

} // namespace packsmith
