#include "FormatTables.h"

#include "PackError.h"
#include "PathUtils.h"

namespace packsmith {

FormatCode FilterFormatCode(int filterPosition)
{
    if (filterPosition < 1 || filterPosition > kFilterCount)
        ThrowListIndex(filterPosition);
    return kFilterFormatCodes[static_cast<std::size_t>(filterPosition - 1)];
}

std::string_view FormatName(FormatCode code)
{
    for (std::size_t i = 0; i < kFilterFormatCodes.size(); ++i)
        if (kFilterFormatCodes[i] == code)
            return kFormatNames[i];
    return {};
}

int FilterPositionForFile(std::string_view path)
{
    const std::string ext = UpperCaseAscii(ExtractFileExt(path));
    if (ext.empty())
        return 0;
    for (std::size_t i = 0; i < kOpenFilters.size(); ++i)
        if (UpperCaseAscii(kOpenFilters[i].Pattern.substr(1)) == ext)
            return static_cast<int>(i) + 1;
    return 0;
}

} // namespace packsmith
