#include "platform/Terminal.h"

#include "platform/windows/Win32.h"

namespace packsmith {

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

void UseUtf8Console() { SetConsoleOutputCP(CP_UTF8); }

// A console a shell started the program in lists the shell too.
bool ConsoleIsOwn()
{
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

} // namespace packsmith
