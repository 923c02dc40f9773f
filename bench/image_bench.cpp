// Image record decoding: bytes of bitmap per second for small, medium and large pictures,
// full and half-row, and the ratio to a memcpy of the same bytes timed in the same run
// (memcpy_ratio, 1 = as fast as copying the bitmap); records per second for every size.
// The 32 x 32 records come in every preferred code kind, decoded in turn.
// Compression of 1024 x 512 pictures of every kind, loss allowed: time per picture, bytes of
// picture per second, the record's size against the raw record's (ratio) and the PSNR in dB
// over all four bytes of every pixel (0 standing for exact).
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <tuple>

#include "bench/MemcpyBaseline.h"
#include "core/ByteOrder.h"
#include "formats/imagepack/compress/ImageCompressor.h"
#include "formats/imagepack/record/ImageDecoder.h"
#include "testing/ImageEncoder.h"
#include "testing/PictureFixtures.h"

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

const IndexCode kCodeKinds[] = {IndexCode::Any,     IndexCode::CopyPrev,  IndexCode::Neighbour, IndexCode::History,
                                 IndexCode::Literal, IndexCode::DeltaPrev, IndexCode::RunPrev};

// The records of one size: one of the picture for large sizes, one per preferred code kind
// for the smallest, where a pack holds many records made in different ways.
const std::vector<EncodedImage>& Records(std::uint32_t width, std::uint32_t height, bool halfRows)
{
    static std::map<std::tuple<std::uint32_t, std::uint32_t, bool>, std::vector<EncodedImage>> records;
    auto& set = records[{width, height, halfRows}];
    if (set.empty()) {
        const auto picture = GamePicture(width, height);
        for (const IndexCode kind : kCodeKinds) {
            ImageEncoderOptions options;
            options.HalfRows = halfRows;
            options.Prefer = kind;
            set.push_back(EncodeImageRecord(width, height, picture, options));
            if (width * height > 32 * 32)
                break;
        }
    }
    return set;
}

// Seconds a memcpy of bytes takes, the best of a few timed batches.
double MemcpySeconds(std::size_t bytes)
{
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    const int perBatch = static_cast<int>(std::max<std::size_t>(1, (64u << 20) / bytes));
    double best = 1e9;
    for (int batch = 0; batch < 5; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < perBatch; ++k) {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / perBatch);
    }
    return best;
}

void Decode(benchmark::State& state)
{
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const bool halfRows = state.range(2) != 0;
    const std::vector<EncodedImage>& records = Records(width, height, halfRows);
    std::vector<std::uint8_t> bitmap(std::size_t{width} * height * 4);
    ImageDecoder decoder;
    const BitmapView view{width, height, std::size_t{width} * 4, bitmap.data()};
    for (const EncodedImage& record : records) {
        decoder.DecodeImageRecord(record.Record, view);
        if (bitmap != record.Expected) {
            state.SkipWithError("the decoded bitmap differs from the encoder's");
            return;
        }
    }
    const double memcpySeconds = MemcpySeconds(bitmap.size());
    std::size_t next = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        decoder.DecodeImageRecord(records[next].Record, view);
        next = next + 1 == records.size() ? 0 : next + 1;
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::size_t recordBytes = 0;
    for (const EncodedImage& record : records)
        recordBytes += record.Record.size();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bitmap.size()));
    state.counters["records/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["record_KB"] = static_cast<double>(recordBytes) / static_cast<double>(records.size()) / 1024;
    // Wall time on both sides: the memcpy was timed by the clock too, in this process, just before.
    state.counters["memcpy_ratio"] = memcpySeconds / (took.count() / static_cast<double>(state.iterations()));
}

void MemcpyBitmap(benchmark::State& state)
{
    MemcpyBaseline(state, static_cast<std::size_t>(state.range(0) * state.range(1) * 4));
}

// The game picture above (at most 4095 distinct blocks, so held exactly), or a made-up one.
std::vector<std::uint8_t> CompressInput(int kind, std::uint32_t width, std::uint32_t height)
{
    if (kind < 0) {
        const auto pixels = GamePicture(width, height);
        std::vector<std::uint8_t> bytes(pixels.size() * 4);
        for (std::size_t p = 0; p < pixels.size(); ++p)
            StoreLE32(bytes.data() + 4 * p, pixels[p]);
        return bytes;
    }
    return MakePicture(static_cast<PictureKind>(kind), width, height, 1);
}

void Compress(benchmark::State& state, int kind)
{
    const std::uint32_t width = 1024, height = 512;
    const std::vector<std::uint8_t> pixels = CompressInput(kind, width, height);
    const std::array<std::uint8_t, 248> header{};
    std::optional<CompressedPicture> picture;
    for (auto _ : state) {
        picture = CompressPicture(width, height, pixels.data(), width * 4, header, PictureLoss::Allowed);
        benchmark::DoNotOptimize(picture->Record.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pixels.size()));
    state.counters["ratio"] = static_cast<double>(picture->Record.size()) / static_cast<double>(248 + pixels.size());
    state.counters["psnr_dB"] = picture->Exact ? 0 : picture->Psnr;
}

BENCHMARK_CAPTURE(Compress, game_exact, -1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compress, photo, static_cast<int>(PictureKind::Photo))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compress, interface, static_cast<int>(PictureKind::Interface))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compress, sprites, static_cast<int>(PictureKind::Sprites))->Unit(benchmark::kMillisecond);

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
