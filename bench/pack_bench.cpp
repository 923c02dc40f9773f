// Extraction of whole image packs through packsmith-cli, beside tar -x of an archive of the
// same output files (the file system's own cost of creating them), and rebuilding the packs
// from their pictures, every one of them edited, beside tar -c of the same files. The
// extraction and the rebuild run on one thread (j:1) and on one per core (j:0).
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <unistd.h>

#include "cli/CliApp.h"
#include "platform/FileSystem.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"

namespace packsmith::bench {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint32_t> Sprite(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint32_t> palette(64);
    for (auto& colour : palette)
        colour = 0xFF000000u | (random() & 0x7F7F7F);
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            pixels[std::size_t{y} * width + x] = palette[((x / 4) * 5 + (y / 3) * 7 + seed) % palette.size()];
    return pixels;
}

// A work directory holding the pack and, once extracted, a tar archive of its output.
struct PackFixture {
    fs::path Directory;
    fs::path Pack;
    fs::path Archive;
    fs::path EditedLog; // replays the pictures into a pack of other pictures: every one replaced
};

// The fixtures, removed with everything in them when the program ends.
struct Fixtures : std::map<std::uint32_t, PackFixture> {
    ~Fixtures()
    {
        std::error_code ignored;
        for (const auto& [count, fixture] : *this)
            fs::remove_all(fixture.Directory, ignored);
    }
};

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

const PackFixture& Fixture(std::uint32_t count, std::uint32_t width, std::uint32_t height)
{
    static Fixtures fixtures;
    PackFixture& fixture = fixtures[count];
    if (!fixture.Directory.empty())
        return fixture;
    fixture.Directory = fs::temp_directory_path() / ("packsmith-pack-bench-" + std::to_string(getpid()) + "-" +
                                                      std::to_string(count));
    fs::create_directories(fixture.Directory);
    std::vector<PackPicture> pictures;
    for (std::uint32_t i = 0; i < count; ++i)
        pictures.push_back({"SPRITES\\S" + std::to_string(i) + ".BMP",
                            EncodeImageRecord(width, height, Sprite(width, height, i), {}).Record});
    fixture.Pack = fixture.Directory / "sprites.at3";
    WriteFile(fixture.Pack, BuildImagePack(pictures));
    // A pack of the same names and sizes holding other pictures: the extracted ones all
    // differ from its records, so a replay into it replaces every one.
    for (std::uint32_t i = 0; i < count; ++i)
        pictures[i].Record = EncodeImageRecord(width, height, Sprite(width, height, i + count), {}).Record;
    const fs::path other = fixture.Directory / "other" / "sprites.at3";
    fs::create_directories(other.parent_path());
    WriteFile(other, BuildImagePack(pictures));
    // The archive holds exactly what an extraction writes.
    std::ostringstream out, err;
    RunCli({"-q", "-o", (fixture.Directory / "reference").string(), fixture.Pack.string()}, out, err);
    fixture.Archive = fixture.Directory / "reference.tar";
    const std::string command = "tar -cf '" + fixture.Archive.string() + "' -C '" +
                                (fixture.Directory / "reference").string() + "' .";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("tar -c failed");
    std::ifstream extracted(fixture.Directory / "reference" / "result.log", std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(extracted)), std::istreambuf_iterator<char>());
    const std::string source = "#Source: " + fixture.Pack.string();
    log.replace(log.find(source), source.size(), "#Source: " + other.string());
    fixture.EditedLog = fixture.Directory / "edited.log";
    std::ofstream(fixture.EditedLog, std::ios::binary) << log;
    return fixture;
}

const PackFixture& FixtureFor(const benchmark::State& state)
{
    return Fixture(static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)),
                   static_cast<std::uint32_t>(state.range(2)));
}

// Times one job per iteration, each into a fresh, empty directory made outside the timing.
// job returns an error message, empty when it succeeded.
void TimeIntoFreshDirectory(benchmark::State& state, const fs::path& directory,
                            const std::function<std::string()>& job)
{
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(directory);
        fs::create_directories(directory);
        state.ResumeTiming();
        if (const std::string error = job(); !error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["pictures/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                      benchmark::Counter::kIsIterationInvariantRate);
}

std::string Cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    return RunCli(args, out, err) == 0 ? std::string() : err.str();
}

std::string Shell(const std::string& command)
{
    return std::system(command.c_str()) == 0 ? std::string() : command + " failed";
}

// -j as the benchmark's fourth argument gives it: 0 for one thread per core.
std::vector<std::string> Threads(const benchmark::State& state)
{
    return state.range(3) == 0 ? std::vector<std::string>{} : std::vector<std::string>{"-j", std::to_string(state.range(3))};
}

void ExtractPack(benchmark::State& state)
{
    const auto& f = FixtureFor(state);
    const fs::path out = f.Directory / "out";
    std::vector<std::string> args = Threads(state);
    args.insert(args.end(), {"-q", "-o", out.string(), f.Pack.string()});
    TimeIntoFreshDirectory(state, out, [&] { return Cli(args); });
}

void UntarSameFiles(benchmark::State& state)
{
    const auto& f = FixtureFor(state);
    const fs::path out = f.Directory / "untar";
    TimeIntoFreshDirectory(state, out, [&] {
        return Shell("tar -xf '" + f.Archive.string() + "' -C '" + out.string() + "'");
    });
}

// Rebuilding the pack from its extracted pictures, every one replaced: stored raw (the same
// bytes as the files tar reads, raw:1) or as compressed records where exact (the default).
void RebuildPack(benchmark::State& state)
{
    const auto& f = FixtureFor(state);
    const fs::path out = f.Directory / "rebuilt";
    std::vector<std::string> args = Threads(state);
    if (state.range(4) != 0)
        args.insert(args.end(), {"--compress", "raw"});
    args.insert(args.end(), {"-q", "-o", out.string(), f.EditedLog.string()});
    TimeIntoFreshDirectory(state, out, [&] { return Cli(args); });
}

// The same files read and as many bytes written: an archive of the pictures and the pack.
void TarSameFiles(benchmark::State& state)
{
    const auto& f = FixtureFor(state);
    const fs::path out = f.Directory / "tarred";
    TimeIntoFreshDirectory(state, out, [&] {
        return Shell("tar -cf '" + (out / "all.tar").string() + "' -C '" + f.Directory.string() +
                     "' reference sprites.at3");
    });
}

void PackArgs(benchmark::internal::Benchmark* b, bool threads)
{
    b->ArgNames({"n", "w", "h", "j"})->Unit(benchmark::kMillisecond)->UseRealTime();
    for (const auto& size : {std::vector<std::int64_t>{5000, 32, 32}, std::vector<std::int64_t>{40, 1024, 512}})
        for (const std::int64_t j : threads ? std::vector<std::int64_t>{1, 0} : std::vector<std::int64_t>{0})
            b->Args({size[0], size[1], size[2], j});
}

void RebuildArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"n", "w", "h", "j", "raw"})->Unit(benchmark::kMillisecond)->UseRealTime();
    for (const auto& size : {std::vector<std::int64_t>{5000, 32, 32}, std::vector<std::int64_t>{40, 1024, 512}})
        for (const auto& [j, raw] : {std::pair<std::int64_t, std::int64_t>{1, 1}, {0, 1}, {0, 0}})
            b->Args({size[0], size[1], size[2], j, raw});
}

BENCHMARK(ExtractPack)->Apply([](auto* b) { PackArgs(b, true); });
BENCHMARK(UntarSameFiles)->Apply([](auto* b) { PackArgs(b, false); });
BENCHMARK(RebuildPack)->Apply(RebuildArgs);
BENCHMARK(TarSameFiles)->Apply([](auto* b) { PackArgs(b, false); });

} // namespace
} // namespace packsmith::bench

BENCHMARK_MAIN();
