#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace packsmith {

// Text files of this tool (result logs, project lists) are single-byte text. Lines are
// written with CR LF after each one, the last included; reading splits at CR, LF or CR LF,
// counts a last line without an ending, and stops at the first zero byte. A file written
// replaces an earlier one of its name only once it is complete.
std::vector<std::string> SplitTextLines(std::string_view text);
// A file's bytes as the text the lines are split from: without a UTF-8 mark, and UTF-16
// (marked, either byte order, or unmarked and starting with two ASCII characters) turned
// into UTF-8; anything else as it stands.
std::string DecodeText(std::span<const std::uint8_t> bytes);
std::vector<std::string> ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::vector<std::string>& lines);
// Writes content as the whole file at path (an earlier one replaced only once the new one is
// complete); a failure names the file.
void WriteWholeFile(const std::string& path, std::string_view content);
// The same, under the first of name(0), name(1), ... in path's folder that nothing holds yet
// (OutputFile::CommitFree); returns the path it took.
std::string WriteTextFileFree(const std::string& path, const std::vector<std::string>& lines,
                              const std::function<std::string(unsigned long)>& name);

} // namespace packsmith
