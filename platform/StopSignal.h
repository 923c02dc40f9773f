#pragma once

#include <atomic>

namespace packsmith {

// The system's stop requests as the stop request of a run: Ctrl+C (SIGINT), SIGTERM and
// SIGHUP on Linux; Ctrl+C, Ctrl+Break and the console closing on Windows. The first of them
// is noted and the run stops as soon as its job looks; a second one, of any kind, ends the
// process at once with status 128 + its number. On Linux a signal that was ignored when the
// object came (as nohup leaves SIGHUP, and a shell without job control SIGINT for commands
// it starts in the background) stays ignored. The previous handling returns when the
// object goes.
//
// A reader that goes away (the end of "| head") can be a stop request too, rather than the
// end of the process: see ReportClosedPipes and RequestStop.
class StopSignal {
public:
    // The number a closed pipe stops with: SIGPIPE's on Linux, and the same on Windows,
    // which has no such signal, so that both end with the status a shell gives for it (141).
    static constexpr int kClosedPipe = 13;

    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Makes writing to a pipe whose reader has gone fail with EPIPE, for the rest of the
    // process, where on Linux SIGPIPE would end it at once: the program then stops its run
    // itself, leaving the log of what it finished (RequestStop with kClosedPipe).
    static void ReportClosedPipes();
    // Asks for the stop as the signal of that number would, from the program itself: the
    // first request, of any kind, is the one the status tells. Never ends the process.
    static void RequestStop(int number);

    static bool Raised();
    static const std::atomic<bool>& Flag();
    // The number of the signal that asked for the stop; 0 when none did.
    static int Received();
    // The status a stopped run ends with, as the shell reports a command its signal ended:
    // 128 + the number of the signal that stopped it (130 for Ctrl+C, 143 for SIGTERM, 129
    // for SIGHUP); a run stopped without one ends as Ctrl+C would.
    static int ExitStatus();
    // The stop requests of this system and the status each ends a run with, as the help
    // names them ("130 for Ctrl+C (SIGINT), ...").
    static const char* StatusesText();
};

} // namespace packsmith
