#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "WindowOperations.h"

namespace packsmith {

// The window operations of a terminal. The dialogs are answered from the command line;
// the results pane, status lines and closing boxes go to standard output (errors alone with
// -q); a progress line is drawn on standard error when it is a terminal.
class CliWindow final : public WindowOperations {
public:
    struct Settings {
        OpenDialogResult OpenAnswer;
        std::string TargetDirectory;
        bool Quiet = false;
        bool ProgressLine = false;
    };

    CliWindow(std::ostream& out, std::ostream& err, Settings settings);

    // Called from ProcessMessages when Ctrl+C has been pressed: the click on Stop.
    void OnStopSignal(std::function<void()> stop) { onStop_ = std::move(stop); }

    void SetCurrentMessage(const std::string& text) override;
    void SetExtractedText(const std::string&) override {}
    void ShowBar(Bar bar, int position, int maximum) override;

    void ClearResults() override { results_.clear(); }
    void AddResultLine(const std::string& line) override;
    int ResultLineCount() const override { return static_cast<int>(results_.size()); }
    std::vector<std::string> ResultLines() const override { return results_; }
    void FocusResults() override {}

    void SetEnabled(Control, bool) override {}

    int ItemCount() const override { return static_cast<int>(items_.size()); }
    std::string Item(int index) const override { return items_.at(static_cast<std::size_t>(index)); }
    void AddItem(const std::string& path) override { items_.push_back(path); }
    void DeleteItem(int index) override { items_.erase(items_.begin() + index); }
    void ClearItems() override { items_.clear(); }
    bool IsItemSelected(int) const override { return false; }
    void SetFocusedItem(int) override {}

    std::optional<OpenDialogResult> SelectLog() override { return settings_.OpenAnswer; }
    std::optional<std::string> SaveLST() override { return std::nullopt; }
    std::optional<std::string> SaveRes() override { return std::nullopt; }
    std::optional<std::string> SelectDirectory(const std::string&) override { return settings_.TargetDirectory; }
    void InformationBox(const std::string& text, const std::string& caption) override;
    void ErrorBox(const std::string& text) override;

    void ProcessMessages() override;
    void CloseWindow() override {}

private:
    void Print(const std::string& line);
    void DrawProgressLine();
    void ClearProgressLine();

    std::ostream& out_;
    std::ostream& err_;
    Settings settings_;
    std::function<void()> onStop_;
    std::vector<std::string> items_;
    std::vector<std::string> results_;
    std::string status_;
    int progress_ = 0;
    int total_ = 0;
    std::string drawnLine_; // what the progress line shows now; empty when there is none
};

} // namespace packsmith
