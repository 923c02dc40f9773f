#include "platform/StopSignal.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <iterator>
#include <unistd.h>

namespace packsmith {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kStopSignalCount = std::size(kStopSignals);

// Lock-free, so a signal handler may touch them.
std::atomic<bool> gRaised{false};
std::atomic<int> gReceived{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

struct sigaction gPrevious[kStopSignalCount] {};
bool gInstalled[kStopSignalCount] = {};

extern "C" void OnStopSignal(int number)
{
    // The signal may come on any thread, and two may come at once: whichever takes the
    // number first asks for the stop, and every other one ends the process.
    int none = 0;
    if (!gReceived.compare_exchange_strong(none, number))
        _exit(128 + number);
    gRaised.store(true);
}

} // namespace

StopSignal::StopSignal()
{
    gReceived.store(0);
    gRaised.store(false);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], nullptr, &gPrevious[i]);
        gInstalled[i] = gPrevious[i].sa_handler != SIG_IGN;
        if (gInstalled[i])
            sigaction(kStopSignals[i], &action, nullptr);
    }
}

StopSignal::~StopSignal()
{
    for (std::size_t i = 0; i < kStopSignalCount; ++i)
        if (gInstalled[i])
            sigaction(kStopSignals[i], &gPrevious[i], nullptr);
    gRaised.store(false);
    gReceived.store(0);
}

void StopSignal::ReportClosedPipes() { std::signal(SIGPIPE, SIG_IGN); }

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
    return 128 + (number != 0 ? number : SIGINT);
}

const char* StopSignal::StatusesText() { return "130 for Ctrl+C (SIGINT), 143 for SIGTERM, 129 for SIGHUP"; }

} // namespace packsmith
