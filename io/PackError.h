#pragma once

#include <stdexcept>
#include <string>

namespace packsmith {

// The one exception type that carries a message meant for the user. Everything below the
// application level throws it and nothing there catches it.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// The messages of the file and list operations, worded exactly as the user sees them.
[[noreturn]] void ThrowCannotOpen(const std::string& path);
[[noreturn]] void ThrowCannotCreate(const std::string& path);
[[noreturn]] void ThrowReadError();
[[noreturn]] void ThrowWriteError();
[[noreturn]] void ThrowOutOfMemory();
[[noreturn]] void ThrowListIndex(long long index);

} // namespace packsmith
