#include "platform/Terminal.h"

#include <atomic>

#include "platform/windows/Console.h"
#include "platform/windows/Win32.h"

#include <tlhelp32.h> // after windows.h, which it needs

namespace packsmith {

namespace {

// What ConsoleSettings changed, to be set back; a console event may do so from a thread of
// its own, hence the flag taken once.
std::atomic<bool> gChanged{false};
UINT gCodePage = 0; // the output code page before, 0 where there was no console
HANDLE gErrorHandle = nullptr;
DWORD gErrorMode = 0;
bool gErrorModeChanged = false;

// The image name of the process that started this one (its parent); "" where the system
// no longer knows it.
std::wstring ParentImageName()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {};
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    bool parentFound = false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            parentFound = true;
            break;
        }
    std::wstring name;
    entry.dwSize = sizeof entry;
    for (BOOL more = parentFound && Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent) {
            name = entry.szExeFile;
            break;
        }
    CloseHandle(snapshot);
    return name;
}

} // namespace

// A console answers for its mode; a file or a pipe does not.
bool StandardErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The window's width, not the buffer's: a buffer wider than its window scrolls sideways,
// and what lies beyond the window is not seen.
int StandardErrorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0)
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool StandardErrorTakesEscapes()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0 &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

ConsoleSettings::ConsoleSettings()
{
    gCodePage = GetConsoleOutputCP();
    if (gCodePage != 0 && gCodePage != CP_UTF8)
        SetConsoleOutputCP(CP_UTF8);
    // Consoles before Windows 10 refuse the mode; the progress line then does without it.
    gErrorHandle = GetStdHandle(STD_ERROR_HANDLE);
    gErrorModeChanged = false;
    if (GetConsoleMode(gErrorHandle, &gErrorMode) && (gErrorMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0)
        gErrorModeChanged = SetConsoleMode(gErrorHandle, gErrorMode | ENABLE_PROCESSED_OUTPUT |
                                                             ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    gChanged.store(true);
}

ConsoleSettings::~ConsoleSettings() { win32::RestoreConsole(); }

void win32::RestoreConsole()
{
    if (!gChanged.exchange(false))
        return;
    if (gCodePage != 0 && gCodePage != CP_UTF8)
        SetConsoleOutputCP(gCodePage);
    if (gErrorModeChanged)
        SetConsoleMode(gErrorHandle, gErrorMode);
}

// A console a shell started the program in lists the shell too; one of its own is made
// for a program that has none, which Explorer's start for dropped files is, but so is a
// start by any program that hides its console, and a start under an emulator.
ConsoleStart HowConsoleStarted()
{
    ConsoleStart start;
    DWORD processes[2];
    start.AloneInConsole = GetConsoleProcessList(processes, 2) == 1;
    const std::wstring parent = ParentImageName();
    start.StartedByFileManager =
        !parent.empty() && CompareStringOrdinal(parent.c_str(), -1, L"explorer.exe", -1, TRUE) == CSTR_EQUAL;
    return start;
}

} // namespace packsmith
