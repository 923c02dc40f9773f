#pragma once

#include <functional>
#include <string>
#include <vector>

namespace packsmith {

// The paths a pattern names: PathsMatching on this system, or a test's stand-in.
using PatternMatcher = std::function<std::vector<std::string>(const std::string&)>;

// The command line with each FILE that holds "*" or "?" replaced by the paths it names, as
// Windows programs take them, since its shells pass patterns on as typed. A FILE that names
// nothing stays as typed, so that the run says it was not found by that name, and so does
// every option's value (the pattern of --only is the program's own).
std::vector<std::string> WithWildcardsMatched(const std::vector<std::string>& args, const PatternMatcher& match);

} // namespace packsmith
