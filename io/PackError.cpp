#include "io/PackError.h"

namespace packsmith {

void ThrowCannotOpen(const std::string& path) { throw PackError("Cannot open file " + path); }

void ThrowCannotCreate(const std::string& path) { throw PackError("Cannot create file " + path); }

void ThrowReadError() { throw PackError("Stream read error"); }

void ThrowWriteError() { throw PackError("Stream write error"); }

void ThrowOutOfMemory() { throw PackError("Out of memory while expanding memory stream"); }

void ThrowListIndex(long long index)
{
    throw PackError("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace packsmith
