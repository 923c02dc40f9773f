// Image record decoding: megapixels and bytes of bitmap per second for small, medium and
// large pictures, full and half-row, beside a memcpy of the bitmap's bytes; records per
// second for the smallest.
#include <benchmark/benchmark.h>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "decomp/ImageDecoder.h"
#include "encode/ImageEncoder.h"
#include "bench/MemcpyBaseline.h"

namespace packsmith::bench {
namespace {

// A picture of the kind a game keeps: areas of a few hundred colours with repeated tiles,
// built from at most 4095 distinct blocks of 4 pixels, with transparent margins.
std::vector<std::uint32_t> GamePicture(std::uint32_t width, std::uint32_t height)
{
    std::mt19937 random(width * 131 + height);
    std::vector<std::uint32_t> palette(4095);
    for (auto& colour : palette)
        colour = 0xFF000000u | (random() & 0x7F7F7F); // bytes below 128 suit half-row mode too
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    const std::uint32_t blocksPerRow = width / 4;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t b = 0; b < blocksPerRow; ++b) {
            const bool margin = b < blocksPerRow / 16 || y < height / 16;
            // Tiles of 8 x 8 blocks repeat with a small variation, so every code finds use.
            const std::uint32_t tile = ((b / 8) * 7 + (y / 8) * 3) % 61;
            const std::uint32_t block = margin ? 0 : (tile * 64 + (b % 8) * 8 + (y % 8) + (random() % 23 == 0)) % 4095;
            for (std::uint32_t p = 0; p < 4; ++p)
                pixels[std::size_t{y} * width + 4 * b + p] = margin ? 0 : palette[(block * 4 + p) % palette.size()];
        }
    }
    return pixels;
}

const EncodedImage& Record(std::uint32_t width, std::uint32_t height, bool halfRows)
{
    static std::map<std::tuple<std::uint32_t, std::uint32_t, bool>, EncodedImage> records;
    auto& record = records[{width, height, halfRows}];
    if (record.Record.empty()) {
        ImageEncoderOptions options;
        options.HalfRows = halfRows;
        record = EncodeImageRecord(width, height, GamePicture(width, height), options);
    }
    return record;
}

void Decode(benchmark::State& state)
{
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const bool halfRows = state.range(2) != 0;
    const EncodedImage& record = Record(width, height, halfRows);
    std::vector<std::uint8_t> bitmap(std::size_t{width} * height * 4);
    ImageDecoder decoder;
    const BitmapView view{width, height, std::size_t{width} * 4, bitmap.data()};
    for (auto _ : state) {
        decoder.DecodeImageRecord(record.Record, view);
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    if (bitmap != record.Expected)
        state.SkipWithError("the decoded bitmap differs from the encoder's");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bitmap.size()));
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(width) * height / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
    state.counters["records/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["record_KB"] = static_cast<double>(record.Record.size()) / 1024;
}

void MemcpyBitmap(benchmark::State& state)
{
    MemcpyBaseline(state, static_cast<std::size_t>(state.range(0) * state.range(1) * 4));
}

BENCHMARK(Decode)
    ->ArgNames({"w", "h", "half"})
    ->Args({32, 32, 0})
    ->Args({32, 32, 1})
    ->Args({256, 256, 0})
    ->Args({256, 256, 1})
    ->Args({1024, 512, 0})
    ->Args({1024, 512, 1});
BENCHMARK(MemcpyBitmap)->ArgNames({"w", "h"})->Args({32, 32})->Args({256, 256})->Args({1024, 512});

} // namespace
} // namespace packsmith::bench

BENCHMARK_MAIN();
