#include "cli/StopSignal.h"

#include <csignal>
#include <unistd.h>

namespace packsmith {

namespace {

volatile std::sig_atomic_t gRaised = 0;
struct sigaction gPrevious {};

extern "C" void OnInterrupt(int)
{
    if (gRaised)
        _exit(130);
    gRaised = 1;
}

} // namespace

StopSignal::StopSignal()
{
    gRaised = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &gPrevious);
}

StopSignal::~StopSignal()
{
    sigaction(SIGINT, &gPrevious, nullptr);
    gRaised = 0;
}

bool StopSignal::Raised() { return gRaised != 0; }

} // namespace packsmith
