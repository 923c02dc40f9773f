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

// A token of a log line: a maximal run of characters other than blanks (blank, tab, CR, LF,
// vertical tab, form feed); Start is npos when the line holds none.
struct Token {
    std::size_t Start = std::string_view::npos;
    std::string_view Text;
};
Token FirstToken(std::string_view line);
// Whether token is the keyword, in any case of its ASCII letters: a log edited by hand may
// say "#source:", and means the keyword all the same.
bool IsKeyword(std::string_view token, std::string_view keyword);
// Whether token is one of the keywords.
bool IsKeyword(std::string_view token);
// Whether the line's first token is one of the keywords.
bool IsKeywordLine(std::string_view line);

// "#Format: " and the format's name in the log ("" for the logs, which leaves the blank).
std::string FormatLine(std::string_view formatName);
// "#Source: " and the job's path exactly as the job list holds it.
std::string SourceLine(std::string_view path);

} // namespace packsmith
