#pragma once

#include <string>
#include <string_view>

namespace packsmith {

// The keywords of "result.log". The first two are written, each followed by one blank;
// "#Target" is only recognised when a log is replayed.
inline constexpr std::string_view kFormatKeyword = "#Format:";
inline constexpr std::string_view kSourceKeyword = "#Source:";
inline constexpr std::string_view kTargetKeyword = "#Target";
inline constexpr std::string_view kResultLogName = "result.log";

// "#Format: " and the format's name in the log ("" for the logs, which leaves the blank).
std::string FormatLine(std::string_view formatName);
// "#Source: " and the job's path exactly as the job list holds it.
std::string SourceLine(std::string_view path);

} // namespace packsmith
