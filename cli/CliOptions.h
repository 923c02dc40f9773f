#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/FormatTable.h"
#include "jobs/RunContext.h"

namespace packsmith {

struct CliOptions {
    enum class Action { Run, List, Help, Version };
    Action What = Action::Run;
    const Format* JobFormat = nullptr; // from -f, or else from the first file's extension
    std::string TargetDirectory;
    std::vector<std::string> Files;
    bool Quiet = false;
    std::string PackLike; // --like: the packed file whose shape packed sound takes
    bool Json = false;    // --json: the listing as JSON
    unsigned Threads = 0; // -j: threads a job decodes on; 0 for one per core
    std::vector<std::string> Only; // --only: the entries of packs to extract or list
    // --compress: how a replay stores the pictures that replace an entry's
    ReplacementCoding Coding = ReplacementCoding::ExactOrRaw;
    bool CodingGiven = false;
};

// A command line that cannot be used; what() is the one-line reason.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);
// Whether the option (as "-o" or "--only", without a value joined to it) takes the next
// argument as its value.
bool OptionTakesValue(const std::string& option);
std::string CliUsage();

} // namespace packsmith
