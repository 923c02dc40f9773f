#pragma once

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "WindowOperations.h"

namespace packsmith::test {

// A window double: dialogs answer from queues the test fills (an empty queue cancels),
// everything shown is recorded, and ProcessMessages runs the test's hook, where a test
// "clicks" during a run.
class ScriptedWindow final : public WindowOperations {
public:
    struct Box {
        std::string Text;
        std::string Caption;
    };
    struct BarValue {
        int Position = 0;
        int Maximum = 0;
    };

    // Answers for the dialogs, used up in order.
    std::deque<std::optional<OpenDialogResult>> OpenAnswers;
    std::deque<std::optional<std::string>> SaveListAnswers;
    std::deque<std::optional<std::string>> SaveResultsAnswers;
    std::deque<std::optional<std::string>> DirectoryAnswers;
    // Runs on every ProcessMessages, with the call's number (from 1).
    std::function<void(int)> OnProcessMessages;

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
    std::vector<Box> InformationBoxes;
    std::vector<std::string> ErrorBoxes;
    std::vector<std::string> DirectoryStarts; // where each directory chooser opened
    int ProcessMessagesCalls = 0;
    int CloseCalls = 0;
    int ResultsFocusCalls = 0;

    bool IsOn(Control control) const { return Enabled[static_cast<std::size_t>(control)]; }

    void SetCurrentMessage(const std::string& text) override { CurrentMessage = text; }
    void SetExtractedText(const std::string& text) override { ExtractedText = text; }
    void ShowBar(Bar bar, int position, int maximum) override;

    void ClearResults() override { Results.clear(); }
    void AddResultLine(const std::string& line) override { Results.push_back(line); }
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

    std::optional<OpenDialogResult> SelectLog() override { return Next(OpenAnswers); }
    std::optional<std::string> SaveLST() override { return Next(SaveListAnswers); }
    std::optional<std::string> SaveRes() override { return Next(SaveResultsAnswers); }
    std::optional<std::string> SelectDirectory(const std::string& start) override;
    void InformationBox(const std::string& text, const std::string& caption) override;
    void ErrorBox(const std::string& text) override { ErrorBoxes.push_back(text); }

    void ProcessMessages() override;
    void CloseWindow() override { ++CloseCalls; }

private:
    template <class T>
    static std::optional<T> Next(std::deque<std::optional<T>>& answers)
    {
        if (answers.empty())
            return std::nullopt;
        const bool confirmed = answers.front().has_value();
        T value = confirmed ? std::move(*answers.front()) : T{};
        answers.pop_front();
        if (!confirmed)
            return std::nullopt;
        return value;
    }
};

} // namespace packsmith::test
