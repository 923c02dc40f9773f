#include "gui/qt/contents/SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>

namespace packsmith::qt {

namespace {

QAudioFormat FormatOf(const SoundSummary& summary)
{
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(summary.SampleRate));
    format.setChannelCount(summary.Channels);
    format.setSampleFormat(summary.BitsPerSample == 8    ? QAudioFormat::UInt8
                           : summary.BitsPerSample == 16 ? QAudioFormat::Int16
                                                         : QAudioFormat::Unknown);
    return format;
}

// What keeps a sound of this format from being played here; empty when nothing does.
QString ObstacleTo(const SoundSummary& summary, const QAudioFormat& format, qint64 bytes)
{
    if (summary.BitsPerSample != 8 && summary.BitsPerSample != 16)
        return QString("This sound cannot be played: its header gives %1 bits per sample, not 8 or 16.")
            .arg(summary.BitsPerSample);
    if (summary.Channels == 0 || summary.SampleRate == 0 || summary.SampleRate > 0x7fffffff)
        return QString("This sound cannot be played: its header gives %1 channels at %2 Hz.")
            .arg(summary.Channels)
            .arg(summary.SampleRate);
    if (bytes == 0)
        return "This sound holds no samples to play.";
    if (QMediaDevices::audioOutputs().isEmpty())
        return "No audio output: this computer has no sound device to play on.";
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!device.isFormatSupported(format))
        return QString("The sound output \"%1\" cannot play %2 channels of %3 bits at %4 Hz.")
            .arg(device.description())
            .arg(summary.Channels)
            .arg(summary.BitsPerSample)
            .arg(summary.SampleRate);
    return {};
}

} // namespace

// Whole frames only: a device is never handed half a frame.
SoundPlayer::SoundPlayer(std::unique_ptr<SoundStream> stream, QObject* parent)
    : QObject(parent), summary_(stream->Summary()), format_(FormatOf(summary_)),
      device_(std::move(stream), std::max(format_.bytesPerFrame(), 1))
{
    obstacle_ = ObstacleTo(summary_, format_, device_.Length());
}

SoundPlayer::~SoundPlayer()
{
    if (sink_) {
        sink_->disconnect(this);
        sink_->stop();
    }
}

QString SoundPlayer::OutputName() const
{
    return QMediaDevices::defaultAudioOutput().description();
}

void SoundPlayer::Play()
{
    if (!obstacle_.isEmpty() || state_ == State::Playing)
        return;
    if (state_ == State::Paused && sink_ && sink_->state() == QAudio::SuspendedState) {
        sink_->resume();
        SetState(State::Playing);
        return;
    }
    StartAt(position_);
}

void SoundPlayer::Pause()
{
    if (state_ != State::Playing)
        return;
    sink_->suspend();
    SetState(State::Paused);
}

void SoundPlayer::Stop()
{
    StopSink();
    position_ = 0;
    SetState(State::Stopped);
}

void SoundPlayer::Seek(qint64 ms)
{
    const qint64 frameBytes = std::max(format_.bytesPerFrame(), 1);
    const qint64 frames = ms * format_.sampleRate() / 1000;
    const qint64 bytes = std::clamp(frames * frameBytes, qint64{0}, device_.Length());
    if (state_ == State::Playing && bytes < device_.Length()) {
        // Restarting drops what the sink still held of the old place.
        StopSink();
        StartAt(bytes);
        return;
    }
    if (state_ == State::Playing) {
        Stop(); // to the end: over
        return;
    }
    StopSink();
    position_ = bytes;
}

void SoundPlayer::StartAt(qint64 bytes)
{
    if (bytes >= device_.Length())
        bytes = 0;
    if (!sink_) {
        sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format_);
        connect(sink_.get(), &QAudioSink::stateChanged, this, &SoundPlayer::OnSinkState);
    }
    if (!device_.Restart(bytes)) {
        Fail("Playing stopped: " + device_.ErrorText());
        return;
    }
    startedAt_ = bytes;
    position_ = bytes;
    sink_->start(&device_);
    // A sink that cannot open its device says so only here, without a state change.
    if (sink_->error() == QAudio::OpenError || sink_->error() == QAudio::FatalError) {
        Fail("No audio output: the sound device could not be opened to play this sound.");
        return;
    }
    SetState(State::Playing);
}

void SoundPlayer::StopSink()
{
    if (!sink_ || sink_->state() == QAudio::StoppedState)
        return;
    const QSignalBlocker quiet(sink_.get());
    sink_->stop();
}

void SoundPlayer::OnSinkState()
{
    switch (sink_->error()) {
    case QAudio::OpenError:
        Fail("No audio output: the sound device could not be opened to play this sound.");
        return;
    case QAudio::IOError:
        // The sound's file failed under it, or the output did.
        Fail(device_.ErrorText().isEmpty() ? "Playing stopped: the sound output failed."
                                           : "Playing stopped: " + device_.ErrorText());
        return;
    case QAudio::FatalError:
        Fail("Playing stopped: the sound output failed.");
        return;
    case QAudio::NoError:
    case QAudio::UnderrunError:
        break;
    }
    // The stream read to its end: the sound is over once the sink has played what it holds.
    if (sink_->state() == QAudio::IdleState && device_.atEnd()) {
        if (!device_.ErrorText().isEmpty()) {
            Fail("Playing stopped: " + device_.ErrorText());
            return;
        }
        StopSink();
        position_ = 0;
        SetState(State::Stopped);
    }
}

void SoundPlayer::Fail(const QString& message)
{
    StopSink();
    position_ = 0;
    obstacle_ = message;
    SetState(State::Stopped);
    emit Failed(message);
}

void SoundPlayer::SetState(State state)
{
    if (state_ == state)
        return;
    state_ = state;
    emit StateChanged();
}

qint64 SoundPlayer::PositionBytes() const
{
    if (!sink_ || state_ == State::Stopped || sink_->state() == QAudio::StoppedState)
        return position_;
    // The sink has read ahead of what is heard by what it holds.
    const qint64 held = std::max<qint64>(sink_->bufferSize() - sink_->bytesFree(), 0);
    const qint64 frameBytes = std::max(format_.bytesPerFrame(), 1);
    const qint64 heard = std::max(device_.ReadPosition() - held, startedAt_);
    return heard / frameBytes * frameBytes;
}

qint64 SoundPlayer::MsOf(qint64 bytes) const
{
    const qint64 bytesPerSecond = qint64{format_.sampleRate()} * std::max(format_.bytesPerFrame(), 1);
    return bytesPerSecond <= 0 ? 0 : bytes * 1000 / bytesPerSecond;
}

} // namespace packsmith::qt
