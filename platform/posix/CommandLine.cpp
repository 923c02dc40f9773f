#include "platform/CommandLine.h"

namespace packsmith {

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::vector<std::string> PathsMatching(const std::string&) { return {}; }

} // namespace packsmith
