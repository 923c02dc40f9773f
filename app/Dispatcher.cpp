#include "Dispatcher.h"

namespace packsmith {

void Dispatcher::Attach(FormatCode code, JobHandler handler) { handlers_[code] = std::move(handler); }

void Dispatcher::Dispatch(FormatCode code, const std::string& path, RunContext& run, JobHost& host) const
{
    if (const auto& handler = handlers_[code])
        handler(path, run, host);
}

} // namespace packsmith
