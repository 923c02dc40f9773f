#include "jobs/ResultLog.h"

#include <algorithm>

namespace packsmith {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

} // namespace

Token FirstToken(std::string_view line)
{
    const auto start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos)
        return {};
    const auto end = line.find_first_of(kBlanks, start);
    return {start, line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)};
}

bool IsKeyword(std::string_view token, std::string_view keyword)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return std::equal(token.begin(), token.end(), keyword.begin(), keyword.end(),
                      [&](char a, char b) { return upper(a) == upper(b); });
}

bool IsKeyword(std::string_view token)
{
    return IsKeyword(token, kFormatKeyword) || IsKeyword(token, kSourceKeyword) || IsKeyword(token, kTargetKeyword);
}

bool IsKeywordLine(std::string_view line) { return IsKeyword(FirstToken(line).Text); }

std::string FormatLine(std::string_view formatName)
{
    std::string line(kFormatKeyword);
    line += ' ';
    line += formatName;
    return line;
}

std::string SourceLine(std::string_view path)
{
    std::string line(kSourceKeyword);
    line += ' ';
    line += path;
    return line;
}

} // namespace packsmith
