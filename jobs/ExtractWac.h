#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Extracts a packed wave file (".wac") into the ".wav" of the same name in the target
// directory: the stored wave header, then every counted block decoded to 256 samples.
void ExtractWac(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
