// The record compressor on real pictures: every .tga file of the folder PACKSMITH_PICTURES
// (bench/real_pictures.sh fetches and converts them) compressed with loss allowed, one
// benchmark each: the time per picture on one thread, and as counters the record's bytes,
// the raw record's, whether it is exact (1), the entries of its table and its PSNR in dB over all four bytes of every
// pixel (0 when exact). Each record is decoded once and checked against the picture: exact
// where it says so, else at the PSNR it states.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteOrder.h"
#include "formats/imagepack/compress/ImageCompressor.h"
#include "formats/imagepack/record/ImageDecoder.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"

namespace packsmith::bench {
namespace {

struct RealPicture {
    std::string Name;
    std::uint32_t Width = 0, Height = 0;
    std::vector<std::uint8_t> Pixels; // rows of Width * 4 bytes, top row first
};

std::vector<std::uint8_t> Rows(const Bitmap32& bitmap)
{
    std::vector<std::uint8_t> rows;
    rows.reserve(std::size_t{bitmap.Width()} * bitmap.Height() * 4);
    for (std::uint32_t y = 0; y < bitmap.Height(); ++y)
        rows.insert(rows.end(), bitmap.Row(y), bitmap.Row(y) + std::size_t{bitmap.Width()} * 4);
    return rows;
}

double MeasuredPsnr(const std::vector<std::uint8_t>& given, const std::vector<std::uint8_t>& decoded)
{
    double squares = 0;
    for (std::size_t i = 0; i < given.size(); ++i)
        squares += (given[i] - decoded[i]) * (given[i] - decoded[i]);
    return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * static_cast<double>(given.size()) / squares);
}

void Compress(benchmark::State& state, const RealPicture& picture)
{
    const std::array<std::uint8_t, image_record::kHeaderBytes> header{};
    std::optional<CompressedPicture> compressed;
    for (auto _ : state) {
        compressed = CompressPicture(picture.Width, picture.Height, picture.Pixels.data(), std::size_t{picture.Width} * 4,
                                     header, PictureLoss::Allowed);
        benchmark::DoNotOptimize(compressed->Record.data());
    }
    std::vector<std::uint8_t> decoded(picture.Pixels.size());
    ImageDecoder().DecodeImageRecord(compressed->Record,
                                     {picture.Width, picture.Height, std::size_t{picture.Width} * 4, decoded.data()});
    const double measured = MeasuredPsnr(picture.Pixels, decoded);
    if (compressed->Exact ? !std::isinf(measured) : std::abs(measured - compressed->Psnr) > 1e-6) {
        state.SkipWithError("the record does not decode to what the compressor says");
        return;
    }
    state.counters["width"] = picture.Width;
    state.counters["height"] = picture.Height;
    state.counters["bytes"] = static_cast<double>(compressed->Record.size());
    state.counters["raw_bytes"] = static_cast<double>(image_record::kHeaderBytes + picture.Pixels.size());
    state.counters["exact"] = compressed->Exact ? 1 : 0;
    state.counters["entries"] = LoadLE16(compressed->Record.data() + image_record::kLastBlockIndexAt);
    state.counters["psnr_dB"] = compressed->Exact ? 0 : compressed->Psnr;
}

} // namespace
} // namespace packsmith::bench

int main(int argc, char** argv)
{
    using namespace packsmith;
    benchmark::Initialize(&argc, argv);
    const char* folder = std::getenv("PACKSMITH_PICTURES");
    if (folder == nullptr) {
        std::cerr << "real_picture_bench: set PACKSMITH_PICTURES to a folder of .tga files (bench/real_pictures.sh does)\n";
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        if (item.path().extension() == ".tga")
            files.push_back(item.path());
    std::sort(files.begin(), files.end());
    const TgaLibrary codec;
    std::vector<std::unique_ptr<bench::RealPicture>> pictures;
    for (const auto& file : files) {
        Bitmap32 bitmap;
        codec.Read(file.string(), *bitmap.ForCodec());
        auto picture = std::make_unique<bench::RealPicture>(
            bench::RealPicture{file.stem().string(), bitmap.Width(), bitmap.Height(), bench::Rows(bitmap)});
        benchmark::RegisterBenchmark(("Compress/" + picture->Name).c_str(), bench::Compress, std::cref(*picture))
            ->Unit(benchmark::kMillisecond);
        pictures.push_back(std::move(picture));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
