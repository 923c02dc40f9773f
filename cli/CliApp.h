#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Dispatcher.h"

namespace packsmith {

// packsmith-cli as a function: one add of the files and one run into the target directory,
// through the same logic as the window. Returns the exit status: 0 when the run completed,
// 1 when a job failed, 2 for a usage error, 130 when stopped. attachHandlers, when given,
// replaces the handlers that the tool attaches itself (the tests inject theirs through it).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const std::function<void(Dispatcher&)>& attachHandlers = {});

} // namespace packsmith
