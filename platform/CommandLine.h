#pragma once

#include <string>
#include <vector>

namespace packsmith {

// The arguments the program was started with, after its own name, as UTF-8: argv's own
// bytes here; on Windows the command line as the system keeps it, in UTF-16, since argv
// there is in the ANSI code page, which cannot hold every name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

} // namespace packsmith
