#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "concurrency/StopToken.h"
#include "io/Progress.h"

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
    // The same for done of total (bytes read, entries written).
    void ShowFileProgressOf(std::uint64_t done, std::uint64_t total)
    {
        ShowFileProgress(total == 0 ? 0 : static_cast<int>(std::min(done, total) * 100 / total));
    }
    // ShowFileProgressOf, for work that reports its progress so.
    Progress FileProgress()
    {
        return [this](std::uint64_t done, std::uint64_t total) { ShowFileProgressOf(done, total); };
    }
    // The bytes of the file being written, so far: the "Extracted" count moves while a long
    // file is written, before the file is reported.
    virtual void ShowBytesWritten(std::uint64_t bytes) { static_cast<void>(bytes); }
    // The stop request: a flag that any thread may raise, and that the job's workers read.
    virtual const std::atomic<bool>& StopFlag() const = 0;
    bool StopRequested() const { return StopFlag().load(std::memory_order_relaxed); }
    StopToken Stop() const { return StopToken(StopFlag()); }
    // A file the job has written (completely), with its size in bytes and, where there is
    // more to say about it, a few words (such as how many entries a rebuilt pack replaced).
    // The run alone turns these into results lines and lines of the result log.
    virtual void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) = 0;
    void ReportOutput(const std::string& path, std::uint64_t bytes) { ReportOutput(path, bytes, {}); }
    // A file written under another name than the usual one, because a different file held
    // that name and was kept: as ReportOutput, and the result log names it under its source
    // even for a format whose outputs it does not list, so that a replay takes this file.
    virtual void ReportRenamedOutput(const std::string& path, std::uint64_t bytes, const std::string& detail)
    {
        ReportOutput(path, bytes, detail);
    }
    // An entry the extraction wrote no file for, in its place among the outputs: one the
    // selection left out, or one that could not be read or written before the job failed.
    // The result log gets an empty line for it, so that a replay keeps its record.
    virtual void ReportLeftOut() = 0;
    // Something the job passed over that the user should know of (a pack the log names but
    // that is not there): a results line of its own, and the run ends "with warnings".
    virtual void ReportWarning(const std::string& text) = 0;
};

// Leaves the job with JobStopped if a stop was requested. Handlers call it between blocks,
// chunks, entries and lines, so a stop takes effect within a fraction of a second.
void CheckStop(const JobHost& host);

} // namespace packsmith
