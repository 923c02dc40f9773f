#pragma once

#include <string>

namespace packsmith {

// Whether the two paths name one existing file, also through links or another spelling of
// the path. Writing an output over its own input would destroy the input.
bool SameFile(const std::string& a, const std::string& b);

} // namespace packsmith
