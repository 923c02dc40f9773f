// Throughput of the two audio decoders in bytes of decoded output, beside a memcpy of the
// same number of bytes, of the two encoders in bytes of input samples, and of whole-file
// extraction through packsmith-cli.
#include <benchmark/benchmark.h>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "bench/AudioSignals.h"
#include "decomp/ByteOrder.h"
#include "cli/CliApp.h"
#include "bench/MemcpyBaseline.h"
#include "decomp/WacDecoder.h"
#include "encode/WacEncoder.h"
#include "decomp/WasDecoder.h"
#include "encode/WasEncoder.h"

namespace packsmith::bench {
namespace {

constexpr std::size_t kEncodedBytes = 64u << 20;
constexpr std::size_t kFileBytes = 100u << 20;

enum Signal { kSpeech, kNoise };

// Samples enough to code into about `bytes` of packed data; noise costs more bits than speech.
std::vector<std::int16_t> SignalFor(Signal signal, std::size_t bytes, double bytesPerSample)
{
    const auto count = static_cast<std::size_t>(static_cast<double>(bytes) / bytesPerSample);
    return signal == kSpeech ? SpeechLike(count) : NoiseLike(count);
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

// A whole 100 MB packed file extracted by packsmith-cli (file reading and writing included).
void ExtractThroughCli(benchmark::State& state, bool music)
{
    const auto& file = music ? WasFile(kSpeech, kFileBytes) : WacFile(kSpeech, kFileBytes);
    const auto dir = std::filesystem::temp_directory_path() / ("packsmith-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto input = dir / (music ? "speech.was" : "speech.wac");
    std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<std::streamsize>(file.size()));
    const auto output = dir / "out" / "speech.wav";
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

BENCHMARK(DecodeWac)->Arg(kSpeech)->Arg(kNoise)->ArgName("noise")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeWas)->Arg(kSpeech)->Arg(kNoise)->ArgName("noise")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeWac)->DenseRange(kTone, kWhiteNoise)->ArgName("tone_music_speech_noise")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeWas)->DenseRange(kTone, kWhiteNoise)->ArgName("tone_music_speech_noise")->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Arg(128)->Arg(256)->ArgName("MB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExtractThroughCli, wac, false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(ExtractThroughCli, was, true)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace packsmith::bench

BENCHMARK_MAIN();
