#include "ResultLog.h"

namespace packsmith {

std::string FormatLine(FormatCode code)
{
    std::string line(kFormatKeyword);
    line += ' ';
    line += FormatName(code);
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
