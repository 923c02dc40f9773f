#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace packsmith {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int StandardErrorColumns()
{
    winsize size {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool StandardErrorTakesEscapes() { return true; }

ConsoleSettings::ConsoleSettings() = default;

ConsoleSettings::~ConsoleSettings() = default;

ConsoleStart HowConsoleStarted() { return {}; }

} // namespace packsmith
