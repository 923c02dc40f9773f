#include "platform/CommandLine.h"

#include <algorithm>

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

std::vector<std::string> PathsMatching(const std::string& pattern)
{
    // The folder part is taken as it is written ("C:" alone is the drive's current folder);
    // the "?" of "\\?\" belongs to it, never to the name.
    std::size_t nameStart = pattern.find_last_of("/\\");
    nameStart = nameStart != std::string::npos                  ? nameStart + 1
                : pattern.size() >= 2 && pattern[1] == ':'      ? 2
                                                                : 0;
    if (pattern.find_first_of("*?", nameStart) == std::string::npos)
        return {};
    const std::string folder = pattern.substr(0, nameStart);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(win32::SystemPath(pattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    std::vector<std::string> paths;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            paths.push_back(folder + win32::Utf8(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace packsmith
