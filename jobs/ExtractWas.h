#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Extracts a packed music file (".was") into the ".wav" of the same name in the target
// directory: the stored wave header, then every chunk up to the end of the file decoded
// to its stated size.
void ExtractWas(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
