#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "gui/browse/WaveformPeaks.h"
#include "jobs/SoundContents.h"

namespace packsmith::qt {

// A packed sound decoded into memory on a thread of its own, and its waveform's peaks
// computed there too, so that the window stays responsive however long the sound is.
// Going away stops the work and waits for it (within a fraction of a second); what it
// would have reported then is dropped with it.
class SoundDecoding final : public QObject {
    Q_OBJECT
public:
    explicit SoundDecoding(QObject* parent = nullptr) : QObject(parent) {}
    ~SoundDecoding() override;

    // Starts the worker; connect to the signals first, since a short sound is done at once.
    void Start(const std::string& path, bool music);

    // After Decoded: the sound and its peaks, handed over once.
    std::shared_ptr<const DecodedSound> TakeSound() { return std::move(sound_); }
    std::shared_ptr<const WaveformPeaks> TakePeaks() { return std::move(peaks_); }

signals:
    void Decoded();
    void Failed(const QString& message);

private:
    void Work(const std::string& path, bool music);

    std::atomic<bool> stop_{false};
    std::shared_ptr<const DecodedSound> sound_;
    std::shared_ptr<const WaveformPeaks> peaks_;
    std::thread worker_;
};

} // namespace packsmith::qt
