#pragma once

#include <cerrno>
#include <ostream>
#include <string>

namespace packsmith {

// Writing to standard output can fail: the disk of the file it goes to is full, or the
// reader of its pipe has gone away (EPIPE, as "| head" leaves it once it has its lines).

// Writes to out what write writes there, flushes it, and says why out did not take all of
// it: the system's error number (EIO when it gives none), 0 when it took it all. errno is
// cleared first, so the number is the one the writing met and not an older one.
template <class Write>
int WriteOutput(std::ostream& out, Write&& write)
{
    errno = 0;
    write();
    out.flush();
    return out ? 0 : errno != 0 ? errno : EIO;
}

// What a failure of standard output is reported as: "Cannot write to standard output" and
// the cause.
std::string OutputErrorText(int error);

} // namespace packsmith
