#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace packsmith {

// Text files of this tool (result logs, project lists) are single-byte text. Lines are
// written with CR LF after each one, the last included; reading splits at CR, LF or CR LF,
// counts a last line without an ending, and stops at the first zero byte. A file written
// replaces an earlier one of its name only once it is complete.
std::vector<std::string> SplitTextLines(std::string_view text);
std::vector<std::string> ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

} // namespace packsmith
