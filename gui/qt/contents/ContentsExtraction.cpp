#include "gui/qt/contents/ContentsExtraction.h"

#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <filesystem>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "gui/qt/QtDialogs.h"
#include "gui/qt/QtText.h"
#include "run/BackgroundRun.h"
#include "run/TargetDirectory.h"

namespace packsmith::qt {

ContentsExtraction::ContentsExtraction(QWidget* window) : QObject(window), window_(window) {}

ContentsExtraction::~ContentsExtraction() { run_.reset(); }

bool ContentsExtraction::Start(const Format& format, const std::string& path, EntrySelection selection)
{
    if (run_)
        return false;
    QtDialogs dialogs(window_);
    try {
        const auto chosen = dialogs.SelectDirectory(target_.empty() ? CurrentDirectory() : target_);
        if (!chosen)
            return false;
        target_ = PrepareTargetDirectory(*chosen);
        lastResult_.clear();
        // Reports arrive on the run's thread; they are taken on the window's.
        QPointer<ContentsExtraction> self(this);
        // The job is a full path, as the main window's are: it is what "#Source:" names.
        const std::string job = std::filesystem::absolute(path).lexically_normal().string();
        run_ = std::make_unique<BackgroundRun>(
            format, std::vector<std::string>{job}, target_,
            [self] {
                QMetaObject::invokeMethod(
                    self, [self] { if (self) self->TakeReports(); }, Qt::QueuedConnection);
            },
            [selection = std::move(selection)](Run& run) { run.SetSelection(selection); });
    } catch (...) {
        run_.reset();
        dialogs.ErrorBox(ErrorBoxText(MessageOf(std::current_exception())));
        return false;
    }
    emit Progress(0, QString());
    return true;
}

void ContentsExtraction::Stop()
{
    if (run_)
        run_->RequestStop();
}

void ContentsExtraction::TakeReports()
{
    if (!run_)
        return;
    const RunReports::Pending reports = run_->TakeReports();
    if (!reports.ResultLines.empty())
        lastResult_ = ToQt(reports.ResultLines.front());
    if (reports.Progress || reports.CurrentMessage)
        emit Progress(reports.Progress ? reports.Progress->Position : -1,
                      reports.CurrentMessage ? ToQt(*reports.CurrentMessage) : QString());
    if (!run_->Finished())
        return;
    const RunResult result = run_->Result();
    run_.reset();
    if (result.Outcome == RunOutcome::Failed) {
        const QString message = ToQt(ErrorBoxText(result.Error));
        emit Finished(message, true);
        QtDialogs(window_).ErrorBox(ErrorBoxText(result.Error));
        return;
    }
    emit Finished(result.Outcome == RunOutcome::Stopped ? QStringLiteral("Operation stopped.") : lastResult_, false);
}

} // namespace packsmith::qt
