// packsmith-cli stopped by SIGINT and SIGTERM at random moments of every kind of long job:
// each stop must be quick and clean (no crash, no sanitizer report, the target directory as
// the earlier run left it), and a run the signal came too late for must have finished whole.
//
// PACKSMITH_STOP_TRIALS sets the moments per kind and signal (3 by default: about a minute
// and a half under the sanitizers on two cores), PACKSMITH_STOP_SEED the seed they are drawn
// from (printed at the start: a failure replays with --gtest_filter on its kind), and
// PACKSMITH_STRESS_CLI another program to stop than the one of this build.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "formats/wave/WaveHeader.h"
#include "io/TextFile.h"
#include "testing/ChildProcess.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PictureFixtures.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Program()
{
    const char* other = std::getenv("PACKSMITH_STRESS_CLI");
    return other != nullptr && *other != '\0' ? other : PACKSMITH_CLI;
}

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 0) : fallback;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void WriteBytes(const std::string& path, const void* data, std::size_t size)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

// ---- The program as a child process -------------------------------------------------------

struct Ended {
    int Status = 0; // as waitpid gives it
    std::string Out, Err;
    double Took = 0; // seconds from the start to the end
};

// Starts the program with its output in files.
pid_t Launch(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath)
{
    return StartChild(Program(), args, {"", 022, outPath, errPath});
}

// The child's status once it has ended, without waiting; nothing while it runs.
std::optional<int> Reap(pid_t child)
{
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child)
        return status;
    return std::nullopt;
}

// Waits for the child up to limit; kills it when it is still there then.
std::optional<int> ReapWithin(pid_t child, Clock::duration limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (const auto status = Reap(child))
            return status;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return std::nullopt;
}

// The signals the child has handlers for now (its SigCgt in /proc), bit n - 1 for signal n.
std::uint64_t SignalsCaught(pid_t child)
{
    std::ifstream status("/proc/" + std::to_string(child) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("SigCgt:"))
            return std::stoull(line.substr(7), nullptr, 16);
    return 0;
}

constexpr std::uint64_t Bit(int number) { return std::uint64_t{1} << (number - 1); }

std::string Describe(int status)
{
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "ended by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    return "status " + std::to_string(status);
}

// Runs the program to its end; the inputs and earlier runs are made this way too.
Ended RunToEnd(const std::vector<std::string>& args, const std::string& logs)
{
    const auto start = Clock::now();
    const pid_t child = Launch(args, logs + "/out.txt", logs + "/err.txt");
    const auto status = ReapWithin(child, std::chrono::minutes(5));
    Ended ended{status.value_or(-1), ReadFileBytes(logs + "/out.txt"), ReadFileBytes(logs + "/err.txt"),
                Seconds(Clock::now() - start)};
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
        throw std::runtime_error("packsmith-cli did not complete (" + (status ? Describe(*status) : "hung") +
                                 "):\n" + ended.Out + ended.Err);
    return ended;
}

// ---- Inputs --------------------------------------------------------------------------------

constexpr int kPictures = 3000;
// Two pictures of the largest size, one for each worker of a two-core machine, so that a
// stop must reach inside a long compression, and two smaller ones for the worker that
// finishes first. Compressing a picture with loss costs a few tenths of a second whatever
// its size, and much more under the sanitizers: a few pictures make a run of seconds.
struct Size {
    std::uint32_t Width, Height;
};
constexpr Size kLargePictures[] = {{1024, 512}, {1024, 512}, {256, 256}, {256, 256}};
constexpr int kSongSeconds = 300;

// A 32-bit TGA as the codec writes it: 18-byte header with no id and no colour map, the
// pixels, then its trailer. Edits are made in the pixels alone.
template <typename Edit>
void EditTga(const std::string& path, Edit edit)
{
    std::string bytes = ReadFileBytes(path);
    const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (bytes.size() < 18 || header[0] != 0 || header[1] != 0 || header[2] != 2 || header[16] != 32)
        throw std::runtime_error(path + " is not the plain 32-bit TGA this test knows how to edit");
    const std::size_t width = header[12] | header[13] << 8u, height = header[14] | header[15] << 8u;
    const std::size_t pixels = width * height;
    if (bytes.size() < 18 + 4 * pixels)
        throw std::runtime_error(path + " is shorter than its pixels");
    edit(reinterpret_cast<std::uint8_t*>(bytes.data()) + 18, pixels);
    WriteBytes(path, bytes.data(), bytes.size());
}

std::vector<std::uint32_t> Pixels(const std::vector<std::uint8_t>& bgra)
{
    std::vector<std::uint32_t> pixels(bgra.size() / 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = bgra[4 * i] | bgra[4 * i + 1] << 8u | bgra[4 * i + 2] << 16u |
                    std::uint32_t{bgra[4 * i + 3]} << 24u;
    return pixels;
}

// What each kind of run reads; made once, when a kind first needs it.
enum class Input { PicturePack, EditedPictures, EditedLarge, Song, PackedWac, PackedWas };

class Inputs {
public:
    static Inputs& Get()
    {
        static Inputs inputs;
        return inputs;
    }

    std::string Path(Input which)
    {
        if (!made_.contains(which)) {
            const auto start = Clock::now();
            made_[which] = Make(which);
            std::printf("made %s in %.1f s\n", made_[which].c_str(), Seconds(Clock::now() - start));
        }
        return made_[which];
    }

private:
    std::string Make(Input which)
    {
        switch (which) {
        case Input::PicturePack: return PicturePack();
        case Input::EditedPictures: return EditedExtraction(Path(Input::PicturePack), "edited", FlipFirstPixel);
        case Input::EditedLarge: return EditedExtraction(LargePack(), "edited-large", Noise);
        case Input::Song: return Song();
        case Input::PackedWac: return Packed("wac");
        case Input::PackedWas: return Packed("was");
        }
        throw std::logic_error("unknown input");
    }

    // Small pictures of every kind a game holds, each different, so that they cost the
    // decoder and the compressor different amounts of work.
    std::string PicturePack()
    {
        static const PictureKind kinds[] = {PictureKind::Photo, PictureKind::Interface, PictureKind::Sprites};
        static const char* const extensions[] = {"BMP", "PCX", "TGA"};
        std::vector<PackPicture> pictures;
        for (int i = 0; i < kPictures; ++i) {
            const auto seed = static_cast<std::uint32_t>(i + 1);
            ImageEncoderOptions options;
            options.Seed = seed;
            char name[32];
            std::snprintf(name, sizeof name, "ART\\P%04d.%s", i, extensions[i % 3]);
            const auto pixels = Pixels(MakePicture(kinds[i % 3], 32, 32, seed));
            pictures.push_back({name, EncodeImageRecord(32, 32, pixels, options).Record});
        }
        const auto pack = BuildImagePack(pictures);
        const std::string path = dir_ / "pictures.at3";
        WriteBytes(path, pack.data(), pack.size());
        return path;
    }

    // Large pictures of a few flat tiles: the source pack holds them as small compressed
    // records, and the edit turns each into noise, the hardest work for a lossy replay.
    std::string LargePack()
    {
        static const std::uint32_t palette[] = {0xFF203040, 0xFF8090A0, 0xFFE0C010, 0xFF10E0C0, 0xFF000000, 0xFFFFFFFF};
        std::vector<PackPicture> pictures;
        unsigned shift = 0;
        for (const auto [width, height] : kLargePictures) {
            std::vector<std::uint32_t> pixels(std::size_t{width} * height);
            for (std::uint32_t y = 0; y < height; ++y)
                for (std::uint32_t x = 0; x < width; ++x)
                    pixels[std::size_t{y} * width + x] = palette[(x / 32 + y / 32 * 3 + shift) % 6];
            const std::string name = "BIG" + std::to_string(shift++) + ".BMP";
            pictures.push_back({name, EncodeImageRecord(width, height, pixels, {}).Record});
        }
        const auto pack = BuildImagePack(pictures);
        const std::string path = dir_ / "large.at3";
        WriteBytes(path, pack.data(), pack.size());
        return path;
    }

    static void FlipFirstPixel(std::uint8_t* pixels, std::size_t)
    {
        pixels[0] ^= 0x5A;
        pixels[3] ^= 0x80; // alpha too, so the edit shows however transparent pixels compare
    }

    static void Noise(std::uint8_t* pixels, std::size_t count)
    {
        std::uint32_t state = static_cast<std::uint32_t>(count) * 2654435761u + pixels[1];
        for (std::size_t i = 0; i < count; ++i) {
            state = state * 1664525u + 1013904223u;
            pixels[4 * i] = static_cast<std::uint8_t>(state >> 24);
            pixels[4 * i + 1] = static_cast<std::uint8_t>(state >> 16);
            pixels[4 * i + 2] = static_cast<std::uint8_t>(state >> 8);
            pixels[4 * i + 3] = 0xFF;
        }
    }

    // Extracts the pack into folder and edits every picture its log lists; returns the log.
    std::string EditedExtraction(const std::string& pack, const std::string& folder,
                                 void (*edit)(std::uint8_t*, std::size_t))
    {
        const std::string target = dir_ / folder;
        RunToEnd({"-q", "-o", target, pack}, dir_.Path());
        int edited = 0;
        for (const auto& line : ReadTextFile(target + "/result.log"))
            if (!line.empty() && line[0] != '#') {
                EditTga(line, edit);
                ++edited;
            }
        if (edited == 0)
            throw std::runtime_error("the extraction of " + pack + " listed no pictures");
        return target + "/result.log";
    }

    // Five minutes of stereo 16-bit sound at 44.1 kHz: two chords that drift apart, over a
    // quiet hiss, so that neither packer finds it trivial.
    std::string Song()
    {
        const std::size_t frames = std::size_t{kSongSeconds} * 44100;
        std::vector<std::int16_t> samples(2 * frames);
        std::uint32_t noise = 12345;
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / 44100;
            const double drift = 1 + 0.02 * std::sin(2 * M_PI * t / 37);
            for (int c = 0; c < 2; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const double base = c == 0 ? 220 : 330;
                const double v = 7000 * std::sin(2 * M_PI * base * t) +
                                 5000 * std::sin(2 * M_PI * base * 1.25 * drift * t) +
                                 4000 * std::sin(2 * M_PI * base * 1.5 / drift * t) +
                                 static_cast<double>(noise >> 22) - 512;
                samples[2 * i + static_cast<std::size_t>(c)] =
                    static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
            }
        }
        const auto header = MakeWaveHeader({2, 44100}, static_cast<std::uint32_t>(2 * samples.size()));
        std::string bytes(header.begin(), header.end());
        bytes.append(reinterpret_cast<const char*>(samples.data()), 2 * samples.size()); // little-endian, as the host
        const std::string path = dir_ / "song.wav";
        WriteBytes(path, bytes.data(), bytes.size());
        return path;
    }

    std::string Packed(const std::string& format)
    {
        RunToEnd({"-q", "--pack", format, "-o", dir_ / "packed", Path(Input::Song)}, dir_.Path());
        return dir_ / ("packed/song." + format);
    }

    TempDir dir_;
    std::map<Input, std::string> made_;
};

// ---- The target directory --------------------------------------------------------------------

// Every name under a directory, hidden ones included, with its bytes ("<dir>" for a
// directory, "<link>" for a link: neither is followed).
using Tree = std::map<std::string, std::string>;

Tree Snapshot(const std::string& root)
{
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(item.path(), root).string();
        if (item.is_symlink())
            tree[name] = "<link>";
        else if (item.is_directory())
            tree[name] = "<dir>";
        else
            tree[name] = ReadFileBytes(item.path().string());
    }
    return tree;
}

// What differs between two trees, a few names of each sort; empty when they are the same.
std::string Differences(const Tree& earlier, const Tree& now, const std::string& except = "")
{
    std::vector<std::string> extra, missing, changed;
    for (const auto& [name, bytes] : now)
        if (name != except && !earlier.contains(name))
            extra.push_back(name);
    for (const auto& [name, bytes] : earlier) {
        if (name == except)
            continue;
        const auto found = now.find(name);
        if (found == now.end())
            missing.push_back(name);
        else if (found->second != bytes)
            changed.push_back(name + " (" + std::to_string(found->second.size()) + " bytes, were " +
                              std::to_string(bytes.size()) + ")");
    }
    std::string text;
    const auto list = [&](const char* what, const std::vector<std::string>& names) {
        if (names.empty())
            return;
        text += std::string(what) + " " + std::to_string(names.size()) + ":";
        for (std::size_t i = 0; i < std::min<std::size_t>(names.size(), 5); ++i)
            text += " " + names[i];
        text += names.size() > 5 ? " ...\n" : "\n";
    };
    list("extra", extra);
    list("missing", missing);
    list("changed", changed);
    return text;
}

std::string Within(const std::string& root, const std::string& path)
{
    return path.starts_with(root + "/") ? path.substr(root.size() + 1) : path;
}

// A whole run of the same command over the earlier one's files. Files of the same name were
// replaced by the same bytes (the runs are deterministic); an extraction of a pack instead
// took fresh names for its pictures, which its new log lists where the earlier log listed
// the earlier pictures, with the same bytes.
std::string CompletedDifferences(const Tree& earlier, const Tree& now, const std::string& target, bool freshNames)
{
    if (!freshNames)
        return Differences(earlier, now);
    const std::string log = "result.log";
    if (!now.contains(log) || !earlier.contains(log))
        return "no result.log\n";
    const auto before = SplitTextLines(earlier.at(log)), after = SplitTextLines(now.at(log));
    if (before.size() != after.size())
        return "result.log has " + std::to_string(after.size()) + " lines, the earlier one " +
               std::to_string(before.size()) + "\n";
    Tree expected = earlier;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i].empty() || after[i][0] == '#') {
            if (after[i] != before[i])
                return "result.log line " + std::to_string(i + 1) + " is " + after[i] + ", was " + before[i] + "\n";
            continue;
        }
        const std::string name = Within(target, after[i]);
        if (earlier.contains(name))
            return "result.log line " + std::to_string(i + 1) + " names an earlier file: " + name + "\n";
        const auto was = earlier.find(Within(target, before[i]));
        if (was == earlier.end())
            return "the earlier result.log names a file that is not there: " + before[i] + "\n";
        expected[name] = was->second;
    }
    return Differences(expected, now, log);
}

// ---- The kinds of run ------------------------------------------------------------------------

struct Kind {
    const char* Name;
    std::vector<std::string> Options;
    Input Source;
    bool FreshNames; // pictures of a pack never replace a file: they take the next free name
};

const Kind kKinds[] = {
    {"ExtractOneThread", {"-j", "1"}, Input::PicturePack, true},
    {"ExtractEveryCore", {}, Input::PicturePack, true},
    {"ReplayEdited", {}, Input::EditedPictures, false},
    {"ReplayLossy", {"--compress", "lossy"}, Input::EditedLarge, false},
    {"PackWac", {"--pack", "wac"}, Input::Song, false},
    {"PackWas", {"--pack", "was"}, Input::Song, false},
    {"ExtractWas", {}, Input::PackedWas, false},
    {"ExtractWac", {}, Input::PackedWac, false},
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.Name; }

struct Figures {
    std::string Kind;
    const char* Signal = "";
    int Trials = 0, Stopped = 0, Completed = 0;
    int EndedFirst = 0;            // of the completed: ended before the moment came, no signal sent
    std::vector<double> Latencies; // seconds from the signal to the end, of the trials that got one
    double FullRun = 0;
};

std::vector<Figures>& AllFigures()
{
    static std::vector<Figures> figures;
    return figures;
}

std::string FiguresLine(const Figures& f)
{
    std::vector<double> sorted = f.Latencies;
    std::sort(sorted.begin(), sorted.end());
    char line[320];
    const int used = std::snprintf(line, sizeof line,
                                   "%-16s %-7s whole run %6.2f s  trials %3d: "
                                   "stopped %3d, completed %3d (%d before the signal)",
                                   f.Kind.c_str(), f.Signal, f.FullRun, f.Trials, f.Stopped, f.Completed, f.EndedFirst);
    if (!sorted.empty() && used > 0) {
        const std::size_t n = sorted.size();
        const double median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used),
                      "  signal to exit: median %4.0f ms, max %4.0f ms", 1000 * median, 1000 * sorted.back());
    }
    return line;
}

unsigned long Trials() { return EnvNumber("PACKSMITH_STOP_TRIALS", 3); }

unsigned long Seed()
{
    static const unsigned long seed = [] {
        const unsigned long s = EnvNumber("PACKSMITH_STOP_SEED", 20240611);
        std::printf("stop stress: program %s, seed %lu (PACKSMITH_STOP_SEED), %lu trials per kind and signal "
                    "(PACKSMITH_STOP_TRIALS)\n",
                    Program().c_str(), s, Trials());
        return s;
    }();
    return seed;
}

// The trials' moments are drawn from the first part of a whole run's length, so that most
// of them come while it runs even where a run takes a little less than the measured one.
constexpr double kLatestMoment = 0.8;

// One run stopped at one moment.
struct Trial {
    std::optional<int> Status; // nothing when it had to be killed
    bool Signalled = false;    // false when the run ended before the moment came
    bool SawHandler = false;   // the program was seen catching the signal sent
    double SentAt = 0;         // seconds from the start to the signal
    double Latency = 0;        // seconds from the signal to the end
    std::string Out, Err;
};

Trial StopAt(const std::vector<std::string>& args, int number, double delay, const std::string& logs)
{
    Trial trial;
    const pid_t child = Launch(args, logs + "/out.txt", logs + "/err.txt");
    const auto start = Clock::now();
    // A signal before the program has taken the stop signals over ends it by their default
    // action, as it would any program still loading: the moment is put off until it catches
    // one of them (all are taken over at once), for at most 5 s.
    std::uint64_t caught = 0;
    const std::uint64_t stopSignals = Bit(SIGINT) | Bit(SIGTERM) | Bit(SIGHUP);
    while (!(trial.Status = Reap(child))) {
        if ((caught & stopSignals) == 0)
            caught |= SignalsCaught(child);
        const auto waited = Clock::now() - start;
        const bool ready = (caught & stopSignals) != 0 || waited > std::chrono::seconds(5);
        if (ready && waited >= std::chrono::duration<double>(delay))
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    trial.SawHandler = (caught & Bit(number)) != 0;
    if (!trial.Status) {
        kill(child, number);
        const auto sent = Clock::now();
        trial.Signalled = true;
        trial.SentAt = Seconds(sent - start);
        trial.Status = ReapWithin(child, std::chrono::seconds(60));
        trial.Latency = Seconds(Clock::now() - sent);
    }
    trial.Out = ReadFileBytes(logs + "/out.txt");
    trial.Err = ReadFileBytes(logs + "/err.txt");
    return trial;
}

class StopStress : public ::testing::TestWithParam<Kind> {
public:
    static void TearDownTestSuite()
    {
        std::printf("\nstop stress summary (seed %lu):\n", Seed());
        for (const auto& f : AllFigures())
            std::printf("  %s\n", FiguresLine(f).c_str());
        std::fflush(stdout);
    }
};

TEST_P(StopStress, EachStopIsQuickAndLeavesTheEarlierFiles)
{
    const Kind& kind = GetParam();
    const unsigned long seed = Seed();
    const int trials = static_cast<int>(Trials());
    const std::string input = Inputs::Get().Path(kind.Source);
    TempDir work;
    const std::string target = work / "target", earlierCopy = work / "earlier";
    std::vector<std::string> args = kind.Options;
    args.insert(args.end(), {"-o", target, input});

    // The earlier run, complete, into an empty target, kept aside to put back before each
    // trial: every name the run writes exists already.
    const Ended first = RunToEnd(args, work.Path());
    fs::rename(target, earlierCopy);
    const Tree earlier = Snapshot(earlierCopy);
    // A clean stop leaves the target as it was: only after anything else is it put back.
    bool asEarlier = false;
    const auto prepare = [&] {
        if (asEarlier)
            return;
        fs::remove_all(target);
        fs::copy(earlierCopy, target, fs::copy_options::recursive);
        asEarlier = true;
    };

    // A whole run over those files. The shorter of the two runs sets how long the trials
    // wait at most.
    prepare();
    const Ended full = RunToEnd(args, work.Path());
    asEarlier = false;
    const double fullRun = std::min(first.Took, full.Took);
    ASSERT_NE(full.Out.find("Operation complete!"), std::string::npos) << full.Out;
    ASSERT_EQ(CompletedDifferences(earlier, Snapshot(target), target, kind.FreshNames), "") << "after a whole run";

    // Each kind draws from a sequence of its own, so one kind replays alone.
    std::seed_seq sequence{seed, std::hash<std::string>{}(kind.Name)};
    std::mt19937_64 random(sequence);
    for (const int number : {SIGINT, SIGTERM}) {
        Figures figures;
        figures.Kind = kind.Name;
        figures.Signal = number == SIGINT ? "SIGINT" : "SIGTERM";
        figures.FullRun = fullRun;
        for (int i = 0; i < trials; ++i) {
            const double delay = std::uniform_real_distribution<double>(0, kLatestMoment * fullRun)(random);
            prepare();
            const Trial trial = StopAt(args, number, delay, work.Path());
            ++figures.Trials;
            if (trial.Signalled)
                figures.Latencies.push_back(trial.Latency);
            else
                ++figures.EndedFirst;

            std::vector<std::string> problems;
            for (const char* report : {"AddressSanitizer", "runtime error", "LeakSanitizer", "ThreadSanitizer"})
                if (trial.Err.find(report) != std::string::npos)
                    problems.push_back(std::string(report) + " on stderr");
            if (trial.Signalled && trial.Latency >= 1.0)
                problems.push_back("it ended " + std::to_string(trial.Latency) + " s after the signal");
            const bool runStopped = trial.Out.find("Operation stopped.") != std::string::npos;
            const bool runCompleted = trial.Out.find("Operation complete!") != std::string::npos;
            // The job's own line says whether it was cut short: a stop that comes after the
            // job's last file still stops the run, but the job is whole.
            const bool jobStopped =
                trial.Out.find(", stopped") != std::string::npos || trial.Out.find(": stopped") != std::string::npos;
            const bool jobWhole = !jobStopped && (runStopped || runCompleted);
            const int status = trial.Status.value_or(-1);
            if (!trial.Status) {
                problems.push_back("still running 60 s after the signal; killed");
            } else if (WIFSIGNALED(status) && WTERMSIG(status) == number && trial.SawHandler && runCompleted) {
                // The signal came after the program had given the stop signals back on its way
                // out, and ended it by their default action: the run itself was whole.
            } else if (!WIFEXITED(status)) {
                problems.push_back(Describe(status));
            } else if (runStopped) {
                if (WEXITSTATUS(status) != 128 + number)
                    problems.push_back("stopped with " + Describe(status) + ", not " + std::to_string(128 + number));
            } else if (!runCompleted || WEXITSTATUS(status) != 0) {
                problems.push_back("neither stopped nor complete: " + Describe(status));
            }

            // A job may finish when the signal finds it at its very end, but not when at least
            // half of a run was still to come and it went on for longer than a stop may take.
            if (trial.Signalled && jobWhole && trial.SentAt < 0.5 * fullRun && trial.Latency > 0.2)
                problems.push_back("the signal was not heeded: the job went on to its end, " +
                                   std::to_string(trial.Latency) + " s after it");

            const Tree now = Snapshot(target);
            asEarlier = now == earlier;
            std::string differences;
            if (!jobWhole) {
                ++figures.Stopped;
                differences = Differences(earlier, now);
            } else {
                ++figures.Completed;
                differences = CompletedDifferences(earlier, now, target, kind.FreshNames);
            }
            if (!differences.empty())
                problems.push_back(std::string("the target directory is not as ") +
                                   (jobWhole ? "a whole run leaves it" : "the earlier run left it") + ":\n" +
                                   differences);

            if (!problems.empty()) {
                std::string list;
                for (const auto& problem : problems)
                    list += "  " + problem + "\n";
                ADD_FAILURE() << kind.Name << ", " << figures.Signal << ", trial " << i << ": signal "
                              << (trial.Signalled ? "sent " + std::to_string(trial.SentAt) + " s"
                                                  : "not sent (ended before " + std::to_string(delay) + " s)")
                              << " after the start; seed " << seed << ", full run " << fullRun << " s\n"
                              << list << "stdout:\n" << trial.Out << "stderr:\n" << trial.Err;
            }
        }
        std::printf("%s\n", FiguresLine(figures).c_str());
        std::fflush(stdout);
        AllFigures().push_back(std::move(figures));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, StopStress, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace packsmith::test
