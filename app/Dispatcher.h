#pragma once

#include <array>
#include <functional>
#include <string>

#include "FormatTables.h"
#include "JobHost.h"
#include "RunContext.h"

namespace packsmith {

// A format handler: runs one job on the path of its input.
using JobHandler = std::function<void(const std::string& path, RunContext& run, JobHost& host)>;

// Maps each format code to its handler. A code without a handler runs nothing.
class Dispatcher {
public:
    void Attach(FormatCode code, JobHandler handler);
    void Dispatch(FormatCode code, const std::string& path, RunContext& run, JobHost& host) const;

private:
    std::array<JobHandler, 256> handlers_;
};

} // namespace packsmith
