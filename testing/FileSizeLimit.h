#pragma once

// Header-only and Linux's alone: Windows has no limit on the size of the files a process writes.

#include <csignal>
#include <sys/resource.h>

namespace packsmith::test {

// A limit on the size of the files this process (and what it starts) writes, for as long as
// the object lives: a write past it fails with EFBIG part way, as one on a full disk fails,
// instead of ending the process with SIGXFSZ. The earlier limit and handling return after.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        if (!active_)
            return;
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit holds; a test asserts it before it relies on it.
    bool Active() const { return active_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

} // namespace packsmith::test
