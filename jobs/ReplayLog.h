#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Replays a result log (or, for a project list, each log it names): every image pack that
// a "#Source:" line names under the format "AT3" is rebuilt into the target directory from
// the image files listed after it. Nothing is added to the result list. What is passed over
// (a pack not there, one under no known "#Format:" line, a log that names no pack at all)
// is a warning saying why.
void ReplayLog(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
