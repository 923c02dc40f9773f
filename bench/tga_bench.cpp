// TGA reading: megabytes per second of BGRA pixels out of ReadTGA for each kind of file the
// tool meets, all of the same 1024x512 picture, beside a memcpy of as many bytes; and the
// alpha at its costliest: zeros everywhere with nothing to say what they mean (looked at
// whole, then made opaque), and premultiplied. The files are made at start-up in a directory
// of their own, removed at exit.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/MemcpyBaseline.h"
#include "targa/TgaBitmap.h"

extern "C" int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags);
extern "C" int ReadTGA(const char* path, TgaBitmap* bitmap);

namespace packsmith::bench {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t Width = 1024;
constexpr std::uint16_t Height = 512;
constexpr std::size_t BgraBytes = std::size_t{Width} * Height * 4;

// A picture of the kind a game keeps: 256 colours, tiles of flat colour (long runs) beside
// noisy ones (hardly a run), and transparent margins.
struct Picture {
    Bytes Palette; // 256 entries of blue, green, red
    Bytes Index;   // top row first
    Bytes Alpha;

    Picture() : Palette(256 * 3), Index(std::size_t{Width} * Height), Alpha(Index.size())
    {
        std::mt19937 random(7);
        for (auto& b : Palette)
            b = static_cast<std::uint8_t>(random());
        for (std::size_t y = 0; y < Height; ++y) {
            for (std::size_t x = 0; x < Width; ++x) {
                const std::size_t tile = (x / 64) * 3 + (y / 32) * 5;
                const std::size_t i = y * Width + x;
                Index[i] = static_cast<std::uint8_t>(tile % 2 ? tile * 37 : random());
                Alpha[i] = x < 32 || y < 16 ? 0 : 255;
            }
        }
    }
    std::uint8_t Grey(std::size_t i) const { return Palette[Index[i] * 3 + 1]; }
};

const Picture& ThePicture()
{
    static const Picture picture;
    return picture;
}

Bytes Header(std::uint8_t type, std::uint8_t bits, std::uint8_t descriptor, bool mapped)
{
    // A map, when there is one, of 256 entries of 24 bits from entry 0.
    const std::uint8_t map = mapped ? 1 : 0;
    return {0, map, type, 0, 0, 0, map, std::uint8_t(map * 24), 0, 0, 0, 0,
            std::uint8_t(Width), std::uint8_t(Width >> 8), std::uint8_t(Height), std::uint8_t(Height >> 8), bits, descriptor};
}

// The pixels as stored, pixelBytes each, in file order: bottom row first unless topDown.
Bytes Stream(std::size_t pixelBytes, bool topDown, const std::function<void(std::size_t, std::uint8_t*)>& store)
{
    Bytes stream(std::size_t{Width} * Height * pixelBytes);
    for (std::size_t row = 0; row < Height; ++row) {
        const std::size_t y = topDown ? row : Height - 1 - row;
        for (std::size_t x = 0; x < Width; ++x)
            store(y * Width + x, stream.data() + (row * Width + x) * pixelBytes);
    }
    return stream;
}

// Run-length packets within each row, as the usual writers make them: a run of two equal
// pixels or more is one packet, anything else goes into raw packets.
Bytes RunLengthRows(const Bytes& stream, std::size_t pixelBytes)
{
    Bytes out;
    const auto pixel = [&](std::size_t i) { return stream.data() + i * pixelBytes; };
    const auto same = [&](std::size_t a, std::size_t b) { return std::equal(pixel(a), pixel(a + 1), pixel(b)); };
    for (std::size_t row = 0; row < Height; ++row) {
        const std::size_t end = (row + 1) * Width;
        for (std::size_t i = row * Width; i < end;) {
            std::size_t run = 1;
            while (i + run < end && run < 128 && same(i, i + run))
                ++run;
            if (run == 1)
                while (i + run < end && run < 128 && !(i + run + 1 < end && same(i + run, i + run + 1)))
                    ++run;
            const bool repeated = run > 1 && same(i, i + 1);
            out.push_back(std::uint8_t((repeated ? 0x80 : 0) | (run - 1)));
            const std::size_t stored = repeated ? 1 : run;
            out.insert(out.end(), pixel(i), pixel(i + stored));
            i += run;
        }
    }
    return out;
}

// An extension area at `at` giving the attributes type, and the footer that points at it.
Bytes Trailer(std::size_t at, std::uint8_t attributes)
{
    Bytes trailer(495 + 26, 0);
    trailer[0] = 495 & 0xFF;
    trailer[1] = 495 >> 8;
    trailer[494] = attributes;
    for (int k = 0; k < 4; ++k)
        trailer[495 + k] = std::uint8_t(at >> (8 * k));
    const std::string signature = "TRUEVISION-XFILE.";
    std::copy(signature.begin(), signature.end(), trailer.begin() + 495 + 8);
    return trailer;
}

struct TgaFile {
    std::string Path;
    Bytes Expected; // BGRA, top row first
};

// The directory of the files, and the files by name.
class Files {
public:
    Files()
    {
        std::string pattern = (fs::temp_directory_path() / "tga_bench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        directory_ = pattern;
        const Picture& p = ThePicture();
        const auto bgra = [&](std::size_t i, std::uint8_t* out) {
            std::copy_n(p.Palette.begin() + p.Index[i] * 3, 3, out);
            out[3] = p.Alpha[i];
        };
        const auto bgr = [&](std::size_t i, std::uint8_t* out) { std::copy_n(p.Palette.begin() + p.Index[i] * 3, 3, out); };
        const auto opaque = [&](std::size_t i, std::uint8_t* out) {
            bgr(i, out);
            out[3] = 255;
        };
        const auto grey = [&](std::size_t i, std::uint8_t* out) { out[0] = p.Grey(i); };
        const auto greyOpaque = [&](std::size_t i, std::uint8_t* out) {
            out[0] = out[1] = out[2] = p.Grey(i);
            out[3] = 255;
        };
        const auto index = [&](std::size_t i, std::uint8_t* out) { out[0] = p.Index[i]; };
        const auto unusedAlpha = [&](std::size_t i, std::uint8_t* out) {
            bgr(i, out);
            out[3] = 0;
        };
        // Premultiplied by an alpha that climbs along each row; read back, the colours are
        // rounded to straight ones again, except where the alpha is 0.
        const auto premultiplied = [&](std::size_t i, std::uint8_t* out) {
            const unsigned a = i % 256;
            for (int c = 0; c < 3; ++c)
                out[c] = std::uint8_t((p.Palette[p.Index[i] * 3 + c] * a + 127) / 255);
            out[3] = std::uint8_t(a);
        };
        const auto straight = [&](std::size_t i, std::uint8_t* out) {
            premultiplied(i, out);
            for (int c = 0; c < 3 && out[3] > 0; ++c)
                out[c] = std::uint8_t(std::min(255u, (out[c] * 510u + out[3]) / (2u * out[3])));
        };

        Bytes pixels = Stream(4, true, bgra);
        const Bytes opaquePixels = Stream(4, true, opaque);
        const std::string written = (directory_ / "32bit_topdown.tga").string();
        const TgaBitmap bitmap{Width, Height, std::size_t{Width} * 4, pixels.data(), nullptr, nullptr};
        if (WriteTGA(written.c_str(), &bitmap, 1) != TgaOk)
            return;
        files_["32bit_topdown"] = {written, pixels};
        Put("32bit_bottomup", Header(2, 32, 8, false), {}, Stream(4, false, bgra), pixels);
        Put("24bit", Header(2, 24, 0, false), {}, Stream(3, false, bgr), opaquePixels);
        Put("32bit_rle", Header(10, 32, 8, false), {}, RunLengthRows(Stream(4, false, bgra), 4), pixels);
        Put("8bit_mapped", Header(1, 8, 0, true), p.Palette, Stream(1, false, index), opaquePixels);
        Put("8bit_grey", Header(3, 8, 0, false), {}, Stream(1, false, grey), Stream(4, true, greyOpaque));
        Put("32bit_alpha_zero", Header(2, 32, 8, false), {}, Stream(4, false, unusedAlpha), opaquePixels);
        Put("32bit_premultiplied", Header(2, 32, 8, false), {}, Stream(4, false, premultiplied), Stream(4, true, straight), 4);
    }
    ~Files()
    {
        std::error_code ignored;
        if (!directory_.empty())
            fs::remove_all(directory_, ignored);
    }
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;

    const TgaFile* Find(const std::string& name) const
    {
        const auto found = files_.find(name);
        return found == files_.end() ? nullptr : &found->second;
    }

private:
    // With attributes, the file ends in a TGA 2.0 trailer giving that attributes type.
    void Put(const std::string& name, const Bytes& header, const Bytes& map, const Bytes& stream, const Bytes& expected,
             std::optional<std::uint8_t> attributes = std::nullopt)
    {
        const std::string path = (directory_ / (name + ".tga")).string();
        std::ofstream file(path, std::ios::binary);
        const Bytes trailer = attributes ? Trailer(header.size() + map.size() + stream.size(), *attributes) : Bytes();
        for (const Bytes* part : {&header, &map, &stream, &trailer})
            file.write(reinterpret_cast<const char*>(part->data()), std::streamsize(part->size()));
        if (file.flush())
            files_[name] = {path, expected};
    }

    fs::path directory_;
    std::map<std::string, TgaFile> files_;
};

// What the tool hands the codec: a bitmap that keeps its memory while the size stays.
struct Bitmap {
    TgaBitmap C{0, 0, 0, nullptr, this, &Bitmap::Resize};
    Bytes Pixels;

    static int Resize(TgaBitmap* self, std::uint32_t width, std::uint32_t height)
    {
        auto* bitmap = static_cast<Bitmap*>(self->Owner);
        bitmap->Pixels.resize(std::size_t{width} * height * 4);
        self->Width = width;
        self->Height = height;
        self->Stride = std::size_t{width} * 4;
        self->Pixels = bitmap->Pixels.data();
        return 1;
    }
};

void AddCounters(benchmark::State& state, std::size_t fileBytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BgraBytes));
    state.counters["MB_out"] = benchmark::Counter(BgraBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
}

void Read(benchmark::State& state, const std::string& name)
{
    static const Files files;
    const TgaFile* file = files.Find(name);
    if (file == nullptr) {
        state.SkipWithError("the file could not be made");
        return;
    }
    Bitmap bitmap;
    int result = TgaOk;
    for (auto _ : state) {
        result = ReadTGA(file->Path.c_str(), &bitmap.C);
        benchmark::DoNotOptimize(bitmap.Pixels.data());
        benchmark::ClobberMemory();
    }
    if (result != TgaOk || bitmap.Pixels != file->Expected) {
        state.SkipWithError("ReadTGA did not give the picture back");
        return;
    }
    AddCounters(state, fs::file_size(file->Path));
}

void Memcpy(benchmark::State& state)
{
    MemcpyBaseline(state, BgraBytes);
    AddCounters(state, BgraBytes);
}

BENCHMARK_CAPTURE(Read, 32bit_topdown, std::string("32bit_topdown"));
BENCHMARK_CAPTURE(Read, 32bit_bottomup, std::string("32bit_bottomup"));
BENCHMARK_CAPTURE(Read, 24bit, std::string("24bit"));
BENCHMARK_CAPTURE(Read, 32bit_rle, std::string("32bit_rle"));
BENCHMARK_CAPTURE(Read, 8bit_mapped, std::string("8bit_mapped"));
BENCHMARK_CAPTURE(Read, 8bit_grey, std::string("8bit_grey"));
BENCHMARK_CAPTURE(Read, 32bit_alpha_zero, std::string("32bit_alpha_zero"));
BENCHMARK_CAPTURE(Read, 32bit_premultiplied, std::string("32bit_premultiplied"));
BENCHMARK(Memcpy);

} // namespace
} // namespace packsmith::bench

BENCHMARK_MAIN();
