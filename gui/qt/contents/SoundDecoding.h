#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gui/browse/WaveformPeaks.h"
#include "jobs/SoundStream.h"

namespace packsmith::qt {

// A packed sound read through once on a thread of its own: decoded as it is read, its
// waveform's peaks made on the way (in memory bounded by their columns, whatever the
// sound's length) and its seek index filled in; then its stream, back at the start, is
// handed over for playing. The window stays responsive however long the sound is. Going
// away stops the work and waits for it (within a fraction of a second); what it would have
// reported then is dropped with it.
class SoundDecoding final : public QObject {
    Q_OBJECT
public:
    explicit SoundDecoding(QObject* parent = nullptr) : QObject(parent) {}
    ~SoundDecoding() override;

    // Starts the worker; connect to the signals first, since a short sound is done at once.
    void Start(const std::string& path, bool music);

    // While reading, from the window's thread: the peaks of the columns read so far.
    std::shared_ptr<const WaveformPeaks> PeaksSoFar() const;

    // After Decoded: the stream at its start and the peaks, handed over once.
    std::unique_ptr<SoundStream> TakeStream() { return std::move(stream_); }
    std::shared_ptr<const WaveformPeaks> TakePeaks() { return std::move(peaks_); }

signals:
    // A few times a second while reading: how far it has come, in percent of the samples.
    void Progress(int percent);
    void Decoded();
    void Failed(const QString& message);

private:
    void Work(const std::string& path, bool music);

    std::atomic<bool> stop_{false};
    mutable std::mutex soFarMutex_;
    std::shared_ptr<const WaveformPeaks> soFar_;
    std::unique_ptr<SoundStream> stream_;
    std::shared_ptr<const WaveformPeaks> peaks_;
    std::thread worker_;
};

} // namespace packsmith::qt
