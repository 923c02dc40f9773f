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
// when a stop request ended it (StopSignal::ExitStatus: 130 for Ctrl+C, ...), 141 when the
// reader of out went away, which stops a run as a signal does (the status of SIGPIPE).
// handler, when given, runs every job in place of its format's handler (the tests' fakes).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Run::Handler handler = {});
// The same for files dropped on the program (AreDroppedFiles): their outputs go into a
// folder beside the first (WithDropTarget), and files it cannot run get advice in words in
// place of a usage error, since no option can be typed where they were dropped.
int RunDroppedFiles(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

} // namespace packsmith
