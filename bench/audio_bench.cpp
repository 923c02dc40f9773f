// Throughput of the two audio decoders in bytes of decoded output, beside a memcpy of the
// same number of bytes, of the two encoders in bytes of input samples, of whole-file
// extraction through packsmith-cli, and of the sound window's read-through of a file
// (decoded as it is read, the waveform's peaks made on the way) in bytes of decoded samples.
//
// Each decoder run also reports, as counters, its own rate over that of a memcpy of its
// output measured in the same run (vs_memcpy) and the target rate over that memcpy
// (target_vs_memcpy): the run meets its target where the first is the larger. Ratios taken
// together stay comparable on a machine that others load.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "bench/AudioSignals.h"
#include "bench/MemcpyBaseline.h"
#include "cli/CliApp.h"
#include "core/ByteOrder.h"
#include "formats/wac/WacDecoder.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasDecoder.h"
#include "formats/was/WasEncoder.h"
#include "gui/browse/WaveformPeaks.h"
#include "jobs/SoundStream.h"

namespace packsmith::bench {
namespace {

constexpr std::size_t kEncodedBytes = 64u << 20;
constexpr std::size_t kFileBytes = 100u << 20;
constexpr double kWacTarget = 1.2e9; // bytes of output a second
constexpr double kWasTarget = 1.0e9;

// kRandomCodes only for the music decoder: chunks of random bytes (see RandomCodeWasFile).
enum Signal { kSpeech, kNoise, kMusicLike, kRandomCodes };

// Samples enough to code into about `bytes` of packed data; noise costs more bits than speech.
std::vector<std::int16_t> SignalFor(Signal signal, std::size_t bytes, double bytesPerSample)
{
    const auto count = static_cast<std::size_t>(static_cast<double>(bytes) / bytesPerSample);
    return signal == kSpeech ? SpeechLike(count) : signal == kMusicLike ? MusicLike(count) : NoiseLike(count);
}

// Bytes a second that a memcpy of `bytes` reaches now, the best of a few: the floor a
// decoder of that much output is measured against in the same run.
double MemcpyRate(std::size_t bytes)
{
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 0);
    double best = 1e30;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return static_cast<double>(bytes) / best;
}

void ReportAgainstMemcpy(benchmark::State& state, std::size_t outputBytes, double target)
{
    const double memcpyRate = MemcpyRate(outputBytes);
    const double processed = static_cast<double>(state.iterations()) * static_cast<double>(outputBytes);
    // A rate counter is divided by the run's time: the time memcpy would have taken over it.
    state.counters["vs_memcpy"] = benchmark::Counter(processed / memcpyRate, benchmark::Counter::kIsRate);
    state.counters["target_vs_memcpy"] = target / memcpyRate;
}

const std::vector<std::uint8_t>& WacFile(Signal signal, std::size_t bytes)
{
    static std::map<std::pair<Signal, std::size_t>, std::vector<std::uint8_t>> files;
    auto& file = files[{signal, bytes}];
    if (file.empty()) {
        // Measure the coding rate on a sample, then code enough signal to fill `bytes`.
        const auto probe = EncodeWacFile(SignalFor(signal, 1 << 20, 1.0));
        file = EncodeWacFile(SignalFor(signal, bytes, static_cast<double>(probe.size()) / (1 << 20)));
    }
    return file;
}

const std::vector<std::uint8_t>& WasFile(Signal signal, std::size_t bytes)
{
    static std::map<std::pair<Signal, std::size_t>, std::vector<std::uint8_t>> files;
    auto& file = files[{signal, bytes}];
    if (file.empty() && signal == kRandomCodes)
        file = RandomCodeWasFile(bytes);
    if (file.empty()) {
        const auto probe = EncodeWasFile(SignalFor(signal, 1 << 20, 1.0), {}, 65536);
        file = EncodeWasFile(SignalFor(signal, bytes, static_cast<double>(probe.size()) / (1 << 20)), {}, 65536);
    }
    return file;
}

void DecodeWac(benchmark::State& state)
{
    const auto& file = WacFile(static_cast<Signal>(state.range(0)), kEncodedBytes);
    const std::uint32_t blocks = LoadLE32(file.data());
    std::vector<std::uint8_t> out(std::size_t{blocks} * kWacBlockBytes);
    for (auto _ : state) {
        WacDecoderState decoder;
        std::size_t at = 52;
        std::uint8_t* target = out.data();
        for (std::uint32_t b = 0; b < blocks; ++b) {
            const std::uint16_t size = LoadLE16(file.data() + at);
            DecodeWacBlock(std::span(file).subspan(at + 2, size), std::span<std::uint8_t, kWacBlockBytes>(target, kWacBlockBytes),
                           decoder);
            at += 2 + size;
            target += kWacBlockBytes;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
    state.counters["coded_MB"] = static_cast<double>(file.size()) / (1 << 20);
    ReportAgainstMemcpy(state, out.size(), kWacTarget);
}

void DecodeWas(benchmark::State& state)
{
    const auto& file = WasFile(static_cast<Signal>(state.range(0)), kEncodedBytes);
    std::size_t total = 0;
    for (std::size_t at = 52; at < file.size(); at += 8 + LoadLE32(file.data() + at))
        total += LoadLE32(file.data() + at + 4);
    std::vector<std::uint8_t> out(total);
    for (auto _ : state) {
        std::uint8_t* target = out.data();
        for (std::size_t at = 52; at < file.size();) {
            const std::uint32_t coded = LoadLE32(file.data() + at);
            const std::uint32_t decoded = LoadLE32(file.data() + at + 4);
            DecodeWasChunk(std::span(file).subspan(at + 8, coded), std::span(target, decoded));
            target += decoded;
            at += 8 + coded;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
    state.counters["coded_MB"] = static_cast<double>(file.size()) / (1 << 20);
    ReportAgainstMemcpy(state, out.size(), kWasTarget);
}

// Input for the encoders: 8 MB of samples of each kind of sound.
enum EncoderSignal { kTone, kMusic, kSpeechBursts, kWhiteNoise };

const std::vector<std::int16_t>& EncoderInput(EncoderSignal signal)
{
    static std::map<EncoderSignal, std::vector<std::int16_t>> inputs;
    auto& samples = inputs[signal];
    if (samples.empty()) {
        constexpr std::size_t kCount = 4u << 20;
        samples = signal == kTone    ? ToneLike(kCount)
                  : signal == kMusic ? MusicLike(kCount)
                  : signal == kSpeechBursts ? SpeechLike(kCount)
                                            : NoiseLike(kCount);
    }
    return samples;
}

template <class Encode>
void EncodeBench(benchmark::State& state, Encode encode)
{
    const auto& samples = EncoderInput(static_cast<EncoderSignal>(state.range(0)));
    std::size_t coded = 0;
    for (auto _ : state) {
        const auto file = encode(samples);
        coded = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * samples.size() * 2));
    state.counters["coded_MB"] = static_cast<double>(coded) / (1 << 20);
}

void EncodeWac(benchmark::State& state)
{
    EncodeBench(state, [](std::span<const std::int16_t> samples) { return EncodeWacFile(samples); });
}

void EncodeWas(benchmark::State& state)
{
    EncodeBench(state, [](std::span<const std::int16_t> samples) { return EncodeWasFile(samples); });
}

void Memcpy(benchmark::State& state) { MemcpyBaseline(state, static_cast<std::size_t>(state.range(0)) << 20); }

// Writes the bytes as dir/name (dir made first) and returns its path.
std::filesystem::path WriteInto(const std::filesystem::path& dir, const char* name, const std::vector<std::uint8_t>& bytes)
{
    std::filesystem::create_directories(dir);
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A whole 100 MB packed file extracted by packsmith-cli (file reading and writing included).
void ExtractThroughCli(benchmark::State& state, bool music, Signal signal)
{
    const auto& file = music ? WasFile(signal, kFileBytes) : WacFile(signal, kFileBytes);
    const auto dir = std::filesystem::temp_directory_path() / ("packsmith-bench-" + std::to_string(getpid()));
    const auto input = WriteInto(dir, music ? "sound.was" : "sound.wac", file);
    const auto output = dir / "out" / "sound.wav";
    std::uintmax_t written = 0;
    for (auto _ : state) {
        // Into a new file each time: replacing the last one would add the file system's
        // work of freeing it.
        state.PauseTiming();
        std::filesystem::remove(output);
        state.ResumeTiming();
        std::ostringstream out, err;
        if (RunCli({"-q", "-o", (dir / "out").string(), input.string()}, out, err) != 0) {
            state.SkipWithError(err.str().c_str());
            break;
        }
        written = std::filesystem::file_size(output);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
    state.counters["coded_MB"] = static_cast<double>(file.size()) / (1 << 20);
    std::filesystem::remove_all(dir);
}

// A 100 MB packed file read through as the sound window does it: a stream decoding block
// by block or chunk by chunk, every piece folded into the waveform's peaks.
void StreamPeaks(benchmark::State& state, bool music, Signal signal)
{
    const auto& file = music ? WasFile(signal, kFileBytes) : WacFile(signal, kFileBytes);
    const auto dir = std::filesystem::temp_directory_path() / ("packsmith-bench-" + std::to_string(getpid()));
    const auto input = WriteInto(dir, music ? "sound.was" : "sound.wac", file);
    std::uint64_t decoded = 0;
    for (auto _ : state) {
        SoundStream stream(input.string(), music);
        const SoundSummary& summary = stream.Summary();
        PeaksBuilder peaks(summary.Channels, summary.BitsPerSample, summary.DecodedBytes / 2, kPeakColumns);
        while (!stream.AtEnd())
            peaks.Add(stream.Next(std::size_t{64} << 10));
        benchmark::DoNotOptimize(peaks.Peaks().Low.data());
        decoded = summary.DecodedBytes;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * decoded));
    state.counters["coded_MB"] = static_cast<double>(file.size()) / (1 << 20);
    std::filesystem::remove_all(dir);
}

BENCHMARK(DecodeWac)->DenseRange(kSpeech, kMusicLike)->ArgName("speech_noise_music")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeWas)->DenseRange(kSpeech, kRandomCodes)->ArgName("speech_noise_music_random")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeWac)->DenseRange(kTone, kWhiteNoise)->ArgName("tone_music_speech_noise")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeWas)->DenseRange(kTone, kWhiteNoise)->ArgName("tone_music_speech_noise")->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Arg(128)->Arg(256)->ArgName("MB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractThroughCli, wac, false, kSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(ExtractThroughCli, was, true, kSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(ExtractThroughCli, was_random_codes, true, kRandomCodes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(StreamPeaks, wac, false, kSpeech)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(StreamPeaks, was, true, kSpeech)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace packsmith::bench

BENCHMARK_MAIN();
