#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "gui/WindowOperations.h"
#include "testing/ScriptedDialogs.h"

namespace packsmith::test {

// A window double: the dialogs are scripted and everything shown is recorded. A test
// lets a run's reports be shown by calling the logic's ShowRunReports itself.
class ScriptedWindow final : public WindowOperations {
public:
    struct BarValue {
        int Position = 0;
        int Maximum = 0;
    };

    // The dialogs' answers and the boxes shown.
    ScriptedDialogs Dialogs;
    // What the window shows.
    std::string CurrentMessage;
    std::string ExtractedText;
    BarValue Progress;
    BarValue Total;
    std::vector<int> TotalPositions; // every position the Total bar was set to, in order
    std::vector<std::string> Results;
    std::array<bool, kControlCount> Enabled{};
    std::vector<std::string> Items;
    std::set<int> Selected;
    std::optional<int> FocusedItem;
    std::atomic<int> RunReportedCalls{0};
    int CloseCalls = 0;
    std::vector<std::string> OpenedFolders;
    bool FolderOpens = true; // what OpenFolder answers
    int ResultsFocusCalls = 0;
    // Called whenever the pane's text changes, as the real window calls the logic's
    // ResultsChanged; the tests point it there.
    std::function<void()> OnResultsChanged;

    bool IsOn(Control control) const { return Enabled[static_cast<std::size_t>(control)]; }

    void SetCurrentMessage(const std::string& text) override { CurrentMessage = text; }
    void SetExtractedText(const std::string& text) override { ExtractedText = text; }
    void ShowBar(Bar bar, int position, int maximum) override;

    void ClearResults() override { ChangeResults({}); }
    void AddResultLine(const std::string& line) override;
    // The user's editing: the pane holds lines afterwards.
    void ChangeResults(std::vector<std::string> lines);
    int ResultLineCount() const override { return static_cast<int>(Results.size()); }
    std::vector<std::string> ResultLines() const override { return Results; }
    void FocusResults() override { ++ResultsFocusCalls; }

    void SetEnabled(Control control, bool enabled) override { Enabled[static_cast<std::size_t>(control)] = enabled; }

    int ItemCount() const override { return static_cast<int>(Items.size()); }
    std::string Item(int index) const override { return Items.at(static_cast<std::size_t>(index)); }
    void AddItem(const std::string& path) override { Items.push_back(path); }
    void DeleteItem(int index) override;
    void ClearItems() override;
    bool IsItemSelected(int index) const override { return Selected.count(index) != 0; }
    void SetFocusedItem(int index) override { FocusedItem = index; }

    std::optional<OpenDialogResult> SelectLog() override { return Dialogs.SelectLog(); }
    std::optional<std::string> SaveLST() override { return Dialogs.SaveLST(); }
    std::optional<std::string> SaveRes() override { return Dialogs.SaveRes(); }
    std::optional<std::string> SelectDirectory(const std::string& start) override
    {
        return Dialogs.SelectDirectory(start);
    }
    void InformationBox(const std::string& text, const std::string& caption) override
    {
        Dialogs.InformationBox(text, caption);
    }
    void ErrorBox(const std::string& text) override { Dialogs.ErrorBox(text); }
    std::optional<std::size_t> ChooseOne(const std::string& text, const std::string& caption,
                                         const std::vector<std::string>& choices, std::size_t preferred) override
    {
        return Dialogs.ChooseOne(text, caption, choices, preferred);
    }
    void AboutBox() override { Dialogs.AboutBox(); }

    void RunReported() override { ++RunReportedCalls; }
    void CloseWindow() override { ++CloseCalls; }
    bool OpenFolder(const std::string& path) override
    {
        OpenedFolders.push_back(path);
        return FolderOpens;
    }
};

} // namespace packsmith::test
