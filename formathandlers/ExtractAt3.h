#pragma once

#include <string>

#include "JobHost.h"
#include "RunContext.h"

namespace packsmith {

// Extracts every picture of an image pack (".at3") as a TGA file into a sub-directory of
// the target directory named after the stored name's extension, and adds the path of each
// file to the result list, one line per entry in entry order.
void ExtractAt3(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
