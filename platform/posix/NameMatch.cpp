#include "platform/NameMatch.h"

#include <fnmatch.h>

namespace packsmith {

bool NameMatches(const std::string& pattern, const std::string& name)
{
    return fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE | FNM_CASEFOLD) == 0;
}

} // namespace packsmith
