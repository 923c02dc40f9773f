#pragma once

// Header-only, since the testing library does not link the command line's library: a test
// that includes this links cli itself.

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliApp.h"

namespace packsmith::test {

// What a run of the command-line program left: its exit status and both output streams.
struct CliResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Runs the command-line program in this process; handler, when given, runs every job in
// place of its format's handler.
inline CliResult Cli(const std::vector<std::string>& args, Run::Handler handler = {})
{
    std::ostringstream out, err;
    CliResult result;
    result.Status = RunCli(args, out, err, std::move(handler));
    result.Out = out.str();
    result.Err = err.str();
    return result;
}

} // namespace packsmith::test
