#include "run/Run.h"

#include <algorithm>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "jobs/ResultLog.h"
#include "platform/FileSystem.h"
#include "run/ResultLogFile.h"

namespace packsmith {

namespace {

// 1234567 as "1,234,567": a byte count of a whole run is long enough to need reading aids.
std::string GroupedDigits(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    std::string grouped;
    const std::size_t first = digits[0] == '-' ? 1 : 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > first && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

} // namespace

Run::Run(const Format& format, std::vector<std::string> jobs, std::string targetDirectory, RunHost& host)
    : format_(format), jobs_(std::move(jobs)), host_(host), handler_(format.Job)
{
    context_.TargetDirectory = std::move(targetDirectory);
    context_.RebuildFor = RebuildFor;
}

RunResult Run::Execute()
{
    bool stopped = false;
    std::string job; // the job in progress, which a failure is about
    std::string stoppedIn;
    const int count = static_cast<int>(jobs_.size());
    int done = 0;
    bool logTried = false;
    try {
        SetBar(Bar::Total, 0, 100);
        host_.SetExtractedText("Extracted: 0");
        for (const std::string& input : jobs_)
            context_.Files.AddRead(input);
        context_.Files.AddRead(context_.PackLike);
        for (int i = 0; i < count && !stopped; ++i) {
            bool completed = true;
            job = jobs_[static_cast<std::size_t>(i)];
            RunJob(job, completed);
            if (completed)
                ++done;
            else
                stoppedIn = job;
            job.clear();
            // The bar shows the jobs done, so it is full once the last one is.
            SetBar(Bar::Total, static_cast<int>(std::int64_t{i + 1} * 100 / count), total_.Maximum);
            stopped = !completed || host_.StopRequested();
        }
        host_.SetCurrentMessage("");
        host_.SetExtractedText("");
        SetBar(Bar::Progress, 0, progress_.Maximum);
        SetBar(Bar::Total, 0, total_.Maximum);

        // Packing and replaying write files that are not extracted from anything.
        if (extractedBytes_ != 0)
            host_.AddResultLine("Total " + std::to_string(extractedBytes_) + " bytes " +
                                (format_.Kind == JobKind::Extract ? "extracted." : "written."));
        if (format_.Kind == JobKind::Extract && !context_.ResultList.Empty()) {
            logTried = true;
            WriteResultLog();
        }
    } catch (...) {
        std::string error = About(job, MessageOf(std::current_exception()));
        // What the run wrote before the failure stays on disk, so its log is written as a
        // stopped run's is: the finished jobs, and what the failed one wrote.
        if (format_.Kind == JobKind::Extract && !context_.ResultList.Empty() && !logTried) {
            try {
                WriteResultLog();
            } catch (...) {
                error += "; " + MessageOf(std::current_exception());
            }
        }
        return {RunOutcome::Failed, error, warnings_, job, done, count};
    }
    return {stopped ? RunOutcome::Stopped : RunOutcome::Completed, {}, warnings_, stoppedIn, done, count};
}

void Run::RunJob(const std::string& path, bool& completed)
{
    const int linesBefore = context_.ResultList.Count();
    context_.ResultList.Add(FormatLine(format_.LogName));
    context_.ResultList.Add(SourceLine(path));
    outputs_.clear();
    try {
        if (handler_)
            handler_(path, context_, *this);
    } catch (const JobStopped&) {
        completed = false;
    } catch (const JobSkipped& skipped) {
        // Passed over before it wrote anything: its lines go, the warning says why.
        context_.ResultList.Truncate(linesBefore);
        ReportWarning(skipped.what());
        return;
    } catch (...) {
        // A failed job's files stay (the failure may be the pack's, not theirs), so the log
        // lists them as a finished job's, an empty line for each entry it could not write,
        // and can put back what is on disk. A job that wrote nothing leaves no lines.
        if (std::any_of(outputs_.begin(), outputs_.end(), [](const JobOutput& o) { return !o.LeftOut; }))
            ListOutputs();
        else
            context_.ResultList.Truncate(linesBefore);
        throw;
    }
    if (!completed) {
        // An interrupted job takes back its lines, so the log stays safe to replay, and
        // takes away the files that the log would have listed, so that the log and what is
        // on disk agree; the total counts only what stays.
        context_.ResultList.Truncate(linesBefore);
        if (format_.LogsOutputs)
            for (const JobOutput& output : outputs_)
                if (!output.LeftOut && RemoveFile(output.Path) == 0)
                    extractedBytes_ -= static_cast<std::int64_t>(output.Bytes);
    } else {
        ListOutputs();
    }
    for (const std::string& line : JobSummaryLines(path, outputs_, completed, !completed && format_.LogsOutputs))
        host_.AddResultLine(line);
}

void Run::ListOutputs()
{
    for (const JobOutput& output : outputs_)
        if (format_.LogsOutputs || output.Listed)
            context_.ResultList.Add(output.Path);
}

void Run::WriteResultLog()
{
    const WrittenLog written = packsmith::WriteResultLog(context_.TargetDirectory, context_.ResultList.Lines());
    const std::string usual = JoinPath(context_.TargetDirectory, kResultLogName);
    if (written.HeldOpen)
        ReportWarning(usual + " is held open by another program, which keeps it from being replaced. Everything "
                      "this run extracted is written, and its log was written as " + written.Path +
                      " instead: replay that one, or close the other program and rename it to " +
                      std::string(kResultLogName));
    else if (written.Path != usual)
        host_.AddResultLine("The log was written as " + written.Path + ": " + usual +
                            " lists other sources, and was kept");
}

void Run::SetBar(Bar bar, int position, int maximum)
{
    BarState& state = BarOf(bar);
    state.Maximum = std::max(0, maximum);
    state.Position = std::clamp(position, 0, state.Maximum);
    host_.ShowBar(bar, state.Position, state.Maximum);
}

void Run::SetStatus(const std::string& text) { host_.SetCurrentMessage(text); }

void Run::SetProgressPosition(int position) { SetBar(Bar::Progress, position, progress_.Maximum); }

void Run::SetProgressMax(int maximum) { SetBar(Bar::Progress, progress_.Position, maximum); }

void Run::SetTotalPosition(int position) { SetBar(Bar::Total, position, total_.Maximum); }

void Run::SetTotalMax(int maximum) { SetBar(Bar::Total, total_.Position, maximum); }

void Run::ShowFileProgress(int percent)
{
    // Compared after clamping, so a percentage the bar cannot show changes nothing.
    if (std::clamp(percent, 0, progress_.Maximum) != progress_.Position)
        SetProgressPosition(percent);
}

void Run::ShowBytesWritten(std::uint64_t bytes)
{
    host_.SetExtractedText("Extracted: " + GroupedDigits(extractedBytes_ + static_cast<std::int64_t>(bytes)));
}

void Run::ReportWarning(const std::string& text)
{
    ++warnings_;
    host_.AddWarning(text);
}

void Run::ReportLeftOut() { outputs_.push_back({{}, 0, {}, true}); }

void Run::ReportRenamedOutput(const std::string& path, std::uint64_t bytes, const std::string& detail)
{
    ReportOutput(path, bytes, detail);
    outputs_.back().Listed = true;
}

void Run::ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail)
{
    outputs_.push_back({path, bytes, detail});
    extractedBytes_ += static_cast<std::int64_t>(bytes);
    host_.SetExtractedText("Extracted: " + GroupedDigits(extractedBytes_));
}

} // namespace packsmith
