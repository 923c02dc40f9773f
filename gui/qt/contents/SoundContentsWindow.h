#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <string>

#include "jobs/FormatTable.h"
#include "jobs/SoundContents.h"

class QLabel;
class QPushButton;
class QSlider;

namespace packsmith::qt {

class ContentsExtraction;
class SoundDecoding;
class SoundPlayer;
class WaveformView;

// A packed sound's own window: what its header says, its waveform, playing it (play, pause,
// stop and a seek bar), and extracting it into a folder of the user's choice. The sound is
// decoded on a worker thread; until then, and when it cannot be played, the status line
// says why. Closing the window stops whatever it started and deletes it.
class SoundContentsWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Throws a PackError naming the file when it is not a sound of the format.
    SoundContentsWindow(const std::string& path, const Format& format, QWidget* parent = nullptr);
    ~SoundContentsWindow() override;

private:
    QWidget* BuildSummary();
    QWidget* BuildPlayer();
    void OnDecodingProgress(int percent);
    void OnDecoded();
    void OnDecodingFailed(const QString& message);
    void ShowPosition();
    void ShowState();
    void SeekTo(qint64 ms);
    void Extract();
    void SetStatus(const QString& text);

    std::string path_;
    const Format& format_;
    SoundSummary summary_;
    qint64 lengthMs_;
    QTimer positionTimer_;
    std::unique_ptr<SoundDecoding> decoding_;
    std::unique_ptr<SoundPlayer> player_;
    std::unique_ptr<ContentsExtraction> extraction_;

    WaveformView* waveform_ = nullptr;
    QSlider* seekBar_ = nullptr;
    QLabel* time_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* extract_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace packsmith::qt
