#pragma once

namespace packsmith {

// Whether the process's standard error goes to a terminal (where a progress line may be
// redrawn in place), not to a file or a pipe.
bool StandardErrorIsTerminal();
// How many columns the terminal of standard error shows now (it may be resized at any time,
// so ask again before each redraw); 0 when standard error is no terminal or will not say.
int StandardErrorColumns();
// Makes the UTF-8 the program writes show as such in a console: Windows's console reads
// output in its own code page otherwise. Nothing to do here.
void UseUtf8Console();
// Whether the program has a console window of its own, which closes when it ends: as when a
// file manager starts it for files dropped on it, rather than from a shell. Never here.
bool ConsoleIsOwn();

} // namespace packsmith
