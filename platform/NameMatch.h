#pragma once

#include <string>

namespace packsmith {

// Whether name matches the shell pattern (*, ?, [...]), ASCII letters compared without
// regard to case and "\" taken as a plain character, as it is in names stored in packs.
bool NameMatches(const std::string& pattern, const std::string& name);

} // namespace packsmith
