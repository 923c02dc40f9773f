#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "run/Run.h"

namespace packsmith {

// packsmith-cli as a function: the files become the job list, and one run takes them into
// the target directory, through the same run as the window's. Returns the exit status: 0
// when the run completed, 1 when a job failed, 2 for a usage error, 3 when the run completed
// with warnings (something was passed over; the results lines say what), 128 + the signal
// when a signal stopped it (130 for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP), 141 when the
// reader of out went away, which stops a run as a signal does (the status of SIGPIPE).
// handler, when given, runs every job in place of its format's handler (the tests' fakes).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Run::Handler handler = {});

} // namespace packsmith
