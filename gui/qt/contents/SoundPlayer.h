#pragma once

#include <QAudioFormat>
#include <QObject>
#include <QString>
#include <memory>

#include "gui/qt/contents/SoundStreamDevice.h"
#include "jobs/SoundStream.h"

class QAudioSink;

namespace packsmith::qt {

// Plays a packed sound on the default sound output, decoding it as it plays: a sink pulls
// from a device over the sound's stream, so memory stays the same for a sound of any length.
// Pausing suspends the sink; seeking and stopping set where the stream is read next
// (stopping also rewinds), and a seek while playing restarts the sink there. Whatever keeps it from playing (no sound
// device, a format the device or the header does not allow, a device that fails) is said in
// Obstacle() and Failed, never passed over in silence.
class SoundPlayer final : public QObject {
    Q_OBJECT
public:
    enum class State { Stopped, Playing, Paused };

    explicit SoundPlayer(std::unique_ptr<SoundStream> stream, QObject* parent = nullptr);
    // Stops playing without reporting it.
    ~SoundPlayer() override;

    // Why the sound cannot be played, or empty when it can.
    const QString& Obstacle() const { return obstacle_; }
    // The name of the output it plays on.
    QString OutputName() const;
    State CurrentState() const { return state_; }
    qint64 LengthMs() const { return MsOf(device_.Length()); }
    // What is being heard (the samples the sink holds are not yet).
    qint64 PositionMs() const { return MsOf(PositionBytes()); }

    void Play();
    void Pause();
    // Stops and rewinds to the start.
    void Stop();
    // Plays on from ms when playing; otherwise that is where Play starts.
    void Seek(qint64 ms);

signals:
    // Also when it reached the end, stopped and rewound.
    void StateChanged();
    // The sound output refused or broke down; Obstacle() says so from now on.
    void Failed(const QString& message);

private:
    void StartAt(qint64 bytes);
    void StopSink();
    void OnSinkState();
    void Fail(const QString& message);
    void SetState(State state);
    qint64 PositionBytes() const;
    qint64 MsOf(qint64 bytes) const;

    SoundSummary summary_;
    QAudioFormat format_;
    SoundStreamDevice device_;
    QString obstacle_;
    State state_ = State::Stopped;
    qint64 position_ = 0;  // where playing goes on from while the sink is not running
    qint64 startedAt_ = 0; // where the running sink started
    std::unique_ptr<QAudioSink> sink_;
};

} // namespace packsmith::qt
