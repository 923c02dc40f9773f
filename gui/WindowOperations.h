#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "run/RunHost.h"

namespace packsmith {

// The controls whose enabled state the logic sets. Coding is the choice of how a rebuild
// stores the pictures it replaces; OpenTarget opens the last run's target folder.
enum class Control { BAddLog, BSaveList, BRemLog, BClearAll, BProcess, BExit, Stop, SaveLog, Coding, OpenTarget };
inline constexpr int kControlCount = 10;

// What the open dialog reports when the user confirms: the chosen filter's position
// (1-based) and every chosen file as a full path, in the dialog's order.
struct OpenDialogResult {
    int FilterIndex = 1;
    std::vector<std::string> Files;
};

// The modal dialogs and message boxes of the window. They form a seam of their own, so the
// real window can run with scripted answers in tests.
class DialogOperations {
public:
    virtual ~DialogOperations() = default;

    // An empty result means the user cancelled.
    virtual std::optional<OpenDialogResult> SelectLog() = 0;
    virtual std::optional<std::string> SaveLST() = 0;
    virtual std::optional<std::string> SaveRes() = 0;
    // The directory chooser, opened on start; returns the name as the user confirmed it.
    virtual std::optional<std::string> SelectDirectory(const std::string& start) = 0;
    virtual void InformationBox(const std::string& text, const std::string& caption) = 0;
    // The application-level error box, captioned with the application's title.
    virtual void ErrorBox(const std::string& text) = 0;
    // A question with one button for each choice (and Cancel), preferred the default: the
    // position of the choice taken, or nothing when the user cancelled.
    virtual std::optional<std::size_t> ChooseOne(const std::string& text, const std::string& caption,
                                                 const std::vector<std::string>& choices, std::size_t preferred) = 0;
    // The About box: the version, first steps, licences, where the manual is.
    virtual void AboutBox() = 0;
};

// Every way in which the window's logic touches the window. The Qt window and the tests'
// double each implement it; the logic above it is written once. Positions and maxima reach
// a bar already clamped. All of it is called on the window thread, except RunReported.
class WindowOperations : public DialogOperations {
public:
    virtual void SetCurrentMessage(const std::string& text) = 0;
    virtual void SetExtractedText(const std::string& text) = 0;
    virtual void ShowBar(Bar bar, int position, int maximum) = 0;

    // The results pane, which the user may edit too. Whenever its text changes, by these
    // operations or by the user, the window calls MainFormLogic::ResultsChanged.
    virtual void ClearResults() = 0;
    virtual void AddResultLine(const std::string& line) = 0;
    virtual int ResultLineCount() const = 0;
    virtual std::vector<std::string> ResultLines() const = 0;
    virtual void FocusResults() = 0;

    virtual void SetEnabled(Control control, bool enabled) = 0;

    // The job list, items 0-based; SetFocusedItem(-1) focuses none.
    virtual int ItemCount() const = 0;
    virtual std::string Item(int index) const = 0;
    virtual void AddItem(const std::string& path) = 0;
    virtual void DeleteItem(int index) = 0;
    virtual void ClearItems() = 0;
    virtual bool IsItemSelected(int index) const = 0;
    virtual void SetFocusedItem(int index) = 0;

    // Called on the run's thread when the run has something new to show: the window then
    // calls MainFormLogic::ShowRunReports on its own thread, soon, and no more than a few
    // dozen times a second.
    virtual void RunReported() = 0;
    virtual void CloseWindow() = 0;
    // Shows the folder in the desktop's file manager; false when nothing could show it.
    virtual bool OpenFolder(const std::string& path) = 0;
};

} // namespace packsmith
