#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace packsmith {

// What a handler may do while it runs: the status line, the per-file bar, the job-list bar
// (only the replay sets it), the stop request, and telling the run which files it wrote.
// The run implements it; handlers never see a window, and may run on any thread.
class JobHost {
public:
    virtual ~JobHost() = default;

    virtual void SetStatus(const std::string& text) = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetTotalPosition(int position) = 0;
    virtual void SetTotalMax(int maximum) = 0;
    // Sets the per-file bar to percent when that changes what it shows, so a handler may
    // call it for every entry at no cost.
    virtual void ShowFileProgress(int percent) = 0;
    virtual bool StopRequested() const = 0;
    // A file the job has written (completely), with its size in bytes and, where there is
    // more to say about it, a few words (such as how many entries a rebuilt pack replaced).
    // The run alone turns these into results lines and lines of the result log.
    virtual void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) = 0;
    void ReportOutput(const std::string& path, std::uint64_t bytes) { ReportOutput(path, bytes, {}); }
    // An entry the extraction's selection left out, in its place among the outputs: the
    // result log gets an empty line for it, so that a replay keeps its record.
    virtual void ReportLeftOut() = 0;
    // Something the job passed over that the user should know of (a pack the log names but
    // that is not there): a results line of its own, and the run ends "with warnings".
    virtual void ReportWarning(const std::string& text) = 0;
};

// Thrown by a handler that honours a stop request in the middle of its job. The run takes
// it as the end of the run, not as a failure.
class JobStopped : public std::exception {
public:
    const char* what() const noexcept override { return "Operation stopped."; }
};

// Leaves the job with JobStopped if a stop was requested. Handlers call it between blocks,
// chunks, entries and lines, so a stop takes effect within a fraction of a second.
void CheckStop(const JobHost& host);

} // namespace packsmith
