#include "platform/CommandLine.h"

#include "platform/windows/Win32.h"

#include <shellapi.h> // after windows.h, which it needs

namespace packsmith {

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) // out of memory: the runtime's split, whatever it could keep
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(win32::Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

} // namespace packsmith
