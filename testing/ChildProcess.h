#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace packsmith::test {

// How a program the tests start runs.
struct ChildSetup {
    std::string Directory; // its working directory; "" for the test's own
    mode_t Umask = 022;
    // Its standard output and error go to these files, so neither is a terminal.
    std::string OutPath;
    std::string ErrPath;
};

// Starts program with args, standard input from /dev/null and the stop signals (SIGINT,
// SIGTERM, SIGHUP) at their default handling and unblocked, whatever the test itself was
// started with (ctest and shells may pass on ignored or blocked signals).
pid_t StartChild(const std::string& program, const std::vector<std::string>& args, const ChildSetup& setup);

} // namespace packsmith::test
