#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packsmith {

// A file a job reported writing.
struct JobOutput {
    std::string Path;
    std::uint64_t Bytes = 0;
    std::string Detail;
    bool LeftOut = false; // an entry the selection left out: no file, an empty log line
    bool Listed = false;  // the log lists it under its source, whether or not the format lists outputs
};

// The results pane's lines for one job: its input, what it wrote and how many bytes.
// Files that come with a detail (rebuilt packs) get a line each; completed is false for a
// job that a stop interrupted, removed true when the files it wrote were taken away then
// (they are counted as removed, not as written).
std::vector<std::string> JobSummaryLines(const std::string& path, const std::vector<JobOutput>& outputs,
                                         bool completed, bool removed = false);

} // namespace packsmith
