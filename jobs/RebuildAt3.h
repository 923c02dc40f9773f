#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Writes a new copy of the image pack open as run.SourcePackStream to newPackPath: the
// source's header and table region with every entry record updated, then the image records
// in entry order without gaps. Entry i takes replay-list line firstLine + i: when a file of
// that name exists and its picture differs from the entry's, a new record of that picture,
// stored as run.Coding says (compressed where exact, lossy or raw); otherwise the source's
// record byte for byte. The results line counts how the replaced pictures were stored.
// Returns firstLine + the number of entries.
//
// The new pack gets its name only when it is complete; a new path that names the source
// itself fails with "Cannot create file %s".
int RebuildAt3(const std::string& newPackPath, int firstLine, RunContext& run, JobHost& host);

} // namespace packsmith
