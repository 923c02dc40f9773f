#include "gui/MainFormLogic.h"

#include <algorithm>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "gui/DroppedFolders.h"
#include "gui/RichText.h"
#include "io/TextFile.h"
#include "jobs/ListedPath.h"
#include "run/TargetDirectory.h"

namespace packsmith {

namespace {

// The commands a run holds disabled, because they would change the job list or start
// another run.
constexpr Control kListCommands[] = {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess};


} // namespace

MainFormLogic::MainFormLogic(WindowOperations& window) : window_(window) {}

MainFormLogic::~MainFormLogic() { Shutdown(); }

void MainFormLogic::FormCreate()
{
    Enable(Control::BAddLog, true);
    Enable(Control::BSaveList, false);
    Enable(Control::BRemLog, false);
    Enable(Control::BClearAll, false);
    Enable(Control::BProcess, false);
    Enable(Control::BExit, true);
    Enable(Control::Stop, false);
    Enable(Control::SaveLog, false);
    Enable(Control::OpenTarget, false);
    window_.SetCurrentMessage("");
    window_.SetExtractedText("Extracted: 0");
    window_.ShowBar(Bar::Progress, 0, 100);
    window_.ShowBar(Bar::Total, 0, 100);
}

void MainFormLogic::Enable(Control control, bool on)
{
    enabled_[Index(control)] = on;
    window_.SetEnabled(control, on);
    // The coding is a setting of the run Process would start, and only replaying logs
    // rebuilds pictures: for a list of logs it follows Process (off for an empty list and
    // during a run), for any other list it stays off.
    if (control == Control::BProcess)
        Enable(Control::Coding, on && ListReplays());
}

bool MainFormLogic::ListReplays() const
{
    const Format* format = FormatByCode(jobFormat_);
    return format != nullptr && format->Kind == JobKind::Replay;
}

// The four buttons that follow whether the job list has entries.
void MainFormLogic::EnableListCommands(bool on)
{
    Enable(Control::BClearAll, on);
    Enable(Control::BRemLog, on);
    Enable(Control::BProcess, on);
    Enable(Control::BSaveList, on);
}

void MainFormLogic::BAddLogClick()
{
    if (Running())
        return;
    BeginAdd();
    AddJobs(window_.SelectLog());
}

void MainFormLogic::AddFiles(const std::vector<std::string>& files)
{
    if (Running() || files.empty())
        return;
    const Format* format = DroppedFormat(files);
    if (format == nullptr)
        return; // the user cancelled the question

    // The first file decides the format, as the chosen filter does in the open dialog.
    OpenDialogResult dropped{FilterPosition(*format), {}};
    std::vector<std::string> refused;
    for (const auto& file : files) {
        if (IsFolder(file)) {
            for (auto& inside : FilesOfFormatIn(file, *format))
                dropped.Files.push_back(std::move(inside));
        } else {
            (FormatTakes(*format, file) ? dropped.Files : refused).push_back(file);
        }
    }
    if (dropped.Files.empty() && refused.empty())
        throw PackError("Cannot add " + files.front() + ": it holds no " + std::string(format->Extension) + " files");
    BeginAdd();
    AddJobs(dropped);
    if (!refused.empty())
        throw PackError("Cannot add " + refused.front() + ": files added together must all be of one format");
}

// The format a drop adds in: its first file's, asked of the user when several formats take
// it; a folder first stands for the list's format, or its own first file's. Null when the
// user cancelled.
const Format* MainFormLogic::DroppedFormat(const std::vector<std::string>& files)
{
    const std::string& first = files.front();
    std::string file = first;
    if (IsFolder(first)) {
        if (const Format* listed = FormatByCode(jobFormat_))
            return listed;
        file = FirstAddableFileIn(first);
        if (file.empty())
            throw PackError("Cannot add " + first + ": it holds no " + ExtensionNames(", ", " or ") + " files");
    }
    const std::vector<const Format*> formats = FormatsTaking(file);
    if (formats.empty())
        throw PackError("Cannot add " + file + ": only " + ExtensionNames(", ", " and ") + " files can be added");
    if (formats.size() == 1)
        return formats.front();

    std::vector<std::string> choices;
    std::size_t preferred = 0;
    for (const Format* format : formats) {
        const Format& made = *FormatByCode(format->Packs);
        if (format->Code == jobFormat_)
            preferred = choices.size();
        choices.push_back("As " + std::string(FormatDescription(made)) + " (" + std::string(made.Extension) + ")");
    }
    const auto alike = std::count_if(files.begin(), files.end(), [&](const std::string& other) {
        return FormatsTaking(other) == formats;
    });
    const std::string which = alike > 1 ? "the " + std::to_string(alike) + " " +
                                              std::string(formats.front()->Extension) + " files"
                                        : ExtractFileName(file);
    const auto chosen = window_.ChooseOne("How should " + which + " be packed?", "Add files", choices, preferred);
    return chosen && *chosen < formats.size() ? formats[*chosen] : nullptr;
}

void MainFormLogic::BeginAdd()
{
    Enable(Control::BRemLog, false);
    Enable(Control::BProcess, false);
    Enable(Control::BSaveList, false);
}

void MainFormLogic::AddJobs(const std::optional<OpenDialogResult>& choice)
{
    if (choice) {
        const Format& format = FormatAtFilter(choice->FilterIndex);
        // A job list never mixes formats.
        if (format.Code != jobFormat_)
            window_.ClearItems();
        jobFormat_ = format.Code;
        if (format.ListsJobs) {
            if (!choice->Files.empty()) {
                // Read first, so that a list that cannot be read leaves the job list alone.
                const auto lines = ReadJobList(choice->Files.front());
                window_.ClearItems();
                for (const auto& line : lines)
                    window_.AddItem(line);
            }
        } else {
            // A file already on the list is not added again; the status line says so.
            std::vector<std::string> listed;
            for (int i = 0; i < window_.ItemCount(); ++i)
                listed.push_back(window_.Item(i));
            std::vector<std::string> again;
            for (const auto& file : choice->Files) {
                if (std::find(listed.begin(), listed.end(), file) != listed.end()) {
                    again.push_back(file);
                    continue;
                }
                window_.AddItem(file);
                listed.push_back(file);
            }
            window_.SetCurrentMessage(again.empty()       ? ""
                                      : again.size() == 1 ? again.front() + " is on the list already"
                                                          : std::to_string(again.size()) +
                                                                " of the files are on the list already");
        }
    }

    if (window_.ItemCount() > 0)
        EnableListCommands(true);
}

void MainFormLogic::BSaveListClick()
{
    if (const auto path = window_.SaveLST()) {
        std::vector<std::string> items;
        for (int i = 0; i < window_.ItemCount(); ++i)
            items.push_back(window_.Item(i));
        WriteTextFile(*path, items);
    }
}

void MainFormLogic::BRemLogClick()
{
    if (Running())
        return;
    for (int i = window_.ItemCount() - 1; i >= 0; --i)
        if (window_.IsItemSelected(i))
            window_.DeleteItem(i);

    if (const int count = window_.ItemCount(); count > 0) {
        window_.SetFocusedItem(count - 1);
    } else {
        EnableListCommands(false);
        window_.SetFocusedItem(-1);
    }
}

void MainFormLogic::BClearAllClick()
{
    if (Running())
        return;
    window_.ClearItems();
    EnableListCommands(false);
}

void MainFormLogic::BExitClick()
{
    if (CloseRequested())
        window_.CloseWindow();
}

bool MainFormLogic::CloseRequested()
{
    if (!Running())
        return true;
    StopClick();
    closePending_ = true;
    return false;
}

void MainFormLogic::StopClick()
{
    Enable(Control::Stop, false);
    if (run_)
        run_->RequestStop();
}

void MainFormLogic::OpenTargetClick()
{
    if (!IsEnabled(Control::OpenTarget))
        return;
    if (!window_.OpenFolder(lastTarget_))
        throw PackError("Cannot show the folder " + lastTarget_ + ": no file manager opened it");
}

void MainFormLogic::SaveLogClick()
{
    const auto path = window_.SaveRes();
    if (!path)
        return;
    SaveResults(*path, window_.ResultLines());
    window_.InformationBox(ExtractFileName(*path), "Operation status");
    saveWhenFilled_ = false;
    Enable(Control::SaveLog, false);
}

void MainFormLogic::ResultsChanged()
{
    // During a run the pane fills line by line, and Save results waits for the run's end.
    if (Running())
        return;
    const bool filled = window_.ResultLineCount() > 0;
    if (!filled && IsEnabled(Control::SaveLog)) {
        saveWhenFilled_ = true;
        Enable(Control::SaveLog, false);
    } else if (filled && saveWhenFilled_) {
        // The user deleted everything and got it back (an undo, a paste): saving is as
        // welcome as before. A pane already saved stays so until the next run.
        saveWhenFilled_ = false;
        Enable(Control::SaveLog, true);
    }
}

void MainFormLogic::HoldListCommands()
{
    for (const Control control : kListCommands) {
        held_[Index(control)] = IsEnabled(control);
        Enable(control, false);
    }
}

void MainFormLogic::ReleaseListCommands()
{
    for (const Control control : kListCommands)
        Enable(control, held_[Index(control)]);
}

void MainFormLogic::BProcessClick()
{
    if (Running() || window_.ItemCount() == 0)
        return;
    const Format* format = FormatByCode(jobFormat_);
    if (format == nullptr)
        return;

    HoldListCommands();
    window_.ClearResults();
    // The old results are gone for good, not merely deleted by the user.
    saveWhenFilled_ = false;
    lastRun_.reset();
    std::optional<std::string> chosen;
    std::string target;
    try {
        chosen = window_.SelectDirectory(CurrentDirectory());
        if (chosen)
            target = PrepareTargetDirectory(*chosen);
    } catch (...) {
        ReleaseListCommands();
        throw;
    }
    if (!chosen) {
        // Not an error: nothing runs, and the run still ends as a run does.
        ReleaseListCommands();
        lastOutcome_ = RunOutcome::Cancelled;
        window_.InformationBox("Operation complete!", "Process status:");
        return;
    }
    // The next run's chooser starts here.
    EnterDirectory(target);
    lastTarget_ = target;
    Enable(Control::OpenTarget, false);

    std::vector<std::string> jobs;
    for (int i = 0; i < window_.ItemCount(); ++i)
        jobs.push_back(window_.Item(i));
    window_.FocusResults();
    Enable(Control::SaveLog, false);
    Enable(Control::Stop, true);
    try {
        run_ = std::make_unique<BackgroundRun>(*format, std::move(jobs), std::move(target),
                                               [this] { window_.RunReported(); }, [this](Run& run) {
                                                   run.SetReplacementCoding(coding_);
                                                   if (handler_)
                                                       run.ReplaceHandler(handler_);
                                               });
    } catch (...) {
        // No thread to run on: the window stays as it was before the click.
        Enable(Control::Stop, false);
        ReleaseListCommands();
        throw;
    }
}

void MainFormLogic::ShowRunReports()
{
    // The closing box below runs an event loop of its own, which may deliver another call.
    if (!run_ || finishing_)
        return;
    Show(run_->TakeReports());
    if (run_->Finished())
        FinishRun();
}

void MainFormLogic::Show(RunReports::Pending reports)
{
    if (reports.CurrentMessage)
        window_.SetCurrentMessage(*reports.CurrentMessage);
    if (reports.ExtractedText)
        window_.SetExtractedText(*reports.ExtractedText);
    if (reports.Progress) {
        progressMaximum_ = reports.Progress->Maximum;
        window_.ShowBar(Bar::Progress, reports.Progress->Position, reports.Progress->Maximum);
    }
    if (reports.Total) {
        totalMaximum_ = reports.Total->Maximum;
        window_.ShowBar(Bar::Total, reports.Total->Position, reports.Total->Maximum);
    }
    for (const std::string& line : reports.ResultLines)
        window_.AddResultLine(line);
}

void MainFormLogic::FinishRun()
{
    finishing_ = true;
    const RunResult result = run_->Result();
    Show(run_->TakeReports());
    lastRun_ = std::move(run_);
    lastOutcome_ = result.Outcome;
    ReleaseListCommands();

    // The pane keeps what went wrong and where a run stopped, so that a saved copy does.
    if (result.Outcome == RunOutcome::Failed || result.Outcome == RunOutcome::Stopped)
        window_.AddResultLine(EndLine(result));
    Enable(Control::Stop, false);
    saveWhenFilled_ = false;
    Enable(Control::SaveLog, window_.ResultLineCount() > 0);
    if (result.Outcome == RunOutcome::Failed) {
        // A failed run left off in the middle of a job. While its box is up, the status
        // line, the label and the bars still show where; then the window is idle, as
        // after any other run.
        window_.ErrorBox(ErrorBoxText(result.Error));
        ShowIdle();
    } else if (!closePending_) {
        // Closing during a run stopped it: the window goes without a box to click away.
        window_.InformationBox(result.Outcome == RunOutcome::Stopped ? "Operation stopped." : "Operation complete!",
                               "Process status:");
    }
    // Whatever wrote files, finished or not, leaves a folder worth a look; the link to it
    // takes the count's place once the count has gone.
    Enable(Control::OpenTarget, lastRun_->TheRun().ExtractedBytes() > 0);
    finishing_ = false;
    if (closePending_) {
        closePending_ = false;
        window_.CloseWindow();
    }
}

// The results line that ends a failed run ("JOB: failed: MESSAGE") or a stopped one.
std::string MainFormLogic::EndLine(const RunResult& result)
{
    const std::string done = std::to_string(result.JobsDone) + " of " + std::to_string(result.Jobs) + " jobs";
    if (result.Outcome == RunOutcome::Stopped)
        return result.Job.empty() ? "Stopped after " + done + "."
                                  : "Stopped during " + result.Job + " (" + done + " done).";
    if (result.Job.empty())
        return "Failed: " + result.Error;
    // The message names the job already where it is not about another file.
    const std::string prefix = result.Job + ": ";
    const bool named = result.Error.compare(0, prefix.size(), prefix) == 0;
    return prefix + "failed: " + (named ? result.Error.substr(prefix.size()) : result.Error);
}

// What a run that ends normally reports last; the bars keep the maxima it gave them.
void MainFormLogic::ShowIdle()
{
    window_.SetCurrentMessage("");
    window_.SetExtractedText("");
    window_.ShowBar(Bar::Progress, 0, progressMaximum_);
    window_.ShowBar(Bar::Total, 0, totalMaximum_);
}

bool MainFormLogic::WaitForRun(std::chrono::milliseconds timeout) const
{
    return !run_ || run_->Wait(timeout);
}

void MainFormLogic::Shutdown()
{
    if (run_)
        run_->RequestStop();
    run_.reset();
}

void MainFormLogic::ShowError(const std::exception_ptr& error) { window_.ErrorBox(ErrorBoxText(MessageOf(error))); }

} // namespace packsmith
