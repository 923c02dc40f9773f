#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "gui/MainFormLogic.h"
#include "gui/WindowOperations.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QToolBar;

namespace packsmith::qt {

class ElidedLabel;

// The one window. It builds the controls and implements the window operations on them;
// everything it does on a click is the logic's. Each slot is the application level: it
// runs its command through the logic's Execute, so no exception crosses Qt's dispatch.
// A run works on a thread of its own; the window shows what it reports at most
// kReportsPerSecond times a second and stays responsive meanwhile.
class TMainForm final : public QMainWindow, public WindowOperations {
    Q_OBJECT
public:
    // dialogs: where the dialogs and boxes come from; the real ones when null.
    explicit TMainForm(DialogOperations* dialogs = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    MainFormLogic& Logic() { return logic_; }

    void SetCurrentMessage(const std::string& text) override;
    void SetExtractedText(const std::string& text) override;
    void ShowBar(Bar bar, int position, int maximum) override;

    void ClearResults() override;
    void AddResultLine(const std::string& line) override;
    int ResultLineCount() const override;
    std::vector<std::string> ResultLines() const override;
    void FocusResults() override;

    void SetEnabled(Control control, bool enabled) override;

    int ItemCount() const override;
    std::string Item(int index) const override;
    void AddItem(const std::string& path) override;
    void DeleteItem(int index) override;
    void ClearItems() override;
    bool IsItemSelected(int index) const override;
    void SetFocusedItem(int index) override;

    std::optional<OpenDialogResult> SelectLog() override { return dialogs_->SelectLog(); }
    std::optional<std::string> SaveLST() override { return dialogs_->SaveLST(); }
    std::optional<std::string> SaveRes() override { return dialogs_->SaveRes(); }
    // Opens on the last target folder remembered, while it exists.
    std::optional<std::string> SelectDirectory(const std::string& start) override;
    void InformationBox(const std::string& text, const std::string& caption) override
    {
        dialogs_->InformationBox(text, caption);
    }
    void ErrorBox(const std::string& text) override { dialogs_->ErrorBox(text); }
    std::optional<std::size_t> ChooseOne(const std::string& text, const std::string& caption,
                                         const std::vector<std::string>& choices, std::size_t preferred) override
    {
        return dialogs_->ChooseOne(text, caption, choices, preferred);
    }
    void AboutBox() override { dialogs_->AboutBox(); }

    void RunReported() override;
    void CloseWindow() override;
    bool OpenFolder(const std::string& path) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowRunReportsSoon();
    void BuildToolBar();
    void BuildCodingChoice();
    void BuildControls();
    void BuildContentsCommands();
    void LayOutProcessGroup();
    QAction* ToolButton(int picture, const char* name, const QString& tip, const std::function<void()>& command);
    // Connects a signal to a command of the logic, run at the application level.
    template <class Sender, class Signal>
    void OnSignal(Sender* sender, Signal signal, std::function<void()> command)
    {
        connect(sender, signal, this, [this, command] { logic_.Execute(command); });
    }

    std::unique_ptr<DialogOperations> ownDialogs_;
    DialogOperations* dialogs_;
    MainFormLogic logic_;
    QTimer reportTimer_;         // single shot: when the run's reports are shown next
    QElapsedTimer sinceReports_; // since they were shown last
    std::atomic<bool> reportsDue_{false};

    QToolBar* ToolBar1 = nullptr;
    QAction* BAddLog = nullptr;
    QAction* BSaveList = nullptr;
    QAction* BRemLog = nullptr;
    QAction* BClearAll = nullptr;
    QAction* BProcess = nullptr;
    QAction* BExit = nullptr;
    QAction* BHelp = nullptr;
    QLabel* CodingLabel = nullptr;
    QComboBox* Coding = nullptr;
    QListWidget* LogList = nullptr;
    QTextEdit* Results = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    ElidedLabel* CurrentMessage = nullptr;
    QLabel* Extracted = nullptr;
    QLabel* OpenTarget = nullptr;
    QPushButton* SaveLog = nullptr;
    QPushButton* Stop = nullptr;
    QProgressBar* Progress = nullptr;
    QProgressBar* Total = nullptr;
};

} // namespace packsmith::qt
