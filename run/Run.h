#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/FormatTable.h"
#include "jobs/JobHost.h"
#include "jobs/RunContext.h"
#include "run/JobSummary.h"
#include "run/RunHost.h"

namespace packsmith {

enum class RunOutcome {
    None,      // no run yet, or the job list was empty
    Cancelled, // the directory chooser was cancelled
    Completed,
    Stopped,
    Failed,
};

struct RunResult {
    RunOutcome Outcome = RunOutcome::None;
    std::string Error; // what failed, for a failed run, naming the file it is about
    int Warnings = 0;  // results lines about something passed over (a pack not found, ...)
    // Where a failed or stopped run ended: the job it was in ("" when it failed after its
    // jobs or stopped between two), and how many of its jobs were done.
    std::string Job;
    int JobsDone = 0;
    int Jobs = 0;
};

// One processing run, apart from any window: every job of the list in order, each through
// its format's handler, the results lines, the "Extracted" count, the bars, and at the end
// "result.log" in the target directory. It runs on whatever thread calls Execute, reports
// through its host and stops when the host asks it to. The window and packsmith-cli both
// run their jobs through it.
class Run final : private JobHost {
public:
    using Handler = std::function<void(const std::string& path, RunContext& run, JobHost& host)>;

    // targetDirectory: existing, absolute, without a trailing separator.
    Run(const Format& format, std::vector<std::string> jobs, std::string targetDirectory, RunHost& host);

    // The packed file whose rate, channels and leading bytes packed sound takes.
    void SetPackLike(std::string path) { context_.PackLike = std::move(path); }
    // How many threads a job may decode on: 0 (the default) for one per core.
    void SetThreads(unsigned threads) { context_.Threads = threads; }
    // How a rebuild stores replaced pictures: compressed where exact (the default), lossy or raw.
    void SetReplacementCoding(ReplacementCoding coding) { context_.Coding = coding; }
    // The entries of image packs to extract; all of them when empty.
    void SetSelection(EntrySelection selection) { context_.Selection = std::move(selection); }
    // Runs every job in place of the format's own handler (the tests' fakes).
    void ReplaceHandler(Handler handler) { handler_ = std::move(handler); }

    // Runs the jobs; never throws. A failure ends the run at once: the remaining jobs are
    // not run, and "result.log" lists what was written up to then.
    RunResult Execute();

    const RunContext& Context() const { return context_; }
    std::int64_t ExtractedBytes() const { return extractedBytes_; }

private:
    struct BarState {
        int Position = 0;
        int Maximum = 100;
    };

    void RunJob(const std::string& path, bool& completed);
    void SetBar(Bar bar, int position, int maximum);
    BarState& BarOf(Bar bar) { return bar == Bar::Progress ? progress_ : total_; }
    // The log lines of the job's outputs.
    void ListOutputs();
    void WriteResultLog();

    // JobHost, for the handlers.
    void SetStatus(const std::string& text) override;
    int ProgressPosition() const override { return progress_.Position; }
    void SetProgressPosition(int position) override;
    void SetProgressMax(int maximum) override;
    void SetTotalPosition(int position) override;
    void SetTotalMax(int maximum) override;
    void ShowFileProgress(int percent) override;
    void ShowBytesWritten(std::uint64_t bytes) override;
    const std::atomic<bool>& StopFlag() const override { return host_.StopFlag(); }
    void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override;
    void ReportRenamedOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override;
    void ReportWarning(const std::string& text) override;
    void ReportLeftOut() override;

    const Format& format_;
    std::vector<std::string> jobs_;
    RunHost& host_;
    Handler handler_;
    RunContext context_;
    BarState progress_;
    BarState total_;
    std::int64_t extractedBytes_ = 0;
    int warnings_ = 0;
    std::vector<JobOutput> outputs_; // of the job in progress
};

} // namespace packsmith
