// packsmith-cli stopped from outside: SIGTERM and SIGHUP sent to the real program in the
// middle of a run.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "formats/wave/WaveHeader.h"
#include "io/TextFile.h"
#include "testing/Bytes.h"
#include "testing/ChildProcess.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;

// Samples that keep every code of the packed formats busy.
std::vector<std::int16_t> Noise(std::size_t count)
{
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>((i * 7919 % 5000) * (i % 300 < 150 ? 1 : -1));
    return samples;
}

std::string WaveFile(const std::vector<std::int16_t>& samples)
{
    const auto header = MakeWaveHeader({}, static_cast<std::uint32_t>(2 * samples.size()));
    std::string bytes(header.begin(), header.end());
    bytes.append(reinterpret_cast<const char*>(samples.data()), 2 * samples.size());
    return bytes;
}

// Starts the program in dir with its standard output and error sent to files there.
pid_t Start(const std::vector<std::string>& args, const TempDir& dir)
{
    return StartChild(PACKSMITH_CLI, args, {dir.Path(), 022, dir / ".stdout", dir / ".stderr"});
}

// Waits until the program has printed its first line (its first job has begun or ended),
// or has ended; false after ten seconds.
bool WaitForFirstLine(pid_t child, const TempDir& dir)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadFileBytes(dir / ".stdout").find('\n') != std::string::npos)
            return true;
        siginfo_t info {};
        if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Every file under directory whose name starts with ".", as the writer's temporary ones do.
std::vector<std::string> TemporaryFiles(const std::string& directory)
{
    std::vector<std::string> found;
    for (const auto& item : fs::recursive_directory_iterator(directory))
        if (item.path().filename().string()[0] == '.')
            found.push_back(item.path().string());
    return found;
}

// Many jobs of 2 MB of sound each, so the run is still going when the signal comes: it must
// stop inside the job it is in or before the next. A single long packing job must stop
// inside itself.
constexpr std::size_t kSamples = std::size_t{1} << 20;
constexpr int kJobs = 256;
constexpr std::size_t kPackedSamples = std::size_t{48} << 20;

struct SignalRow {
    const char* Name;
    int Signal;
    int Status;
    std::vector<std::string> Options;
    const char* Extension; // of the jobs
    const char* Output;    // of what each job writes
    int Jobs;
};

const SignalRow kSignalRows[] = {
    {"ExtractWacOnTerm", SIGTERM, 143, {}, ".wac", ".wav", kJobs},
    {"ExtractWasOnHangup", SIGHUP, 129, {}, ".was", ".wav", kJobs},
    {"PackWacOnTerm", SIGTERM, 143, {"--pack", "wac"}, ".wav", ".wac", 1},
};

void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.Name; }

class CliSignal : public ::testing::TestWithParam<SignalRow> {};

TEST_P(CliSignal, StopsTheRunCleanlyWithTheSignalsStatus)
{
    const SignalRow& row = GetParam();
    TempDir dir;
    const std::string extension = row.Extension;
    const std::string input = extension == ".wac"   ? AsString(EncodeWacFile(Noise(kSamples)))
                              : extension == ".was" ? AsString(EncodeWasFile(Noise(kSamples), {}, 16384))
                                                    : WaveFile(Noise(kPackedSamples));
    const std::string first = dir.Write("s0" + extension, input);
    std::vector<std::string> args = row.Options;
    args.insert(args.end(), {"-o", "OUT"});
    std::vector<std::string> earlier;
    for (int i = 0; i < row.Jobs; ++i) {
        const std::string name = "s" + std::to_string(i);
        if (i > 0)
            fs::create_hard_link(first, dir / (name + extension));
        args.push_back(name + extension);
        earlier.push_back(dir.Write("OUT/" + name + row.Output, "earlier " + name));
    }

    const pid_t child = Start(args, dir);
    const bool started = WaitForFirstLine(child, dir);
    kill(child, row.Signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(started) << ReadFileBytes(dir / ".stderr");
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), row.Status) << ReadFileBytes(dir / ".stderr");
    const std::string out = ReadFileBytes(dir / ".stdout");
    EXPECT_NE(out.find("Operation stopped."), std::string::npos) << out;
    EXPECT_EQ(ReadFileBytes(dir / ".stderr"), "");
    EXPECT_EQ(TemporaryFiles(dir / "OUT"), std::vector<std::string>{});

    // A job the log names as a source wrote its whole output; every other one left the
    // earlier file of its name as it was.
    std::set<std::string> finished;
    if (FileExists(dir / "OUT/result.log"))
        for (const auto& line : ReadTextFile(dir / "OUT/result.log"))
            if (line.starts_with("#Source: "))
                finished.insert(line.substr(9));
    EXPECT_LT(finished.size(), static_cast<std::size_t>(row.Jobs)) << "the run was not stopped";
    for (int i = 0; i < row.Jobs; ++i) {
        const std::string& path = earlier[static_cast<std::size_t>(i)];
        if (finished.contains(dir / ("s" + std::to_string(i) + extension))) {
            EXPECT_EQ(fs::file_size(path), 44 + 2 * kSamples) << path;
        } else {
            // Not the bytes themselves: a replaced file holds megabytes of sound.
            const std::string now = ReadFileBytes(path);
            EXPECT_TRUE(now == "earlier s" + std::to_string(i)) << path << " holds " << now.size() << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CliSignal, ::testing::ValuesIn(kSignalRows),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace packsmith::test
