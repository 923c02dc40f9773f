#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Extracts every picture of an image pack (".at3") as a TGA file into a sub-directory of
// the target directory named after the stored name's extension, and reports each file it
// writes, one per entry in entry order (the run lists them in the result log).
void ExtractAt3(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
