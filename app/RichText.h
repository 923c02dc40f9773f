#pragma once

#include <string>
#include <vector>

namespace packsmith {

// The results pane as a small RTF document, one paragraph per line. Lines are UTF-8; other
// characters than printable ASCII are written as RTF escapes, so the file is plain ASCII.
std::string ResultsAsRtf(const std::vector<std::string>& lines);
// Writes ResultsAsRtf(lines) to path, replacing any file of the name.
void SaveResultsAsRtf(const std::string& path, const std::vector<std::string>& lines);

} // namespace packsmith
