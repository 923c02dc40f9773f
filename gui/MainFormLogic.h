#pragma once

#include <array>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/WindowOperations.h"
#include "jobs/FormatTable.h"
#include "run/BackgroundRun.h"
#include "run/Run.h"

namespace packsmith {

// The logic of the main window: the job list and its commands, the enabling rules, and
// starting, stopping and finishing a run, which works on a thread of its own. It talks to
// the window only through WindowOperations, always on the window thread.
class MainFormLogic final {
public:
    explicit MainFormLogic(WindowOperations& window);
    ~MainFormLogic();
    MainFormLogic(const MainFormLogic&) = delete;
    MainFormLogic& operator=(const MainFormLogic&) = delete;

    // Puts the controls into their start-up state; called once the window's controls exist.
    void FormCreate();

    // The commands, one per control. A command that changes the job list, and a second run,
    // are refused while a run is in progress.
    void BAddLogClick();
    // Files dropped on the job list or named on the command line: added as the add command
    // adds them, the format taken from the first file's extension (the user is asked when
    // several formats take it, as they do ".wav"). Files of another format are refused with a
    // message. A folder stands for its files of the list's format (of its own first file's on
    // a list without one), as the open dialog would have offered them.
    void AddFiles(const std::vector<std::string>& files);
    void BSaveListClick();
    void BRemLogClick();
    void BClearAllClick();
    // Asks for the target directory and starts the run on its thread; returns at once.
    void BProcessClick();
    void BExitClick();
    void StopClick();
    // Shows the last run's target folder in the desktop's file manager; the command is on
    // after a run that wrote files.
    void OpenTargetClick();
    // Saves the results pane in the form the chosen name's extension asks for.
    void SaveLogClick();
    // The results pane's text changed, by the user's hand or the window's: an empty pane
    // has nothing to save.
    void ResultsChanged();
    // The user chose how a rebuild stores the pictures it replaces; runs started from now on
    // store them so. A run already working keeps the coding it started with.
    void SetReplacementCoding(ReplacementCoding coding) { coding_ = coding; }

    // The window's close box: true when the window may close now. During a run it stops
    // the run and answers false; the window is closed once the run has ended.
    bool CloseRequested();

    // Shows what the run has reported since the last call and, once the run has ended,
    // finishes it: the closing box, the controls, a close that waited for it. The window
    // calls it on its own thread when RunReported asks for it.
    void ShowRunReports();
    // Waits until the run has ended, at most timeout; true when no run is working.
    bool WaitForRun(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Stops a run that is still working and waits for it, without finishing it on the
    // window; for a window that is going away.
    void Shutdown();

    // The application level: runs a command and shows whatever escapes it in the error box.
    // False when an error was shown.
    template <class Command>
    bool Execute(Command&& command)
    {
        try {
            command();
            return true;
        } catch (...) {
            ShowError(std::current_exception());
            return false;
        }
    }

    // Runs every job of later runs in place of its format's handler (the tests' fakes).
    void ReplaceHandler(Run::Handler handler) { handler_ = std::move(handler); }

    FormatCode JobFormat() const { return jobFormat_; }
    ReplacementCoding Coding() const { return coding_; }
    bool IsEnabled(Control control) const { return enabled_[Index(control)]; }
    bool Running() const { return run_ != nullptr; }
    RunOutcome LastRunOutcome() const { return lastOutcome_; }
    // The last run that ended, or null.
    const Run* LastRun() const { return lastRun_ ? &lastRun_->TheRun() : nullptr; }

private:
    static std::size_t Index(Control control) { return static_cast<std::size_t>(control); }
    void Enable(Control control, bool on);
    void EnableListCommands(bool on);
    bool ListReplays() const;
    const Format* DroppedFormat(const std::vector<std::string>& files);
    void BeginAdd();
    void AddJobs(const std::optional<OpenDialogResult>& choice);
    void HoldListCommands();
    void ReleaseListCommands();
    void Show(RunReports::Pending reports);
    void FinishRun();
    void ShowIdle();
    static std::string EndLine(const RunResult& result);
    void ShowError(const std::exception_ptr& error);

    WindowOperations& window_;
    FormatCode jobFormat_ = kFormatNone;
    ReplacementCoding coding_ = ReplacementCoding::ExactOrRaw;
    std::array<bool, kControlCount> enabled_{};
    std::array<bool, kControlCount> held_{}; // list commands' states before the run
    int progressMaximum_ = 100;              // the bars' maxima as the run last set them
    int totalMaximum_ = 100;
    bool saveWhenFilled_ = false;            // SaveLog went off only because the pane emptied
    std::unique_ptr<BackgroundRun> run_;     // the run that works now
    std::unique_ptr<BackgroundRun> lastRun_; // the run that ended last
    std::string lastTarget_;                 // the target directory of the last run started
    Run::Handler handler_;
    bool finishing_ = false;
    bool closePending_ = false;
    RunOutcome lastOutcome_ = RunOutcome::None;
};

} // namespace packsmith
