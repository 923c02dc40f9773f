#include "platform/Terminal.h"

#include <unistd.h>

namespace packsmith {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void UseUtf8Console() {}

bool ConsoleIsOwn() { return false; }

} // namespace packsmith
