#pragma once

#include <string>

#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// Putting sound back. Replaying the log of a sound extraction: the edited sound is the
// extraction's own ".wav" beside the log, named after the source. When that holds exactly
// the samples the source decodes to, or is not there, the new file is a copy of the source;
// otherwise a new packed file of the source's format, with the source's rate and channels
// (the sound converted to them) and the source's leading bytes that the decoders do not
// read. Written whole or not at all, never over its source. Returns firstLine: the sound
// jobs of a log have no lines of their own.
int RebuildWac(const std::string& newPath, int firstLine, RunContext& run, JobHost& host);
int RebuildWas(const std::string& newPath, int firstLine, RunContext& run, JobHost& host);

// Packing a sound file of any kind the sound reader takes into the packed file of the
// same name in the target directory: rate, channels and leading bytes from the packed file
// run.PackLike names, or else the input's own (up to two channels) and zero bytes.
void PackWac(const std::string& path, RunContext& run, JobHost& host);
void PackWas(const std::string& path, RunContext& run, JobHost& host);

} // namespace packsmith
