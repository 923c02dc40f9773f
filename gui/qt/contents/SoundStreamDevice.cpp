#include "gui/qt/contents/SoundStreamDevice.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "core/ErrorText.h"
#include "gui/qt/QtText.h"

namespace packsmith::qt {

SoundStreamDevice::SoundStreamDevice(std::unique_ptr<SoundStream> stream, qint64 frameBytes, QObject* parent)
    : QIODevice(parent), stream_(std::move(stream)),
      length_(frameBytes <= 0 ? 0 : static_cast<qint64>(stream_->Summary().DecodedBytes) / frameBytes * frameBytes)
{
    // Unbuffered: what has been read is exactly what the sound output holds or has played.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool SoundStreamDevice::Restart(qint64 at)
{
    error_.clear();
    // Exceptions never cross into the sound output's event handling.
    try {
        stream_->Seek(static_cast<std::uint64_t>(std::clamp<qint64>(at, 0, length_)));
        return true;
    } catch (...) {
        error_ = ToQt(MessageOf(std::current_exception()));
        return false;
    }
}

qint64 SoundStreamDevice::bytesAvailable() const
{
    return std::max<qint64>(length_ - ReadPosition(), 0) + QIODevice::bytesAvailable();
}

qint64 SoundStreamDevice::readData(char* data, qint64 maxSize)
{
    if (!error_.isEmpty())
        return -1;
    qint64 done = 0;
    try {
        const qint64 wanted = std::min(maxSize, length_ - ReadPosition());
        while (done < wanted) {
            const auto piece = stream_->Next(static_cast<std::size_t>(wanted - done));
            if (piece.empty())
                break;
            std::memcpy(data + done, piece.data(), piece.size());
            done += static_cast<qint64>(piece.size());
        }
    } catch (...) {
        error_ = ToQt(MessageOf(std::current_exception()));
        return done > 0 ? done : -1;
    }
    return done;
}

} // namespace packsmith::qt
