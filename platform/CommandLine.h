#pragma once

#include <string>
#include <vector>

namespace packsmith {

// The arguments the program was started with, after its own name, as UTF-8: argv's own
// bytes here; on Windows the command line as the system keeps it, in UTF-16, since argv
// there is in the ANSI code page, which cannot hold every name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The paths a pattern of "*" and "?" names, sorted, on a system whose shells leave such
// patterns to the program (Windows, whose programs match them in the last part of a path
// only, "." and ".." aside): nothing here, where the shell has matched them before the
// program starts and a "*" left over is part of a name; nothing either where the pattern
// has no wildcard or names no file.
std::vector<std::string> PathsMatching(const std::string& pattern);

} // namespace packsmith
