#pragma once

namespace packsmith::win32 {

// Sets the console back as ConsoleSettings found it (its output code page, the escape
// processing of standard error), once; for the paths that end the process without
// unwinding, such as a second Ctrl+C.
void RestoreConsole();

} // namespace packsmith::win32
