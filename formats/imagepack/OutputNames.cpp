#include "formats/imagepack/OutputNames.h"


#include "core/PathUtils.h"
#include "core/TextControls.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == ':' || c == '/'; }

// A name part fit for a file name: every control character (also the C1 and the
// bidirectional ones, which would drive a terminal listing the files or pose as other
// names) becomes replacement.
std::string Sanitised(std::string_view text, char replacement)
{
    return ReplaceControls(text, [replacement](char32_t) { return std::string(1, replacement); });
}

} // namespace

std::string TypeDirectoryName(std::string_view storedName)
{
    const auto dot = storedName.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    const std::string_view extension = storedName.substr(dot + 1);
    for (const char c : extension)
        if (IsSeparator(c))
            return {};
    return StorableName(Sanitised(UpperCaseAscii(extension), '_'));
}

std::string FileNamePart(std::string_view storedName)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < storedName.size(); ++i)
        if (IsSeparator(storedName[i]))
            start = i + 1;
    const std::string_view part = storedName.substr(start);
    // A part of nothing but dots, or none at all ("", ".", "GFX\\"), would make a hidden
    // file (".tga", "..tga") that a user never sees; every other name stays as it always
    // was, since logs already written list those.
    if (part.find_first_not_of('.') == std::string_view::npos)
        return "_";
    return Sanitised(part, '_');
}

std::string BaseName(std::string_view fileNamePart)
{
    const auto dot = fileNamePart.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(fileNamePart.substr(0, dot));
}

std::string FirstCandidate(std::string_view fileNamePart) { return StorableName(std::string(fileNamePart) + ".tga"); }

std::string Alternative(std::string_view baseName, unsigned long counter)
{
    return StorableName(NumberedName(baseName, counter, ".tga"));
}

std::string CandidateName(std::string_view fileNamePart, unsigned long n)
{
    return n == 0 ? FirstCandidate(fileNamePart) : Alternative(BaseName(fileNamePart), n - 1);
}

std::string PrintableName(std::string_view storedName)
{
    std::string result(storedName);
    for (char& c : result)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return result;
}

} // namespace packsmith
