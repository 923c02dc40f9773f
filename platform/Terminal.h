#pragma once

namespace packsmith {

// Whether the process's standard error goes to a terminal (where a progress line may be
// redrawn in place), not to a file or a pipe.
bool StandardErrorIsTerminal();
// How many columns the terminal of standard error shows now (it may be resized at any time,
// so ask again before each redraw); 0 when standard error is no terminal or will not say.
int StandardErrorColumns();
// Whether the terminal of standard error acts on escape sequences ("\033[K") rather than
// showing them: terminals here always do; a Windows console only while its escape
// processing is on, which ConsoleSettings turns on where the console has it.
bool StandardErrorTakesEscapes();

// The console as the program needs it while it runs, and as it was once it ends. On
// Windows: output read as UTF-8 (the console takes its own code page otherwise) and escape
// sequences acted on for standard error where the console can; both set back when the
// object goes, and also when a second Ctrl+C or Ctrl+Break ends the process at once, since
// the console outlives the program. Nothing to do here.
class ConsoleSettings {
public:
    ConsoleSettings();
    ~ConsoleSettings();
    ConsoleSettings(const ConsoleSettings&) = delete;
    ConsoleSettings& operator=(const ConsoleSettings&) = delete;
};

// What the system tells of how the program came to run in its console, for the one start
// whose console closes with the program (files dropped on it in the file manager), where
// it waits for Enter so that what it said can be read.
struct ConsoleStart {
    // No other process (such as the shell the program was typed in) shares its console.
    bool AloneInConsole = false;
    // The program that started it is the desktop's file manager (Explorer).
    bool StartedByFileManager = false;
};
// Never alone and never started by a file manager here: a terminal belongs to its shell.
ConsoleStart HowConsoleStarted();

} // namespace packsmith
