#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace packsmith {

// What a handler may do to the window while it runs: the status line, the per-file bar,
// the job-list bar (only the replay sets it), letting pending window events through, the
// stop request, and telling the run which files it wrote. The window's logic implements it
// on top of the window operations; handlers never see the window itself.
class JobHost {
public:
    virtual ~JobHost() = default;

    virtual void SetStatus(const std::string& text) = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetTotalPosition(int position) = 0;
    virtual void SetTotalMax(int maximum) = 0;
    // Sets the per-file bar to percent and lets window events through, but only when the
    // bar would change, so a handler may call it for every entry at no cost.
    virtual void ShowFileProgress(int percent) = 0;
    virtual void ProcessMessages() = 0;
    virtual bool StopRequested() const = 0;
    // A file the job has written (completely), with its size in bytes and, where there is
    // more to say about it, a few words (such as how many entries a rebuilt pack replaced).
    virtual void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) = 0;
    void ReportOutput(const std::string& path, std::uint64_t bytes) { ReportOutput(path, bytes, {}); }
};

// Thrown by a handler that honours a stop request in the middle of its job. The run takes
// it as the end of the run, not as a failure.
class JobStopped : public std::exception {
public:
    const char* what() const noexcept override { return "Operation stopped."; }
};

// Leaves the job with JobStopped if a stop was requested. It lets no window events
// through itself: a click on Stop arrives with the next ProcessMessages.
void CheckStop(const JobHost& host);

} // namespace packsmith
