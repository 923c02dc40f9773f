#include "formathandlers/layout/ResultLog.h"

namespace packsmith {

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
