#include "gui/qt/contents/SoundDecoding.h"

#include <exception>

#include "core/ErrorText.h"
#include "gui/qt/QtText.h"
#include "jobs/JobHost.h"

namespace packsmith::qt {

void SoundDecoding::Start(const std::string& path, bool music)
{
    if (!worker_.joinable())
        worker_ = std::thread([this, path, music] { Work(path, music); });
}

SoundDecoding::~SoundDecoding()
{
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

// Runs on the worker. The signals cross to the window's thread queued; the results are set
// before them, and the window takes them only on receiving one.
void SoundDecoding::Work(const std::string& path, bool music)
{
    try {
        auto sound = std::make_shared<DecodedSound>(DecodePackedSound(path, music, stop_));
        auto peaks = std::make_shared<WaveformPeaks>(ComputePeaks(sound->Samples, sound->Summary.Channels,
                                                                  sound->Summary.BitsPerSample, kPeakColumns, stop_));
        if (stop_)
            return;
        sound_ = std::move(sound);
        peaks_ = std::move(peaks);
        emit Decoded();
    } catch (const JobStopped&) {
        // Only the window going away stops it, and then nobody is listening.
    } catch (...) {
        emit Failed(ToQt(MessageOf(std::current_exception())));
    }
}

} // namespace packsmith::qt
