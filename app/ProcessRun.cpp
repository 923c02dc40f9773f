// The processing run: target directory, the jobs in list order, the result log.
#include <string>

#include "MainFormLogic.h"
#include "PathUtils.h"
#include "ResultLog.h"
#include "TargetDirectory.h"

namespace packsmith {

namespace {

constexpr Control kListCommands[] = {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess};

std::string BytesText(std::uint64_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

} // namespace

// The results pane's lines for one job: its input, what it wrote and how many bytes. Files
// that come with a detail (rebuilt packs) get a line each.
std::vector<std::string> MainFormLogic::JobSummaryLines(const std::string& path, const std::vector<JobOutput>& outputs,
                                                        bool completed)
{
    const std::string stopped = completed ? "" : ", stopped";
    if (outputs.empty())
        return {path + (completed ? ": nothing written" : ": stopped")};
    if (!outputs.front().Detail.empty()) {
        std::vector<std::string> lines;
        for (const auto& output : outputs)
            lines.push_back(path + " -> " + output.Path + " (" + output.Detail + ", " + BytesText(output.Bytes) + ")");
        lines.back() += stopped;
        return lines;
    }
    std::uint64_t bytes = 0;
    for (const auto& output : outputs)
        bytes += output.Bytes;
    const std::string what = outputs.size() == 1 ? outputs.front().Path : std::to_string(outputs.size()) + " files";
    return {path + " -> " + what + " (" + BytesText(bytes) + ")" + stopped};
}

// Marks a run in progress for its whole length, whichever way it ends: the commands that
// change the job list are refused and their buttons disabled, then restored afterwards.
class MainFormLogic::RunScope {
public:
    explicit RunScope(MainFormLogic& form) : form_(form)
    {
        form_.running_ = true;
        form_.stopRequested_ = false;
        form_.runStopped_ = false;
        for (std::size_t i = 0; i < std::size(kListCommands); ++i) {
            saved_[i] = form_.IsEnabled(kListCommands[i]);
            form_.Enable(kListCommands[i], false);
        }
    }
    ~RunScope()
    {
        for (std::size_t i = 0; i < std::size(kListCommands); ++i)
            form_.Enable(kListCommands[i], saved_[i]);
        form_.running_ = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    MainFormLogic& form_;
    bool saved_[std::size(kListCommands)] = {};
};

RunOutcome MainFormLogic::BProcessClick()
{
    if (running_ || window_.ItemCount() == 0)
        return RunOutcome::None;
    RunScope scope(*this);

    window_.ClearResults();
    run_.ResultList.Clear();
    extractedBytes_ = 0;
    run_.TargetDirectory = CurrentDirectory();

    const auto chosen = window_.SelectDirectory(run_.TargetDirectory);
    if (chosen) {
        run_.TargetDirectory = PrepareTargetDirectory(*chosen);
        EnterDirectory(run_.TargetDirectory);
        RunJobs();
    }
    FinishRun();
    lastOutcome_ = !chosen ? RunOutcome::Cancelled : runStopped_ ? RunOutcome::Stopped : RunOutcome::Completed;
    return lastOutcome_;
}

void MainFormLogic::RunJobs()
{
    SetBar(Bar::Total, 0, 100);
    window_.SetExtractedText("Extracted: 0");
    // The count is read anew before every job.
    for (int i = 0; i < window_.ItemCount(); ++i) {
        const std::string path = window_.Item(i);
        const int linesBefore = run_.ResultList.Count();
        run_.ResultList.Add(FormatLine(jobFormat_));
        run_.ResultList.Add(SourceLine(path));
        // An interrupted job takes back every line it added, so the log stays safe to replay.
        if (!DispatchJob(jobFormat_, path)) {
            run_.ResultList.Truncate(linesBefore);
            runStopped_ = true;
        }
        if (const int n = window_.ItemCount(); n > 0)
            SetBar(Bar::Total, static_cast<int>(static_cast<std::int64_t>(i) * 100 / n), total_.Maximum);
        window_.ProcessMessages();
        if (runStopped_ || stopRequested_) {
            runStopped_ = true;
            break;
        }
    }
    window_.SetCurrentMessage("");
    window_.SetExtractedText("");
    SetBar(Bar::Progress, 0, progress_.Maximum);
    SetBar(Bar::Total, 0, total_.Maximum);
}

void MainFormLogic::FinishRun()
{
    if (extractedBytes_ != 0)
        window_.AddResultLine("Total " + std::to_string(extractedBytes_) + " bytes extracted.");
    if (!run_.ResultList.Empty() && jobFormat_ != kFormatLog && jobFormat_ != kFormatProjectList)
        run_.ResultList.SaveToFile(JoinPath(run_.TargetDirectory, kResultLogName));
    window_.InformationBox(runStopped_ ? "Operation stopped." : "Operation complete!", "Process status:");
}

bool MainFormLogic::DispatchJob(FormatCode code, const std::string& path)
{
    window_.FocusResults();
    Enable(Control::SaveLog, false);
    Enable(Control::Stop, true);
    jobOutputs_.clear();

    bool completed = true;
    try {
        dispatcher_.Dispatch(code, path, run_, *this);
    } catch (const JobStopped&) {
        completed = false;
    }

    for (const auto& line : JobSummaryLines(path, jobOutputs_, completed))
        window_.AddResultLine(line);

    Enable(Control::Stop, false);
    if (window_.ResultLineCount() > 0)
        Enable(Control::SaveLog, true);
    return completed;
}

} // namespace packsmith
