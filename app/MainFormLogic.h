#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "Dispatcher.h"
#include "FormatTables.h"
#include "JobHost.h"
#include "RunContext.h"
#include "WindowOperations.h"

namespace packsmith {

enum class RunOutcome {
    None,      // no run yet, or the job list was empty
    Cancelled, // the directory chooser was cancelled
    Completed,
    Stopped,
};

// The logic of the main window: the job list and its commands, the enabling rules, the
// processing run and the dispatcher. It owns the run context that the handlers share and
// talks to the window only through WindowOperations; to the handlers it is their JobHost.
class MainFormLogic final : private JobHost {
public:
    explicit MainFormLogic(WindowOperations& window);

    // Binds the format handlers and puts the controls into their start-up state; called once
    // the window's controls exist.
    void FormCreate();

    // The commands, one per control. A command that changes the job list, and a second run,
    // are refused while a run is in progress.
    void BAddLogClick();
    // Files dropped on the job list: added as the add command adds them, the format taken
    // from the first file's extension. Files of another format are refused with a message.
    void DropFiles(const std::vector<std::string>& files);
    void BSaveListClick();
    void BRemLogClick();
    void BClearAllClick();
    RunOutcome BProcessClick();
    void BExitClick();
    void StopClick();
    void SaveLogClick();

    // The window's close box: true when the window may close now. During a run it requests
    // a stop and answers false; the window is closed once the run has ended.
    bool CloseRequested();

    // The application level: runs a command, shows whatever escapes it in the error box,
    // then carries out a close that waited for the run. False when an error was shown.
    template <class Command>
    bool Execute(Command&& command)
    {
        bool ok = true;
        try {
            command();
        } catch (...) {
            ShowError(std::current_exception());
            ok = false;
        }
        FinishCommand();
        return ok;
    }

    // Runs one job: the handler for the code, with the Stop and SaveLog enabling around it,
    // and the job's line in the results pane. False when the job was stopped.
    bool DispatchJob(FormatCode code, const std::string& path);

    FormatCode JobFormat() const { return jobFormat_; }
    bool IsEnabled(Control control) const { return enabled_[Index(control)]; }
    bool Running() const { return running_; }
    RunOutcome LastRunOutcome() const { return lastOutcome_; }
    std::int64_t ExtractedBytes() const { return extractedBytes_; }
    RunContext& Run() { return run_; }
    Dispatcher& Handlers() { return dispatcher_; }

private:
    struct BarState {
        int Position = 0;
        int Maximum = 100;
    };
    struct JobOutput {
        std::string Path;
        std::uint64_t Bytes = 0;
        std::string Detail;
    };
    class RunScope;

    static std::size_t Index(Control control) { return static_cast<std::size_t>(control); }
    void Enable(Control control, bool on);
    void EnableListCommands(bool on);
    void BeginAdd();
    void AddJobs(const std::optional<OpenDialogResult>& choice);
    void SetBar(Bar bar, int position, int maximum);
    BarState& BarOf(Bar bar) { return bar == Bar::Progress ? progress_ : total_; }
    void ShowError(const std::exception_ptr& error);
    void FinishCommand();
    void RunJobs();
    void FinishRun();
    static std::vector<std::string> JobSummaryLines(const std::string& path, const std::vector<JobOutput>& outputs,
                                                    bool completed);

    // JobHost, for the handlers.
    void SetStatus(const std::string& text) override;
    int ProgressPosition() const override;
    void SetProgressPosition(int position) override;
    void SetProgressMax(int maximum) override;
    void SetTotalPosition(int position) override;
    void SetTotalMax(int maximum) override;
    void ShowFileProgress(int percent) override;
    void ProcessMessages() override;
    bool StopRequested() const override;
    void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override;

    WindowOperations& window_;
    Dispatcher dispatcher_;
    RunContext run_;
    FormatCode jobFormat_ = kFormatNone;
    std::array<bool, kControlCount> enabled_{};
    BarState progress_;
    BarState total_;
    bool running_ = false;
    bool stopRequested_ = false;
    bool closePending_ = false;
    bool runStopped_ = false;
    RunOutcome lastOutcome_ = RunOutcome::None;
    std::int64_t extractedBytes_ = 0;
    std::vector<JobOutput> jobOutputs_;
};

} // namespace packsmith
