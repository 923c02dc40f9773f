#pragma once

#include <QIODevice>
#include <QString>
#include <memory>

#include "jobs/SoundStream.h"

namespace packsmith::qt {

// A packed sound's samples as a sequential device for a sound output to pull from, decoded
// as they are read: only whole frames, and nothing held but what the stream holds. Restart
// moves it to another place. A file that fails under it (changed or gone since it was read
// through) ends the reading with an error, in ErrorText().
class SoundStreamDevice final : public QIODevice {
public:
    SoundStreamDevice(std::unique_ptr<SoundStream> stream, qint64 frameBytes, QObject* parent = nullptr);

    // The bytes of whole frames it reads to its end.
    qint64 Length() const { return length_; }
    // Where the next read starts, in bytes from the start of the samples.
    qint64 ReadPosition() const { return static_cast<qint64>(stream_->Position()); }
    // Goes to byte at (a frame's start), or says why it cannot.
    bool Restart(qint64 at);
    const QString& ErrorText() const { return error_; }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return !error_.isEmpty() || ReadPosition() >= length_; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::unique_ptr<SoundStream> stream_;
    qint64 length_;
    QString error_;
};

} // namespace packsmith::qt
