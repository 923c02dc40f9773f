#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

#include "jobs/EntrySelection.h"
#include "jobs/FormatTable.h"

class QWidget;

namespace packsmith {
class BackgroundRun;
}

namespace packsmith::qt {

// Extracts what a contents window shows (some of a pack's entries, or a sound) into a
// folder the user chooses, through a run on a worker thread like the main window's: the
// usual names, and a "result.log" whose lines for the entries left out are empty, so that
// replaying it keeps their records.
class ContentsExtraction final : public QObject {
    Q_OBJECT
public:
    explicit ContentsExtraction(QWidget* window);
    // Stops a run in progress and waits for it.
    ~ContentsExtraction() override;

    // Asks for the folder and starts; false when the user cancelled or a run is going.
    bool Start(const Format& format, const std::string& path, EntrySelection selection = {});
    bool Running() const { return run_ != nullptr; }
    void Stop();

signals:
    // While it runs: the per-file percentage and the status text.
    void Progress(int percent, const QString& status);
    // At its end: what it did ("3 files extracted to DIR"), or what failed (also shown in an
    // error box).
    void Finished(const QString& summary, bool failed);

private:
    void TakeReports();

    QWidget* window_;
    std::unique_ptr<BackgroundRun> run_;
    std::string target_;
    QString lastResult_;
};

} // namespace packsmith::qt
