#include "MainFormLogic.h"

#include <algorithm>

#include "ErrorText.h"
#include "FormatHandlers.h"
#include "PackError.h"
#include "PathUtils.h"
#include "RichText.h"
#include "TextFile.h"

namespace packsmith {

MainFormLogic::MainFormLogic(WindowOperations& window) : window_(window) {}

void MainFormLogic::FormCreate()
{
    AttachFormatHandlers(dispatcher_);
    Enable(Control::BAddLog, true);
    Enable(Control::BSaveList, false);
    Enable(Control::BRemLog, false);
    Enable(Control::BClearAll, false);
    Enable(Control::BProcess, false);
    Enable(Control::BExit, true);
    Enable(Control::Stop, false);
    Enable(Control::SaveLog, false);
    window_.SetCurrentMessage("");
    window_.SetExtractedText("Extracted: 0");
    SetBar(Bar::Progress, 0, 100);
    SetBar(Bar::Total, 0, 100);
}

void MainFormLogic::Enable(Control control, bool on)
{
    enabled_[Index(control)] = on;
    window_.SetEnabled(control, on);
}

// The four buttons that follow whether the job list has entries.
void MainFormLogic::EnableListCommands(bool on)
{
    Enable(Control::BClearAll, on);
    Enable(Control::BRemLog, on);
    Enable(Control::BProcess, on);
    Enable(Control::BSaveList, on);
}

void MainFormLogic::SetBar(Bar bar, int position, int maximum)
{
    BarState& state = BarOf(bar);
    state.Maximum = std::max(0, maximum);
    state.Position = std::clamp(position, 0, state.Maximum);
    window_.ShowBar(bar, state.Position, state.Maximum);
}

void MainFormLogic::BAddLogClick()
{
    if (running_)
        return;
    BeginAdd();
    AddJobs(window_.SelectLog());
}

void MainFormLogic::DropFiles(const std::vector<std::string>& files)
{
    if (running_ || files.empty())
        return;
    const int position = FilterPositionForFile(files.front());
    if (position == 0)
        throw PackError("Cannot add " + files.front() + ": only .wac, .was, .at3, .lst and .log files can be added");

    // The first file decides the format, as the chosen filter does in the open dialog.
    OpenDialogResult dropped{position, {}};
    std::vector<std::string> refused;
    for (const auto& file : files)
        (FilterPositionForFile(file) == position ? dropped.Files : refused).push_back(file);
    BeginAdd();
    AddJobs(dropped);
    if (!refused.empty())
        throw PackError("Cannot add " + refused.front() + ": the dropped files must all be of one format");
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
        const FormatCode code = FilterFormatCode(choice->FilterIndex);
        // A job list never mixes formats.
        if (code != jobFormat_)
            window_.ClearItems();
        jobFormat_ = code;
        if (code == kFormatProjectList) {
            if (!choice->Files.empty()) {
                // Read first, so that a list that cannot be read leaves the job list alone.
                const auto lines = ReadTextFile(choice->Files.front());
                window_.ClearItems();
                for (const auto& line : lines)
                    window_.AddItem(line);
            }
        } else {
            for (const auto& file : choice->Files)
                window_.AddItem(file);
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
    if (running_)
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
    if (running_)
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
    if (!running_)
        return true;
    StopClick();
    closePending_ = true;
    return false;
}

void MainFormLogic::StopClick()
{
    Enable(Control::Stop, false);
    stopRequested_ = true;
}

void MainFormLogic::SaveLogClick()
{
    const auto path = window_.SaveRes();
    if (!path)
        return;
    SaveResultsAsRtf(*path, window_.ResultLines());
    window_.InformationBox(ExtractFileName(*path), "Operation status");
    Enable(Control::SaveLog, false);
}

void MainFormLogic::ShowError(const std::exception_ptr& error) { window_.ErrorBox(ErrorBoxText(MessageOf(error))); }

void MainFormLogic::FinishCommand()
{
    if (closePending_ && !running_) {
        closePending_ = false;
        window_.CloseWindow();
    }
}

} // namespace packsmith
