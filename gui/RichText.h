#pragma once

#include <string>
#include <vector>

namespace packsmith {

// The results pane as a small RTF document, one paragraph per line. Lines are UTF-8; other
// characters than printable ASCII are written as RTF escapes, so the file is plain ASCII.
std::string ResultsAsRtf(const std::vector<std::string>& lines);
// The results pane as plain text: each line as the pane holds it, followed by CR LF.
std::string ResultsAsText(const std::vector<std::string>& lines);
// Writes the pane to path, replacing any file of the name, in the form its extension names:
// RTF for ".rtf" (in any case), plain text for any other name.
void SaveResults(const std::string& path, const std::vector<std::string>& lines);

} // namespace packsmith
