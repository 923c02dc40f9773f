#include "gui/qt/contents/SoundDecoding.h"

#include <chrono>
#include <exception>

#include "core/ErrorText.h"
#include "gui/qt/QtText.h"

namespace packsmith::qt {

namespace {

// Progress and the waveform so far are shown this often while reading.
constexpr auto kReportEvery = std::chrono::milliseconds(100);
// The clock is looked at every so many pieces (a piece is one block or chunk at most).
constexpr unsigned kPiecesBetweenClockChecks = 256;
constexpr std::size_t kPieceBytes = std::size_t{64} << 10;

} // namespace

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

std::shared_ptr<const WaveformPeaks> SoundDecoding::PeaksSoFar() const
{
    const std::lock_guard lock(soFarMutex_);
    return soFar_;
}

// Runs on the worker. The signals cross to the window's thread queued; the results are set
// before them, and the window takes them only on receiving one.
void SoundDecoding::Work(const std::string& path, bool music)
{
    try {
        const StopToken stop(stop_);
        auto stream = std::make_unique<SoundStream>(path, music);
        const SoundSummary& summary = stream->Summary();
        const std::uint64_t frameBytes = std::uint64_t{summary.Channels} * (summary.BitsPerSample / 8U);
        PeaksBuilder peaks(summary.Channels, summary.BitsPerSample,
                           frameBytes == 0 ? 0 : summary.DecodedBytes / frameBytes, kPeakColumns);
        auto reported = std::chrono::steady_clock::now();
        for (unsigned piece = 1; !stream->AtEnd(); ++piece) {
            stop.ThrowIfStopped();
            peaks.Add(stream->Next(kPieceBytes, stop));
            if (piece % kPiecesBetweenClockChecks == 0 && std::chrono::steady_clock::now() - reported >= kReportEvery) {
                reported = std::chrono::steady_clock::now();
                {
                    const std::lock_guard lock(soFarMutex_);
                    soFar_ = std::make_shared<const WaveformPeaks>(peaks.Peaks());
                }
                emit Progress(static_cast<int>(stream->Position() * 100 / summary.DecodedBytes));
            }
        }
        stream->Seek(0, stop);
        stop.ThrowIfStopped();
        stream_ = std::move(stream);
        peaks_ = std::make_shared<const WaveformPeaks>(peaks.Take());
        emit Decoded();
    } catch (const JobStopped&) {
        // Only the window going away stops it, and then nobody is listening.
    } catch (...) {
        emit Failed(ToQt(MessageOf(std::current_exception())));
    }
}

} // namespace packsmith::qt
