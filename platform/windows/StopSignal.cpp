#include "platform/StopSignal.h"

#include <atomic>

#include "platform/windows/Console.h"
#include "platform/windows/Win32.h"

namespace packsmith {

namespace {

// The numbers a stop reports, as the shell's would be: Ctrl+C as SIGINT, Ctrl+Break as
// SIGBREAK, the console window closing (or the session ending) as SIGHUP.
constexpr int kInterrupt = 2;
constexpr int kBreak = 21;
constexpr int kHangUp = 1;

std::atomic<bool> gRaised{false};
std::atomic<int> gReceived{0};
// Set when the stop has been honoured (the object goes as the run is over), so that a
// closing console waits for that and no longer.
HANDLE gStopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    int number = 0;
    switch (event) {
    case CTRL_C_EVENT:
        number = kInterrupt;
        break;
    case CTRL_BREAK_EVENT:
        number = kBreak;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        number = kHangUp;
        break;
    default:
        return FALSE;
    }
    // The first asks for the stop; a second one ends the process at once.
    int none = 0;
    if (!gReceived.compare_exchange_strong(none, number)) {
        // No destructor runs on this way out, and the console stays with its shell.
        win32::RestoreConsole();
        ExitProcess(static_cast<UINT>(128 + number));
    }
    gRaised.store(true);
    // A closing console ends the process once this returns: the run has until then to
    // stop and leave its outputs whole, within the five seconds Windows allows.
    if (number == kHangUp && gStopped != nullptr)
        WaitForSingleObject(gStopped, 4500);
    return TRUE;
}

} // namespace

StopSignal::StopSignal()
{
    gReceived.store(0);
    gRaised.store(false);
    if (gStopped == nullptr)
        gStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ResetEvent(gStopped);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignal::~StopSignal()
{
    if (gStopped != nullptr)
        SetEvent(gStopped);
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gRaised.store(false);
    gReceived.store(0);
}

// Writing to a closed pipe fails here with EPIPE anyway: there is no signal to ignore.
void StopSignal::ReportClosedPipes() {}

void StopSignal::RequestStop(int number)
{
    int none = 0;
    gReceived.compare_exchange_strong(none, number);
    gRaised.store(true);
}

bool StopSignal::Raised() { return gRaised.load(std::memory_order_relaxed); }

const std::atomic<bool>& StopSignal::Flag() { return gRaised; }

int StopSignal::Received() { return gReceived.load(); }

int StopSignal::ExitStatus()
{
    const int number = Received();
    return 128 + (number != 0 ? number : kInterrupt);
}

const char* StopSignal::StatusesText()
{
    return "130 for Ctrl+C, 149 for Ctrl+Break, 129 when the console window is closed";
}

} // namespace packsmith
