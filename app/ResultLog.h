#pragma once

#include <string>
#include <string_view>

#include "FormatTables.h"

namespace packsmith {

// The keywords of "result.log". The first two are written, each followed by one blank;
// "#Target" is only recognised when a log is replayed.
inline constexpr std::string_view kFormatKeyword = "#Format:";
inline constexpr std::string_view kSourceKeyword = "#Source:";
inline constexpr std::string_view kTargetKeyword = "#Target";
inline constexpr std::string_view kResultLogName = "result.log";

std::string FormatLine(FormatCode code);
std::string SourceLine(std::string_view path);

} // namespace packsmith
