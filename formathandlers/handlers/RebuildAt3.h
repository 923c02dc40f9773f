#pragma once

#include <string>

#include "formathandlers/handlers/JobHost.h"
#include "formathandlers/handlers/RunContext.h"

namespace packsmith {

// Writes a new copy of the image pack open as run.SourcePackStream to newPackPath: the
// source's header and table region with every entry record updated, then the image records
// in entry order without gaps. Entry i takes replay-list line firstLine + i: when a file of
// that name exists, the picture read from it, stored as a raw image record; otherwise the
// source's record byte for byte. Returns firstLine + the number of entries.
//
// The new pack gets its name only when it is complete; a new path that names the source
// itself fails with "Cannot create file %s".
int RebuildAt3(const std::string& newPackPath, int firstLine, RunContext& run, JobHost& host);

} // namespace packsmith
