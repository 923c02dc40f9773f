// packsmith-cli: arguments, exit statuses, what it prints and the result log it leaves.
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <set>
#include <map>
#include <random>
#include <unistd.h>

#include "cli/CliApp.h"
#include "cli/CliOptions.h"
#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/imagepack/ImagePackFile.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "io/TextFile.h"
#include "platform/Cores.h"
#include "platform/FileSystem.h"
#include "testing/Bytes.h"
#include "testing/ChildProcess.h"
#include "testing/CliRun.h"
#include "testing/FileSizeLimit.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/PictureFixtures.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

// Starts the real executable in directory cwd under the given umask, with both output
// streams sent to files named after tag (so neither is a terminal).
pid_t StartBinary(const std::vector<std::string>& args, const TempDir& cwd, mode_t mask = 022,
                  const std::string& tag = "")
{
    return StartChild(PACKSMITH_CLI, args, {cwd.Path(), mask, cwd / (".stdout" + tag), cwd / (".stderr" + tag)});
}

CliResult WaitForBinary(pid_t child, const TempDir& cwd, const std::string& tag = "")
{
    int status = 0;
    waitpid(child, &status, 0);
    CliResult result;
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.Out = ReadFileBytes(cwd / (".stdout" + tag));
    result.Err = ReadFileBytes(cwd / (".stderr" + tag));
    return result;
}

CliResult RunBinary(const std::vector<std::string>& args, const TempDir& cwd, mode_t mask = 022)
{
    return WaitForBinary(StartBinary(args, cwd, mask), cwd);
}

TEST(CliBinary, TwoPackedWavFilesGiveAFourLineResultLog)
{
    TempDir dir;
    const std::vector<std::int16_t> samples(600, 1000);
    dir.Write("a.wac", AsString(EncodeWacFile(samples)));
    dir.Write("sub dir/b.wac", AsString(EncodeWacFile(samples)));
    const auto result = RunBinary({"-o", "OUT", "a.wac", "sub dir/b.wac"}, dir);
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(ReadFileBytes(dir / "OUT/result.log"), "#Format: WAC\r\n#Source: " + (dir / "a.wac") +
                                                         "\r\n#Format: WAC\r\n#Source: " + (dir / "sub dir/b.wac") +
                                                         "\r\n");
    EXPECT_NE(result.Out.find("Operation complete!"), std::string::npos);
    EXPECT_NE(result.Out.find("Total 3160 bytes extracted."), std::string::npos); // 2 x (44 + 3 x 512)
    EXPECT_EQ(ReadFileBytes(dir / "OUT/a.wav").size(), 44u + 3 * 512);
    EXPECT_EQ(result.Err.find('\033'), std::string::npos) << "a progress line on a stream that is no terminal";
}

TEST(CliBinary, PackedMusicFileBecomesAWaveFile)
{
    TempDir dir;
    std::vector<std::int16_t> samples(5000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 37) % 4000 - 2000);
    dir.Write("y.was", AsString(EncodeWasFile(samples, {}, 1024)));
    const auto result = RunBinary({"-q", "-o", "OUT", "y.was"}, dir);
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Out, "");
    const std::string wav = ReadFileBytes(dir / "OUT/y.wav");
    ASSERT_EQ(wav.size(), 44u + 2 * samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(static_cast<std::int16_t>(static_cast<std::uint8_t>(wav[44 + 2 * i]) |
                                            static_cast<std::uint8_t>(wav[45 + 2 * i]) << 8),
                  QuantiseWasSample(samples[i]))
            << i;
    EXPECT_EQ(ReadFileBytes(dir / "OUT/result.log"), "#Format: WAS\r\n#Source: " + (dir / "y.was") + "\r\n");
}

// Memory stays the same whatever the file's length: the decoded pieces are written and let
// go, not kept (as they once all were, on one thread and on many).
TEST(CliBinary, ALongPackedMusicFileIsNotHeldInMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer holds freed memory back on purpose";
#endif
    TempDir dir;
    const std::size_t count = std::size_t{96} << 20; // 192 MB decoded
    // Made and let go before the program starts: a child's peak counts what it was forked from.
    dir.Write("long.was", AsString(EncodeWasFile(std::vector<std::int16_t>(count, 1000), {}, 8192)));
    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + threads);
        const pid_t child = StartBinary({"-q", "-j", threads, "-o", "OUT", "long.was"}, dir);
        int status = 0;
        rusage usage{};
        ASSERT_EQ(wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(std::filesystem::file_size(dir / "OUT/long.wav"), 44 + 2 * count);
        EXPECT_LT(usage.ru_maxrss, 96 * 1024) << "kilobytes at most, for 192 MB of sound";
    }
}

TEST(CliBinary, MissingCodecLibraryIsNamedNotACrash)
{
    TempDir dir;
    // The program alone, without the codec library that sits beside it in the build.
    const std::string program = dir / "packsmith-cli";
    std::filesystem::copy_file(PACKSMITH_CLI, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::vector<std::uint32_t> pixels(16 * 4, 0x80402010u);
    dir.Write("p.at3", AsString(BuildImagePack({{"a.bmp", EncodeImageRecord(16, 4, pixels, {}).Record}})));
    const std::string command = "cd '" + dir.Path() + "' && ./packsmith-cli -o OUT p.at3 >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFileBytes(dir / "err.txt"),
              "packsmith-cli: " + (dir / "p.at3") + ": Cannot load the TGA codec library " + (dir / "libtarga.so") + ".\n");
}

TEST(CliBinary, TwoRunsExtractingIntoOneDirectoryAtOnceLoseNothing)
{
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i)
        names.push_back("P" + std::to_string(i) + ".BMP");
    const std::string bytes = AsString(BuildImagePack(Named(names)));
    ASSERT_EQ(RunBinary({"-q", "-o", "REF", dir.Write("p.at3", bytes)}, dir).Status, 0);
    // Packs of one name are extracted once a run, so each copy has a name of its own.
    std::vector<std::string> args = {"-q", "-o", "OUT"};
    for (int i = 0; i < 100; ++i)
        args.push_back(dir.Write("p" + std::to_string(i) + ".at3", bytes));
    const pid_t first = StartBinary(args, dir, 022, "1");
    const pid_t second = StartBinary(args, dir, 022, "2");
    EXPECT_EQ(WaitForBinary(first, dir, "1").Status, 0);
    EXPECT_EQ(WaitForBinary(second, dir, "2").Status, 0);

    // 2 x 100 copies of every picture, each whole and under a name of its own.
    std::map<std::string, int> copies;
    for (const auto& item : std::filesystem::directory_iterator(dir / "OUT/BMP")) {
        const std::string name = item.path().filename().string();
        const std::string family = name.substr(0, 2);
        ASSERT_EQ(ReadFileBytes(item.path().string()), ReadFileBytes(dir / ("REF/BMP/" + family + ".BMP.tga"))) << name;
        ++copies[family];
    }
    ASSERT_EQ(copies.size(), names.size());
    for (const auto& [family, count] : copies)
        EXPECT_EQ(count, 200) << family;
    // The log that won names a thousand distinct pictures, every one of them there.
    std::set<std::string> listed;
    for (const auto& line : SplitTextLines(ReadFileBytes(dir / "OUT/result.log"))) {
        if (line[0] != '#') {
            EXPECT_TRUE(listed.insert(line).second && FileExists(line)) << line;
        }
    }
    EXPECT_EQ(listed.size(), 1000u);
}

TEST(CliBinary, OutputsReplaceLinksAndTakeTheUmasksPermissions)
{
    TempDir dir;
    dir.Write("chord.wac", AsString(EncodeWacFile(std::vector<std::int16_t>(600, 700))));
    const std::string pack = dir.Write("p.at3", AsString(BuildImagePack(Named({"a.bmp", "b.bmp"}))));
    const std::string outside = dir.Write("outside.wav", "not to be touched");
    std::filesystem::create_directories(dir / "OUT");
    std::filesystem::create_symlink(outside, dir / "OUT/chord.wav");
    ASSERT_EQ(RunBinary({"-o", "OUT", "chord.wac"}, dir).Status, 0);
    EXPECT_EQ(ReadFileBytes(outside), "not to be touched");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "OUT/chord.wav"));
    EXPECT_EQ(ReadFileBytes(dir / "OUT/chord.wav").size(), 44u + 3 * 512);

    // A link in place of a picture's sub-directory is refused: it leads out of the target.
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directories(dir / "LINKED");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "LINKED/BMP");
    const auto refused = RunBinary({"-o", "LINKED", pack}, dir);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "packsmith-cli: " + pack + ": Cannot create file " + (dir / "LINKED/BMP/a.bmp.tga") +
                               " (its folder is a link, which may lead out of the target)\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));

    // Sound, pictures, logs and rebuilt packs: 0666 less the umask.
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        SCOPED_TRACE(mask);
        const std::string out = "M" + std::to_string(mask), again = out + "R";
        ASSERT_EQ(RunBinary({"-o", out, "chord.wac"}, dir, mask).Status, 0);
        ASSERT_EQ(RunBinary({"-o", out, pack}, dir, mask).Status, 0);
        // The pack's log goes beside the sound's, which lists another source.
        ASSERT_EQ(RunBinary({"-o", again, out + "/result_0000.log"}, dir, mask).Status, 0);
        for (const std::string& file : {out + "/chord.wav", out + "/BMP/a.bmp.tga", out + "/result.log",
                                        out + "/result_0000.log", again + "/p.at3"}) {
            struct stat info {};
            ASSERT_EQ(stat((dir / file).c_str(), &info), 0) << file;
            EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << file;
        }
    }
}

TEST(CliBinary, AKilledRunLeavesOnlyWholeFiles)
{
    TempDir dir;
    const std::vector<std::int16_t> samples(256 * 2000, 300); // 1 MB of output each
    const std::string wac = AsString(EncodeWacFile(samples));
    std::vector<std::string> args = {"-q", "-o", "OUT"};
    for (int i = 0; i < 40; ++i)
        args.push_back(dir.Write("s" + std::to_string(i) + ".wac", wac));
    for (const int delayMs : {5, 30, 80}) {
        SCOPED_TRACE(delayMs);
        std::filesystem::remove_all(dir / "OUT");
        const pid_t child = StartBinary(args, dir);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGKILL);
        WaitForBinary(child, dir);
        if (!std::filesystem::exists(dir / "OUT"))
            continue;
        for (const auto& item : std::filesystem::directory_iterator(dir / "OUT")) {
            const std::string name = item.path().filename().string();
            EXPECT_NE(name[0], '.') << "a temporary file was left: " << name;
            if (name != "result.log") {
                EXPECT_EQ(std::filesystem::file_size(item.path()), 44u + 2 * samples.size()) << name;
            }
        }
    }
}

TEST(CliBinary, ExitStatusesOfTheRealProgram)
{
    TempDir dir;
    const auto missing = RunBinary({"-o", "OUT", "missing.wac"}, dir);
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "packsmith-cli: Cannot open file " + (dir / "missing.wac") + " (No such file or directory)\n");
    EXPECT_FALSE(FileExists(dir / "OUT/missing.wav"));
    const auto usage = RunBinary({"missing.wac"}, dir);
    EXPECT_EQ(usage.Status, 2);
    EXPECT_EQ(usage.Err.rfind("packsmith-cli: ", 0), 0u);
    const auto failed = RunBinary({"-o", "OUT", "missing.lst"}, dir);
    EXPECT_EQ(failed.Status, 1);
    EXPECT_EQ(failed.Err, "packsmith-cli: Cannot open file " + (dir / "missing.lst") + " (No such file or directory)\n");
    const auto help = RunBinary({"--help"}, dir);
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Out.rfind("Usage: packsmith-cli", 0), 0u);
}

// Starts the program in dir with its standard output into a pipe whose read end the test
// holds, standard error into dir/.stderr, or onto the terminal whose device is errPath.
pid_t StartPiped(const std::vector<std::string>& args, const TempDir& dir, int& readEnd, const std::string& errPath = "")
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    readEnd = ends[0];
    const pid_t child = StartChild(PACKSMITH_CLI, args,
                                   {dir.Path(), 022, "/proc/self/fd/" + std::to_string(ends[1]),
                                    errPath.empty() ? dir / ".stderr" : errPath});
    close(ends[1]);
    return child;
}

// Standard output that cannot take what is written: a full disk, or a reader that went
// away (which the shell's "| head" does once it has its lines).
TEST(CliBinary, StandardOutputThatFailsIsReportedAndAClosedPipeStopsTheRun)
{
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
        names.push_back("PICTURE" + std::to_string(i) + ".BMP");
    dir.Write("big.at3", AsString(BuildImagePack(Named(names))));
    const std::string wac = AsString(EncodeWacFile(std::vector<std::int16_t>(256 * 2000, 300)));
    std::vector<std::string> run = {"-o", "OUT"};
    for (int i = 0; i < 40; ++i)
        run.push_back(dir.Write("s" + std::to_string(i) + ".wac", wac));

    for (const bool json : {false, true}) {
        std::vector<std::string> list = {"--list", "big.at3"};
        if (json)
            list.push_back("--json");
        const pid_t child = StartChild(PACKSMITH_CLI, list, {dir.Path(), 022, "/dev/full", dir / ".stderr"});
        const CliResult full = WaitForBinary(child, dir);
        EXPECT_EQ(full.Status, 1) << json;
        EXPECT_EQ(full.Err, "packsmith-cli: Cannot write to standard output (No space left on device)\n");
    }
    // A run does its work, writes its log and then says what became of its results lines.
    const CliResult full = WaitForBinary(StartChild(PACKSMITH_CLI, {"-o", "FULL", run[2]}, {dir.Path(), 022, "/dev/full", dir / ".stderr"}), dir);
    EXPECT_EQ(full.Status, 1);
    EXPECT_EQ(full.Err, "packsmith-cli: Cannot write to standard output (No space left on device)\n");
    EXPECT_EQ(ReadFileBytes(dir / "FULL/result.log"), "#Format: WAC\r\n#Source: " + run[2] + "\r\n");

    // A reader that has read a few lines and gone: the run stops as for Ctrl+C, with the log
    // of the jobs it finished, silently, and with the status a shell gives for SIGPIPE.
    int readEnd = -1;
    const pid_t child = StartPiped(run, dir, readEnd);
    ASSERT_GT(child, 0);
    char c = 0;
    for (int lines = 0; lines < 3 && read(readEnd, &c, 1) == 1;)
        lines += c == '\n';
    close(readEnd);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 141);
    EXPECT_EQ(ReadFileBytes(dir / ".stderr"), "");
    std::vector<std::string> finished;
    for (const auto& line : ReadTextFile(dir / "OUT/result.log"))
        if (line.starts_with("#Source: "))
            finished.push_back(line.substr(9));
    ASSERT_FALSE(finished.empty());
    EXPECT_LT(finished.size(), 40u) << "the run was not stopped";
    for (std::size_t i = 0; i < finished.size(); ++i) {
        EXPECT_EQ(finished[i], run[2 + i]);
        EXPECT_EQ(std::filesystem::file_size(dir / ("OUT/s" + std::to_string(i) + ".wav")), 44u + 2 * 256 * 2000);
    }
    EXPECT_FALSE(FileExists(dir / ("OUT/s" + std::to_string(finished.size()) + ".wav")));

    // A listing whose reader went away ends the same way.
    readEnd = -1;
    const pid_t lister = StartPiped({"--list", "big.at3"}, dir, readEnd);
    close(readEnd);
    ASSERT_EQ(waitpid(lister, &status, 0), lister);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 141);
    EXPECT_EQ(ReadFileBytes(dir / ".stderr"), "");
}

// The progress line on a terminal of 80 columns, then of 40: however long the name, each
// redraw fits (so it never wraps into a new line), the name elided in its middle.
TEST(CliBinary, TheProgressLineFitsTheTerminalAsItIsResized)
{
    TempDir dir;
    const std::string wac = AsString(EncodeWacFile(std::vector<std::int16_t>(256 * 4000, 300)));
    std::vector<std::string> args = {"-o", "OUT"};
    for (int i = 0; i < 60; ++i)
        args.push_back(dir.Write("a_rather_long_pack_name_" + std::to_string(100 + i) + ".wac", wac));
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
    const pid_t child = StartChild(PACKSMITH_CLI, args, {dir.Path(), 022, dir / ".stdout", ptsname(terminal)});
    ASSERT_GT(child, 0);

    // Everything drawn, read as it comes, so the program never waits on the terminal.
    std::string drawn;
    const auto take = [&](int waitMs) {
        pollfd ready{terminal, POLLIN, 0};
        char buffer[4096];
        while (poll(&ready, 1, waitMs) > 0) {
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got <= 0)
                break;
            drawn.append(buffer, static_cast<std::size_t>(got));
            waitMs = 0;
        }
    };
    std::size_t resizedAt = std::string::npos;
    int status = 0;
    for (bool running = true; running;) {
        take(10);
        if (resizedAt == std::string::npos && drawn.size() > 2000) {
            size.ws_col = 40;
            ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
            take(0);
            resizedAt = drawn.size();
        }
        running = waitpid(child, &status, WNOHANG) == 0;
    }
    take(0);
    close(terminal);
    EXPECT_NE(resizedAt, std::string::npos) << "the run ended before the terminal was resized";
    std::size_t lines = 0, narrow = 0;
    for (std::size_t at = 0; (at = drawn.find("\r\033[K", at)) != std::string::npos;) {
        at += 4;
        const std::string line = drawn.substr(at, drawn.find('\r', at) - at);
        if (line.empty())
            continue;
        ++lines;
        // Between the resize and the program's next look at the width, one redraw may be
        // of the old one.
        const std::size_t most = at > resizedAt + 200 ? 39 : 79;
        narrow += most == 39;
        EXPECT_LE(line.size(), most) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        if (line.find("Processing") != std::string::npos) {
            EXPECT_EQ(line.find("a_rather_long_pack_name_"), std::string::npos) << "the name is elided: " << line;
            EXPECT_TRUE(line.ends_with(".wac...")) << line;
        }
    }
    EXPECT_GT(lines, 10u);
    EXPECT_GT(narrow, 0u);
}

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnterDirectory(dir.Path());
        // The inputs the recording handlers are given: never read, but there, as a run
        // checks before it makes its target.
        for (const char* input : {"a.wac", "b.wac", "c.wac", "a.was", "a.at3", "b.at3"})
            dir.Write(input, "");
    }
    static void EnterDirectory(const std::string& path) { ASSERT_EQ(chdir(path.c_str()), 0); }

    // A handler for every job that records it and then does what the test says.
    Run::Handler Recording(std::function<void(const std::string&, JobHost&)> body = {})
    {
        return [this, body](const std::string& path, RunContext&, JobHost& host) {
            jobs.push_back(path);
            if (body)
                body(path, host);
        };
    }

    TempDir dir;
    std::vector<std::string> jobs;
};

TEST_F(CliRunTest, RelativePathsBecomeFullPathsAndTheTargetIsCreated)
{
    const auto result = Cli({"-o", "deep/out/", "./a.wac", "x/../b.wac"}, Recording());
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(jobs, (std::vector<std::string>{dir / "a.wac", dir / "b.wac"}));
    EXPECT_TRUE(FileExists(dir / "deep/out/result.log"));
    EXPECT_EQ(result.Out, (dir / "a.wac") + ": nothing written\n" + (dir / "b.wac") +
                              ": nothing written\nOperation complete!\n");
}

TEST_F(CliRunTest, QuietPrintsNothingButErrors)
{
    auto result = Cli({"-q", "-o", "out", "a.was"}, Recording([](const std::string&, JobHost& host) {
                          host.SetStatus("Decoding");
                          host.ReportOutput("/out/a.wav", 10);
                      }));
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(ReadFileBytes(dir / "out/result.log"), "#Format: WAS\r\n#Source: " + (dir / "a.was") + "\r\n");
}

TEST_F(CliRunTest, StatusLinesAndResultsArePrintedWhenNotQuiet)
{
    const auto result = Cli({"-o", "out", "a.was"}, Recording([](const std::string&, JobHost& host) {
                                host.SetStatus("Decoding a.was");
                                host.SetStatus("Decoding a.was");
                                host.ReportOutput("/out/a.wav", 1044);
                            }));
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Out, "Decoding a.was\n" + (dir / "a.was") +
                              " -> /out/a.wav (1044 bytes)\nTotal 1044 bytes extracted.\nOperation complete!\n");
}

TEST_F(CliRunTest, FailingJobExitsWith1AndTheWindowsMessage)
{
    const auto result = Cli({"-o", "out", "a.at3", "b.at3"}, Recording([](const std::string& path, JobHost&) {
                                throw PackError("Cannot open file " + path);
                            }));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_EQ(result.Err, "packsmith-cli: Cannot open file " + (dir / "a.at3") + ".\n");
    EXPECT_FALSE(FileExists(dir / "out/result.log"));

    // Targets that cannot be, and inputs that are not there: refused before anything is made
    // or any job runs, naming what is wrong.
    dir.Write("file", "");
    std::filesystem::create_symlink("nowhere", dir / "dangling");
    const struct {
        std::vector<std::string> Args;
        std::string Err;
        std::string NotMade;
    } rows[] = {
        {{"-o", "file/out", "a.at3"},
         "Cannot create directory " + (dir / "file/out") + " (a part of the path is not a directory)", ""},
        {{"-o", "dangling", "a.at3"},
         "Cannot create directory " + (dir / "dangling") + " (a link to nowhere, which is not there, is in its place)",
         "nowhere"},
        {{"-o", "two\nlines", "a.at3"},
         "Cannot create directory " + (dir / "two\\u000Alines") +
             " (its path holds a line break, which a result log cannot hold)",
         "two\nlines"},
        {{"-o", "cr\r", "a.at3"},
         "Cannot create directory " + (dir / "cr\\u000D") + " (its path holds a line break, which a result log cannot hold)",
         "cr\r"},
        {{"-o", "new", "a.at3", "missing.at3"},
         "Cannot open file " + (dir / "missing.at3") + " (No such file or directory)", "new"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Err);
        EnterDirectory(dir.Path()); // the run made its target current
        jobs.clear();
        const auto result = Cli(row.Args, Recording());
        EXPECT_EQ(result.Status, 1);
        EXPECT_EQ(result.Err, "packsmith-cli: " + row.Err + "\n");
        EXPECT_TRUE(jobs.empty());
        if (!row.NotMade.empty()) {
            EXPECT_FALSE(std::filesystem::exists(dir / row.NotMade)) << row.NotMade;
        }
    }

    // Once the current directory is removed, a relative path names nothing; it must not be
    // taken relative to the target, which becomes current.
    dir.Write("gone/../out/a.wac", "");
    EnterDirectory(dir / "gone");
    std::filesystem::remove(dir / "gone");
    jobs.clear();
    const auto removed = Cli({"-o", dir / "out", "../out/a.wac"}, Recording());
    EXPECT_EQ(removed.Status, 1);
    EXPECT_EQ(removed.Err, "packsmith-cli: Cannot open file ../out/a.wac (the current directory was removed; give a full path)\n");
    EXPECT_TRUE(jobs.empty());
    EnterDirectory(dir.Path());
}

void EarlierHandler(int) {}

TEST_F(CliRunTest, AStopSignalStopsTheRunWithItsStatusAndKeepsFinishedJobsInTheLog)
{
    const struct {
        int signal;
        int status;
    } rows[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        // Handlers of the caller's own: each comes back when the run ends.
        for (const int number : kStopSignals)
            std::signal(number, EarlierHandler);
        EnterDirectory(dir.Path()); // the run made its target current
        jobs.clear();
        const auto result = Cli({"-o", "out", "a.wac", "b.wac", "c.wac"},
                                Recording([&](const std::string& path, JobHost& host) {
                                    if (path.ends_with("b.wac")) {
                                        std::raise(row.signal);
                                        CheckStop(host);
                                    }
                                }));
        EXPECT_EQ(result.Status, row.status);
        EXPECT_EQ(jobs.size(), 2u);
        EXPECT_EQ(ReadFileBytes(dir / "out/result.log"), "#Format: WAC\r\n#Source: " + (dir / "a.wac") + "\r\n");
        EXPECT_NE(result.Out.find("Operation stopped."), std::string::npos);
        for (const int number : kStopSignals) {
            struct sigaction current {};
            sigaction(number, nullptr, &current);
            EXPECT_EQ(current.sa_handler, EarlierHandler) << number;
            std::signal(number, SIG_DFL);
        }
    }

    // A hangup the caller ignores (nohup) does not stop the run, and stays ignored.
    std::signal(SIGHUP, SIG_IGN);
    EnterDirectory(dir.Path());
    jobs.clear();
    const auto ignored = Cli({"-o", "out", "a.wac", "b.wac"}, Recording([](const std::string&, JobHost& host) {
                                 std::raise(SIGHUP);
                                 CheckStop(host);
                             }));
    EXPECT_EQ(ignored.Status, 0);
    EXPECT_EQ(jobs.size(), 2u);
    struct sigaction current {};
    sigaction(SIGHUP, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

TEST_F(CliRunTest, ASecondStopSignalEndsTheProcessAtOnceWithItsStatus)
{
    const struct {
        int first, second, status;
    } rows[] = {{SIGINT, SIGINT, 130}, {SIGTERM, SIGTERM, 143}, {SIGHUP, SIGHUP, 129}, {SIGHUP, SIGTERM, 143},
                {SIGTERM, SIGINT, 130}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.first) + " then " + std::to_string(row.second));
        EXPECT_EXIT(Cli({"-o", "out", "a.wac"}, Recording([&](const std::string&, JobHost&) {
                        std::raise(row.first);
                        std::raise(row.second);
                        std::abort(); // not reached: the second one ends the process
                    })),
                    ::testing::ExitedWithCode(row.status), "");
    }
}

TEST_F(CliRunTest, ProjectListLinesAreJobsRelativeToTheList)
{
    // A list of no logs asks for a run that does nothing, and is told so.
    dir.Write("empty.lst", "\r\n  \r\n");
    const auto empty = Cli({"-o", "out", "empty.lst"}, Recording());
    EXPECT_EQ(empty.Status, 3);
    EXPECT_EQ(empty.Err, "packsmith-cli: empty.lst lists no result logs; nothing was replayed from it\n");
    EXPECT_TRUE(jobs.empty()) << "a blank line is no job";
    EXPECT_FALSE(FileExists(dir / "out"));

    // Every list given is replayed, one after the other.
    dir.Write("lists/jobs.lst", "r.log\r\n\r\n../logs/s.log\r\n" + (dir / "abs/t.log") + "\r\n");
    dir.Write("more.lst", " lists/u.log \r\n");
    for (const char* log : {"lists/r.log", "logs/s.log", "abs/t.log", "lists/u.log"})
        dir.Write(log, "");
    EnterDirectory("/");
    EXPECT_EQ(Cli({"-o", dir / "out", dir / "lists/jobs.lst", dir / "more.lst"}, Recording()).Status, 0);
    EXPECT_EQ(jobs, (std::vector<std::string>{dir / "lists/r.log", dir / "logs/s.log", dir / "abs/t.log",
                                              dir / "lists/u.log"}));
    jobs.clear();
    const auto partly = Cli({"-o", dir / "out", dir / "empty.lst", dir / "more.lst"}, Recording());
    EXPECT_EQ(partly.Status, 3);
    EXPECT_EQ(jobs, std::vector<std::string>{dir / "lists/u.log"});
}

// Warnings go to standard error, as errors do, and -q keeps them: it silences progress and
// the per-file lines, not what went wrong. The run ends with status 3.
TEST_F(CliRunTest, WarningsGoToStandardErrorAndQuietKeepsThem)
{
    dir.Write("r.log", "#Format: AT3\r\n#Source: " + (dir / "gone.at3") + "\r\n" + (dir / "x.tga") + "\r\n");
    const std::string gone = "packsmith-cli: " + (dir / "r.log") + ": the pack " + (dir / "gone.at3") +
                             " was not found; nothing was rebuilt from it\n";
    const std::string wac = AsString(EncodeWacFile(std::vector<std::int16_t>(600, 700)));
    dir.Write("d1/x.wac", wac);
    dir.Write("d2/x.wac", wac);
    const std::string skipped = "packsmith-cli: Skipped " + (dir / "d2/x.wac") + ": " + (dir / "o/x.wav") +
                                " was written from " + (dir / "d1/x.wac") + " earlier in this run\n";
    const struct {
        std::vector<std::string> Args;
        std::string Out, Err;
    } rows[] = {
        {{"-o", "out", "r.log"},
         "Processing r.log...\n" + (dir / "r.log") + ": nothing written\nOperation complete!\n", gone},
        {{"-q", "-o", "out", "r.log"}, "", gone},
        {{"-q", "-o", "o", "d1/x.wac", "d2/x.wac"}, "", skipped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Args.back());
        EnterDirectory(dir.Path());
        const auto result = Cli(row.Args);
        EXPECT_EQ(result.Status, 3);
        EXPECT_EQ(result.Out, row.Out);
        EXPECT_EQ(result.Err, row.Err);
    }
}

// A pack with what a listing must tell apart: two entries of one name, a name without an
// extension, a name that is not UTF-8, the two row modes and block widths, and entries
// whose records cannot be read.
std::vector<PackPicture> ListedPictures()
{
    std::vector<std::uint32_t> pixels(8 * 4, 0xFF102030u);
    auto coded = [&](bool halfRows, int blockWidth) {
        ImageEncoderOptions options;
        options.HalfRows = halfRows;
        options.BlockWidth = blockWidth;
        return EncodeImageRecord(8, 4, pixels, options).Record;
    };
    std::vector<std::uint8_t> huge = coded(false, 4);
    StoreLE32(huge.data() + 17, 1024); // 1024 x 1024: past what a record may hold
    StoreLE32(huge.data() + 21, 1024);
    return {{"GFX\\TITLE.BMP", coded(false, 4)},
            {"gfx\\title.bmp", coded(true, 2)},
            {"README", coded(true, 4)},
            {"Caf\xE9 \"1\".pcx", coded(false, 2)},
            {"short.bmp", std::vector<std::uint8_t>(100, 1)},
            {"huge.bmp", huge}};
}

TEST_F(CliRunTest, AListingNamesEachEntryAsTheExtractionDoesAndMarksWhatCannotBeRead)
{
    dir.Write("p.at3", AsString(BuildImagePack(ListedPictures())));
    const auto text = Cli({"--list", "p.at3"});
    EXPECT_EQ(text.Status, 3) << "entries that cannot be read are a warning";
    EXPECT_EQ(text.Err, "");
    const auto bytes = [](std::size_t i) { return std::to_string(ListedPictures()[i].Record.size()); };
    EXPECT_EQ(text.Out,
              "p.at3: Image Pack, 6 entries\n"
              "  #  Name           Extracts to           Size       Coding                     Bytes\n"
              "  1  GFX\\TITLE.BMP  BMP/TITLE.BMP.tga     8x4        full rows, 4-pixel blocks    " + bytes(0) + "\n"
              "  2  gfx\\title.bmp  BMP/title.bmp.tga     8x4        half rows, 2-pixel blocks    " + bytes(1) + "\n"
              "  3  README         README.tga            8x4        half rows, 4-pixel blocks    " + bytes(2) + "\n"
              "  4  Caf\xE9 \"1\".pcx   PCX/Caf\xE9 \"1\".pcx.tga  8x4        full rows, 2-pixel blocks    " + bytes(3) + "\n"
              "  5  short.bmp      BMP/short.bmp.tga     ?          unreadable                   100  (the record is "
              "shorter than its 248-byte header)\n"
              "  6  huge.bmp       BMP/huge.bmp.tga      1024x1024  unreadable                   " + bytes(5) +
                  "  (its picture is larger than 524288 pixels)\n");
    const auto json = Cli({"--list", "--json", "p.at3"});
    EXPECT_EQ(json.Status, 3);
    for (const char* expected : {
             R"({"index": 3, "name": "README", "path": "README.tga", "width": 8, "height": 4, "coding": "half rows, 4-pixel blocks")",
             R"({"index": 4, "name": "Caf\uDCE9 \"1\".pcx", "path": "PCX/Caf\uDCE9 \"1\".pcx.tga", "width": 8, "height": 4, "coding": "full rows, 2-pixel blocks")",
             R"({"index": 5, "name": "short.bmp", "path": "BMP/short.bmp.tga", "width": 0, "height": 0, "coding": "unreadable", "recordBytes": 100, "error": "the record is shorter than its 248-byte header"})",
             R"("coding": "full rows, 4-pixel blocks", "recordBytes": )"})
        EXPECT_NE(json.Out.find(expected), std::string::npos) << expected << "\nin\n" << json.Out;
    EXPECT_NE(json.Out.find(R"("name": "huge.bmp", "path": "BMP/huge.bmp.tga", "width": 1024, "height": 1024)"),
              std::string::npos);

    // Where the listing says each entry goes is where the extraction puts it.
    dir.Write("q.at3", AsString(BuildImagePack(Named({"a.bmp", "A.BMP", "a.bmp", "a_0000.bmp", "x\\a.bmp", "n"}))));
    EXPECT_EQ(Cli({"-q", "-o", dir / "out", dir / "q.at3"}).Status, 0);
    std::vector<std::string> written = ReadTextFile(dir / "out/result.log");
    written.erase(written.begin(), written.begin() + 2);
    const auto listed = Cli({"--list", "--json", dir / "q.at3"});
    for (const std::string& path : written) {
        const std::string relative = path.substr((dir / "out/").size());
        EXPECT_NE(listed.Out.find("\"path\": \"" + (relative[0] == '/' ? relative.substr(1) : relative) + "\""),
                  std::string::npos) << relative << " is not in\n" << listed.Out;
    }

    // An 8-bit name and the UTF-8 name of the same letters are two files, and the JSON tells
    // them apart: the byte that is no UTF-8 comes as a lone surrogate, not as the letter.
    dir.Write("r.at3", AsString(BuildImagePack(Named({"caf\xE9.bmp", "caf\xC3\xA9.bmp"}))));
    EXPECT_EQ(Cli({"-q", "-o", dir / "eight", dir / "r.at3"}).Status, 0);
    EXPECT_TRUE(FileExists(dir / "eight/BMP/caf\xE9.bmp.tga"));
    EXPECT_TRUE(FileExists(dir / "eight/BMP/caf\xC3\xA9.bmp.tga"));
    const auto eight = Cli({"--list", "--json", dir / "r.at3"});
    EXPECT_NE(eight.Out.find(R"("name": "caf\uDCE9.bmp", "path": "BMP/caf\uDCE9.bmp.tga")"), std::string::npos)
        << eight.Out;
    EXPECT_NE(eight.Out.find("\"name\": \"caf\xC3\xA9.bmp\", \"path\": \"BMP/caf\xC3\xA9.bmp.tga\""), std::string::npos)
        << eight.Out;
}

TEST_F(CliRunTest, NamesCannotDriveTheTerminalOrPoseAsOtherNames)
{
    // An 8-bit CSI, a right-to-left override, an escape; and a UTF-8 letter whose second
    // byte is in the C1 range, which is no control and stays.
    const std::vector<std::string> names = {"BAD\x9B[2JNAME.BMP", "RTL\xE2\x80\xAEGPJ.BMP", "ESC\x1B[31mRED.BMP",
                                            "\xC4\x80X.BMP"};
    dir.Write("p.at3", AsString(BuildImagePack(Named(names))));
    const auto raw = [](const std::string& text) {
        return text.find('\x9B') != std::string::npos || text.find("\xE2\x80\xAE") != std::string::npos ||
               text.find('\x1B') != std::string::npos;
    };
    const auto text = Cli({"--list", "p.at3"});
    EXPECT_EQ(text.Status, 0) << text.Err;
    EXPECT_FALSE(raw(text.Out)) << text.Out;
    for (const char* shown : {"BAD\\u009B[2JNAME.BMP", "BMP/BAD_[2JNAME.BMP.tga", "RTL\\u202EGPJ.BMP",
                              "BMP/RTL_GPJ.BMP.tga", "ESC?[31mRED.BMP", "\xC4\x80X.BMP"})
        EXPECT_NE(text.Out.find(shown), std::string::npos) << shown << "\nin\n" << text.Out;
    const auto json = Cli({"--list", "--json", "p.at3"});
    EXPECT_FALSE(raw(json.Out)) << json.Out;
    EXPECT_NE(json.Out.find(R"("name": "RTL\u202EGPJ.BMP")"), std::string::npos) << json.Out;
    // A lone 0x9B is a byte of 8-bit text, given as such, never as the raw byte.
    EXPECT_NE(json.Out.find(R"("name": "BAD\uDC9B[2JNAME.BMP")"), std::string::npos) << json.Out;

    // Extracted, the file names and the log hold none of them; nor do the results.
    const auto extracted = Cli({"-o", "out", "p.at3"});
    EXPECT_EQ(extracted.Status, 0) << extracted.Err;
    EXPECT_FALSE(raw(extracted.Out)) << extracted.Out;
    for (const char* file : {"out/BMP/BAD_[2JNAME.BMP.tga", "out/BMP/RTL_GPJ.BMP.tga", "out/BMP/ESC_[31mRED.BMP.tga",
                             "out/BMP/\xC4\x80X.BMP.tga"})
        EXPECT_TRUE(FileExists(dir / file)) << file;
    EXPECT_FALSE(raw(ReadFileBytes(dir / "out/result.log")));

    // A path in a message is shown escaped as well.
    const auto missing = Cli({"-o", dir / "none", dir / "\xE2\x80\xAEx.at3"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_FALSE(raw(missing.Err)) << missing.Err;
    EXPECT_NE(missing.Err.find("\\u202Ex.at3"), std::string::npos) << missing.Err;
}

// A stored name of 240 characters is shown by its start and end in the text listing, so the
// other rows stay as wide as their own names; the JSON gives it whole. Wide characters take
// two columns, and the columns stay aligned.
TEST_F(CliRunTest, ALongNameIsElidedInTheTextListingOnly)
{
    const std::string longName = "GFX\\" + std::string(120, 'a') + std::string(112, 'z') + ".BMP";
    dir.Write("p.at3", AsString(BuildImagePack(Named({"a.bmp", longName, "\xE6\x96\x87\xE5\xAD\x97.bmp"}))));
    const auto text = Cli({"--list", "p.at3"});
    EXPECT_EQ(text.Status, 0) << text.Err;
    const std::vector<std::string> lines = SplitTextLines(text.Out);
    ASSERT_EQ(lines.size(), 5u) << text.Out;
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), 140u) << line;
    // Both cells: the start of the name, "...", its end, as wide as the column allows.
    EXPECT_NE(lines[3].find("  GFX\\aaaaaaaaaaaaaa...zzzzzzzzzzzzzzz.BMP  BMP/aaaaaaaaaaaaaa...zzzzzzzzzzz.BMP.tga  16x4"),
              std::string::npos) << lines[3];
    // Every row's size column starts in one column, whatever the names' bytes.
    const auto sizeColumn = [](const std::string& line) {
        return line.substr(0, line.find("16x4")).size() - (line.find("\xE6\x96\x87") != std::string::npos ? 4 : 0);
    };
    EXPECT_EQ(sizeColumn(lines[2]), sizeColumn(lines[3]));
    EXPECT_EQ(sizeColumn(lines[4]), sizeColumn(lines[3]));

    const auto json = Cli({"--list", "--json", "p.at3"});
    EXPECT_NE(json.Out.find("\"name\": \"GFX\\\\" + longName.substr(4) + "\", \"path\": \"BMP/" + longName.substr(4) + ".tga\""),
              std::string::npos) << json.Out;
}

TEST_F(CliRunTest, OnlyTheSelectedEntriesAreExtractedAndTheLogReplaysKeepingTheOthers)
{
    const std::vector<PackPicture> pictures = Named({"GFX\\A.BMP", "GFX\\B.BMP", "c.bmp", "GFX\\BB.PCX", "d.bmp"});
    const std::vector<std::uint8_t> original = BuildImagePack(pictures);
    dir.Write("p.at3", AsString(original));
    const auto result = Cli({"-o", "out", "--only", "gfx\\b*", "p.at3"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Out.find("p.at3 -> 2 files ("), std::string::npos) << result.Out;
    EXPECT_NE(result.Out.find("), 3 not selected\n"), std::string::npos) << result.Out;
    EXPECT_EQ(ReadTextFile(dir / "out/result.log"),
              (std::vector<std::string>{"#Format: AT3", "#Source: " + (dir / "p.at3"), "", dir / "out/BMP/B.BMP.tga",
                                        "", dir / "out/PCX/BB.PCX.tga", ""}));
    EXPECT_FALSE(FileExists(dir / "out/BMP/A.BMP.tga"));

    // A pattern that takes nothing is most likely mistyped: said, and the run ends with
    // warnings; so does a listing.
    const auto typo = Cli({"-o", dir / "typo", "--only", "gfx\\b*", "--only", "*.PXC", dir / "p.at3"});
    EXPECT_EQ(typo.Status, 3);
    EXPECT_EQ(typo.Err, "packsmith-cli: --only *.PXC matched no entry\n");
    EXPECT_TRUE(FileExists(dir / "typo/BMP/B.BMP.tga"));
    const auto listed = Cli({"--list", "--only", "*.PXC", dir / "p.at3"});
    EXPECT_EQ(listed.Status, 3);
    EXPECT_EQ(listed.Err, "packsmith-cli: --only *.PXC matched no entry\n");
    EXPECT_NE(listed.Out.find("p.at3: Image Pack, 0 entries"), std::string::npos) << listed.Out;
    EnterDirectory(dir.Path());

    // An edited picture is put back; the entries left out keep their records, even with
    // their pictures lying where a whole extraction would have put them.
    Bitmap32 edited;
    edited.SetSize(3, 2);
    std::fill_n(edited.Row(0), 3 * 2 * 4, std::uint8_t{0x55});
    TgaLibrary().Write(dir / "out/BMP/B.BMP.tga", *edited.ForCodec());
    TgaLibrary().Write(dir / "out/BMP/A.BMP.tga", *edited.ForCodec());
    EXPECT_EQ(Cli({"-q", "--compress", "raw", "-o", dir / "new", dir / "out/result.log"}).Status, 0);
    const auto rebuilt = Cli({"--list", "--json", dir / "new/p.at3"});
    // Of another size than its entry's, it is compressed even as raw is asked: a raw record
    // keeps its entry's size.
    EXPECT_NE(rebuilt.Out.find(R"("name": "GFX\\B.BMP", "path": "BMP/B.BMP.tga", "width": 3, "height": 2, "coding": "full rows, 2-pixel blocks")"),
              std::string::npos) << rebuilt.Out;
    const std::string bytes = ReadFileBytes(dir / "new/p.at3");
    for (const std::size_t kept : {0, 2, 3, 4}) {
        const std::string record = AsString(pictures[kept].Record);
        EXPECT_NE(bytes.find(record), std::string::npos) << "entry " << kept + 1 << " keeps its record";
    }
}

// Every file below directory, by its path relative to it, with its content; the result log's
// lines name the directory, so they are taken relative to it too.
std::map<std::string, std::string> Contents(const std::string& directory)
{
    std::map<std::string, std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(directory)) {
        if (!item.is_regular_file())
            continue;
        std::string content = ReadFileBytes(item.path().string());
        for (std::size_t at; (at = content.find(directory + "/")) != std::string::npos;)
            content.replace(at, directory.size() + 1, "TARGET/");
        files[std::filesystem::relative(item.path(), directory).string()] = content;
    }
    return files;
}

TEST_F(CliRunTest, OneThreadOrManyWriteTheSameFilesAndFailTheSameWay)
{
    // Many pictures of several sizes and repeated names; sound of many chunks; and the same
    // with a broken entry and a broken chunk half way, whose failures must leave the same.
    // Four of them large raw records, which their edited pictures replace as raw records of
    // the same size: far larger than the ones they replace, more than a worker takes at once.
    const std::uint32_t kLarge[] = {7, 8, 10, 11};
    std::vector<PackPicture> pictures;
    for (std::uint32_t i = 0; i < 120; ++i)
        pictures.push_back({i % 3 == 0 ? "GFX\\DUP.BMP" : "p" + std::to_string(i) + ".pcx",
                            Picture(i + 1, 4 * (1 + i % 40), 1 + i % 29).Record});
    for (const std::uint32_t k : kLarge) {
        std::vector<std::uint8_t>& record = pictures[k].Record;
        constexpr std::uint32_t kPixelBytes = 700 * 700 * 4;
        record.resize(248);
        record.resize(248 + kPixelBytes, 0x20);
        std::copy_n("DDNH\0\0\0", 7, record.begin());
        StoreLE32(record.data() + 17, 700);
        StoreLE32(record.data() + 21, 700);
        StoreLE32(record.data() + 201, kPixelBytes);
        StoreLE32(record.data() + 205, kPixelBytes);
    }
    dir.Write("p.at3", AsString(BuildImagePack(pictures)));
    pictures[70].Record.resize(100);
    dir.Write("broken.at3", AsString(BuildImagePack(pictures)));
    std::vector<std::int16_t> samples(300000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 7919 % 5000) * (i % 300 < 150 ? 1 : -1));
    const auto music = EncodeWasFile(samples, {}, 2000);
    dir.Write("m.was", AsString(music));
    auto brokenMusic = music;
    std::size_t chunk = 52;
    for (int i = 0; i < 60; ++i)
        chunk += 8 + LoadLE32(brokenMusic.data() + chunk);
    StoreLE32(brokenMusic.data() + chunk + 4, 0x7FFFFFFF); // chunk 61 claims 2 GB
    dir.Write("broken.was", AsString(brokenMusic));
    dir.Write("w.wac", AsString(EncodeWacFile(samples)));

    for (const std::vector<std::string>& jobs :
         {std::vector<std::string>{"p.at3"}, {"broken.at3"}, {"m.was", "broken.was"}, {"w.wac"}}) {
        SCOPED_TRACE(jobs.front());
        std::vector<std::string> one{"-j", "1", "-o", dir / "one"}, many{"-j", "4", "-o", dir / "many"};
        for (const auto& job : jobs) {
            one.push_back(dir / job);
            many.push_back(dir / job);
        }
        const auto serial = Cli(one);
        const auto parallel = Cli(many);
        EXPECT_EQ(serial.Status, jobs.front().rfind("broken", 0) == 0 || jobs.size() > 1 ? 1 : 0) << serial.Err;
        EXPECT_EQ(parallel.Status, serial.Status);
        EXPECT_EQ(parallel.Err, serial.Err);
        EXPECT_FALSE(Contents(dir / "one").empty());
        EXPECT_EQ(Contents(dir / "many"), Contents(dir / "one"));

        // Replayed on one thread or many, the log rebuilds the same pack, with the edited
        // pictures in it: small ones of other sizes, stored compressed, and the large ones.
        if (jobs.front() == "p.at3") {
            Bitmap32 edited;
            edited.SetSize(5, 3);
            std::fill_n(edited.Row(0), 5 * 3 * 4, std::uint8_t{0x33});
            std::vector<Bitmap32> large(4);
            for (std::size_t k = 0; k < large.size(); ++k) {
                large[k].SetSize(700, 700);
                std::fill_n(large[k].Row(0), 700 * 700 * 4, static_cast<std::uint8_t>(0x40 + k));
            }
            for (const char* which : {"one", "many"}) {
                for (const char* picture : {"/BMP/DUP.BMP.tga", "/PCX/p5.pcx.tga", "/BMP/DUP_0003.tga"})
                    TgaLibrary().Write(dir / which + picture, *edited.ForCodec());
                for (std::size_t k = 0; k < large.size(); ++k)
                    TgaLibrary().Write(dir / which + "/PCX/p" + std::to_string(kLarge[k]) + ".pcx.tga",
                                       *large[k].ForCodec());
            }
            EXPECT_EQ(Cli({"-q", "-j", "1", "--compress", "raw", "-o", dir / "one/new", dir / "one/result.log"}).Status, 0);
            EXPECT_EQ(Cli({"-q", "-j", "4", "--compress", "raw", "-o", dir / "many/new", dir / "many/result.log"}).Status, 0);
            EXPECT_EQ(ReadFileBytes(dir / "many/new/p.at3"), ReadFileBytes(dir / "one/new/p.at3"));
            ImagePackFile rebuilt(dir / "many/new/p.at3");
            std::vector<PackEntry> entries;
            for (std::uint32_t i = 0; i < rebuilt.Reader().EntryCount(); ++i)
                entries.push_back(rebuilt.Reader().NextEntry());
            const std::string pack = ReadFileBytes(dir / "many/new/p.at3");
            for (std::size_t k = 0; k < large.size(); ++k) {
                const PackEntry& entry = entries[kLarge[k]];
                ASSERT_EQ(entry.DataLength, 248u + 700 * 700 * 4);
                EXPECT_TRUE(std::all_of(pack.begin() + entry.DataOffset + 248, pack.begin() + entry.DataOffset + entry.DataLength,
                                        [&](char b) { return static_cast<std::uint8_t>(b) == 0x40 + k; })) << k;
            }
            Bitmap32 read;
            rebuilt.Reader().ReadPicture(entries[5], read);
            ASSERT_EQ(read.Width(), 5u);
            ASSERT_EQ(read.Height(), 3u);
            EXPECT_TRUE(std::all_of(read.Row(0), read.Row(0) + 5 * 3 * 4, [](std::uint8_t b) { return b == 0x33; }));
            rebuilt.Reader().ReadPicture(entries[6], read);
            EXPECT_EQ(read.Width(), 4u * 7); // kept
        }
        std::filesystem::remove_all(dir / "one");
        std::filesystem::remove_all(dir / "many");
    }
}

// ---- What a second, failed or damaged run leaves ----

std::vector<std::int16_t> Chord(std::size_t count)
{
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>((i * 2654435761u >> 20) % 9000) - 4500;
    return samples;
}

TEST_F(CliRunTest, ASecondExtractionKeepsTheEditedSoundAndItsLogReplaysIt)
{
    dir.Write("chord.wac", AsString(EncodeWacFile(Chord(5000))));
    ASSERT_EQ(Cli({"-q", "-o", dir / "ow", dir / "chord.wac"}).Status, 0);
    std::string edited = ReadFileBytes(dir / "ow/chord.wav");
    for (std::size_t i = 44; i < edited.size(); i += 2)
        edited[i] = 0;
    dir.Write("ow/chord.wav", edited);

    const auto again = Cli({"-o", dir / "ow", dir / "chord.wac"});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(ReadFileBytes(dir / "ow/chord.wav"), edited);
    EXPECT_NE(again.Out.find((dir / "chord.wac") + " -> " + (dir / "ow/chord_0000.wav") +
                             " (chord.wav holds another sound and was kept, "),
              std::string::npos) << again.Out;
    EXPECT_EQ(ReadFileBytes(dir / "ow/result.log"),
              "#Format: WAC\r\n#Source: " + (dir / "chord.wac") + "\r\n" + (dir / "ow/chord_0000.wav") + "\r\n");
    // The replay packs the sound the log names, which is the extraction's own: unchanged.
    const auto replay = Cli({"-o", dir / "new", dir / "ow/result.log"});
    EXPECT_EQ(replay.Status, 0) << replay.Err;
    EXPECT_NE(replay.Out.find("copied, unchanged"), std::string::npos) << replay.Out;
    EXPECT_TRUE(ReadFileBytes(dir / "new/chord.wac") == ReadFileBytes(dir / "chord.wac"));
}

TEST_F(CliRunTest, ALogOfOtherPacksIsKeptAndAFailedRunLogsWhatItWrote)
{
    dir.Write("sprites.at3", AsString(BuildImagePack(Named({"s1.bmp", "s2.bmp"}))));
    auto damaged = Named({"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"});
    damaged[2].Record.resize(100);
    dir.Write("cutdata.at3", AsString(BuildImagePack(damaged)));
    dir.Write("chord.wac", AsString(EncodeWacFile(Chord(600))));

    // A failed run: the entries that could be read are extracted and logged in their
    // places, the one that could not is named, and the log replays.
    const auto failed = Cli({"-q", "-o", dir / "mj", dir / "sprites.at3", dir / "cutdata.at3"});
    EXPECT_EQ(failed.Status, 1);
    EXPECT_EQ(failed.Err, "packsmith-cli: Cannot decode the image \"c.bmp\" in " + (dir / "cutdata.at3") +
                              ": the record is shorter than its 248-byte header.\n");
    const std::string mj = dir / "mj";
    EXPECT_EQ(ReadTextFile(mj + "/result.log"),
              (std::vector<std::string>{"#Format: AT3", "#Source: " + (dir / "sprites.at3"), mj + "/BMP/s1.bmp.tga",
                                        mj + "/BMP/s2.bmp.tga", "#Format: AT3", "#Source: " + (dir / "cutdata.at3"),
                                        mj + "/BMP/a.bmp.tga", mj + "/BMP/b.bmp.tga", "", mj + "/BMP/d.bmp.tga",
                                        mj + "/BMP/e.bmp.tga"}));
    const auto replay = Cli({"-q", "-o", dir / "re", mj + "/result.log"});
    EXPECT_EQ(replay.Status, 0) << replay.Err;
    EXPECT_TRUE(ReadFileBytes(dir / "re/cutdata.at3") == ReadFileBytes(dir / "cutdata.at3"));

    // Sound extracted into the same folder: the pictures' log stays, the new one says its name.
    const auto sound = Cli({"-o", mj, dir / "chord.wac"});
    EXPECT_EQ(sound.Status, 0);
    EXPECT_NE(sound.Out.find("The log was written as " + mj + "/result_0000.log: " + mj +
                             "/result.log lists other sources, and was kept\n"),
              std::string::npos) << sound.Out;
    EXPECT_EQ(ReadTextFile(mj + "/result.log").size(), 11u);
    EXPECT_EQ(ReadFileBytes(mj + "/result_0000.log"), "#Format: WAC\r\n#Source: " + (dir / "chord.wac") + "\r\n");
}

TEST_F(CliRunTest, AListingOfADamagedSoundSaysWhereAndEndsWithWarnings)
{
    const auto wac = EncodeWacFile(Chord(5000));
    const auto was = EncodeWasFile(Chord(5000), {}, 1000);
    dir.Write("cut.wac", AsString(std::vector<std::uint8_t>(wac.begin(), wac.end() - 100)));
    dir.Write("cut.was", AsString(std::vector<std::uint8_t>(was.begin(), was.end() - 100)));
    dir.Write("whole.wac", AsString(wac));
    const auto cut = Cli({"--list", "cut.wac", "cut.was"});
    EXPECT_EQ(cut.Status, 3);
    EXPECT_NE(cut.Out.find("cut.wac: Packed WAV, damaged\n"), std::string::npos) << cut.Out;
    EXPECT_NE(cut.Out.find("the file ends inside block 20 of 20\n"), std::string::npos) << cut.Out;
    EXPECT_NE(cut.Out.find("the file ends inside the chunk at offset "), std::string::npos) << cut.Out;
    const auto json = Cli({"--list", "--json", "cut.wac"});
    EXPECT_EQ(json.Status, 3);
    EXPECT_NE(json.Out.find(R"("blocks": 19, "codedBytes": )"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"(, "error": "the file ends inside block 20 of 20"})"), std::string::npos) << json.Out;
    const auto whole = Cli({"--list", "whole.wac"});
    EXPECT_EQ(whole.Status, 0);
    EXPECT_EQ(whole.Out.find("damaged"), std::string::npos);
}

// Memory whatever -j says: workers beyond the cores are not started, for they only held
// memory (a lossy replay took 75 MB a worker, 3.2 GB at -j 256) and gained no speed. The
// bound is the one the help gives: about 24 MB plus 32 MB a thread.
TEST(CliBinary, PeakMemoryOfLossyReplayAndExtractionStaysUnderTheBoundAtAnyThreadCount)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer holds freed memory back on purpose";
#endif
    TempDir dir;
    // Large pictures that a record holds exactly, enough of them to keep many workers busy
    // extracting, and some replaced by noisy photographs, which the compressor works hardest
    // on: every one of their blocks is distinct.
    constexpr std::uint32_t kWidth = 1024, kHeight = 512;
    constexpr int kPictures = 24, kEdited = 6;
    {
        std::vector<PackPicture> pictures;
        std::vector<std::uint32_t> pixels(std::size_t{kWidth} * kHeight);
        for (int i = 0; i < kPictures; ++i) {
            for (std::size_t k = 0; k < pixels.size(); ++k)
                pixels[k] = 0xFF000000u | (static_cast<std::uint32_t>((k / 4 + i) % 3000) * 2654435761u & 0xFFFFFFu);
            pictures.push_back({"PHOTO" + std::to_string(i) + ".BMP", EncodeImageRecord(kWidth, kHeight, pixels, {}).Record});
        }
        dir.Write("photos.at3", AsString(BuildImagePack(pictures)));
    }
    const auto peakOf = [&](const std::vector<std::string>& args) {
        const pid_t child = StartBinary(args, dir);
        int status = 0;
        rusage usage{};
        EXPECT_EQ(wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFileBytes(dir / ".stderr");
        return static_cast<long>(usage.ru_maxrss) / 1024; // MB
    };
    const long bound = 24 + 32 * static_cast<long>(UsableCores());
    EXPECT_LT(peakOf({"-q", "-j", "256", "-o", "A", "photos.at3"}), bound) << "MB, extracting";
    {
        std::mt19937 rng(3);
        Bitmap32 edited;
        edited.SetSize(kWidth, kHeight);
        for (int i = 0; i < kEdited; ++i) {
            const std::vector<std::uint8_t> photo = MakePicture(PictureKind::Photo, kWidth, kHeight, i + 1);
            for (std::uint32_t y = 0; y < kHeight; ++y)
                for (std::size_t b = 0; b < std::size_t{kWidth} * 4; ++b) {
                    const int noisy = photo[y * kWidth * 4 + b] + static_cast<int>(rng() % 49) - 24;
                    edited.Row(y)[b] = b % 4 == 3 ? 255 : static_cast<std::uint8_t>(std::clamp(noisy, 0, 255));
                }
            TgaLibrary().Write(dir / ("A/BMP/PHOTO" + std::to_string(i) + ".BMP.tga"), *edited.ForCodec());
        }
    }
    EXPECT_LT(peakOf({"-q", "-j", "256", "--compress", "lossy", "-o", "R", "A/result.log"}), bound)
        << "MB, replaying with loss";
    EXPECT_GT(std::filesystem::file_size(dir / "R/photos.at3"), 0u);
}

// A picture the codec cannot write whole fails with the cause the system gave, as a full
// disk does; here a file size limit, which the program inherits, stops it part way.
TEST(CliBinary, APictureCutShortByTheSystemFailsWithTheCause)
{
    TempDir dir;
    const std::vector<std::uint32_t> pixels(std::size_t{64} * 64, 0xFF336699u);
    dir.Write("p.at3", AsString(BuildImagePack({{"a.bmp", EncodeImageRecord(64, 64, pixels, {}).Record}})));
    pid_t child = -1;
    {
        const FileSizeLimit limit(4096); // the picture takes 16 kB; the program inherits the limit
        ASSERT_TRUE(limit.Active());
        child = StartBinary({"-q", "-o", "OUT", "p.at3"}, dir);
    }
    const CliResult result = WaitForBinary(child, dir);
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "packsmith-cli: " + (dir / "p.at3") + ": Cannot create file " + (dir / "OUT/BMP/a.bmp.tga") +
                              " (" + std::strerror(EFBIG) + ")\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "OUT/BMP/a.bmp.tga"));
}

// Entries whose name leaves nothing but dots for a file name would be hidden files; they
// get "_" instead, alike in the listing, the extraction and the replay's check of the log,
// while every other name stays as logs already written have it.
TEST_F(CliRunTest, NamesOfNothingButDotsExtractToVisibleFilesThatTheListingAndReplayAgreeOn)
{
    dir.Write("q.at3", AsString(BuildImagePack(Named({"", ".", "..", "GFX\\", "x.bmp", ".bmp"}))));
    ASSERT_EQ(Cli({"-q", "-o", dir / "out", dir / "q.at3"}).Status, 0);
    std::vector<std::string> written = ReadTextFile(dir / "out/result.log");
    written.erase(written.begin(), written.begin() + 2);
    std::vector<std::string> names;
    for (const std::string& path : written)
        names.push_back(path.substr(path.rfind('/') + 1));
    EXPECT_EQ(names, (std::vector<std::string>{"_.tga", "_0000.tga", "_0001.tga", "_0002.tga", "x.bmp.tga", ".bmp.tga"}))
        << "a name with more than dots keeps its name, a leading dot too";
    const auto listed = Cli({"--list", "--json", dir / "q.at3"});
    for (const std::string& path : written) {
        EXPECT_TRUE(FileExists(path)) << path;
        const std::string relative = path.substr((dir / "out/").size());
        EXPECT_NE(listed.Out.find("\"path\": \"" + (relative[0] == '/' ? relative.substr(1) : relative) + "\""),
                  std::string::npos) << relative << " is not in\n" << listed.Out;
    }

    // The log replays, taking the edited picture of the entry without a name.
    Bitmap32 edited;
    edited.SetSize(16, 4);
    std::fill_n(edited.Row(0), 16 * 4 * 4, std::uint8_t{0x5A});
    TgaLibrary().Write(written[0], *edited.ForCodec());
    const auto replay = Cli({"-o", dir / "new", dir / "out/result.log"});
    EXPECT_EQ(replay.Status, 0) << replay.Err;
    EXPECT_NE(replay.Out.find("1 replaced"), std::string::npos) << replay.Out;

    // A log written before, which lists the hidden name, still fits the pack.
    std::string log = ReadFileBytes(dir / "out/result.log");
    log.replace(log.find("/_.tga"), 6, "/.tga");
    dir.Write("out/result.log", log);
    const auto older = Cli({"-o", dir / "older", dir / "out/result.log"});
    EXPECT_EQ(older.Status, 0) << older.Err;
    EXPECT_NE(older.Out.find("0 replaced"), std::string::npos) << older.Out;
}

// In a folder deeper than the system's limit on a path, the listing works (it reads through
// the relative name) and the extraction, whose input and target are made full paths, fails
// before anything is made: the message names the file and says what the limit is, not only
// "File name too long".
TEST_F(CliRunTest, AFolderDeeperThanThePathLimitIsRefusedSayingTheLimit)
{
    const std::string name(250, 'd');
    std::string deep = dir.Path();
    int levels = 0;
    for (; deep.size() < 4200; ++levels) {
        ASSERT_EQ(::mkdir(name.c_str(), 0755), 0);
        EnterDirectory(name);
        deep += "/" + name;
    }
    std::ofstream("p.at3", std::ios::binary) << AsString(BuildImagePack(Named({"a.bmp"})));
    const auto listing = Cli({"--list", "p.at3"});
    const auto extraction = Cli({"-o", "out", "p.at3"});
    // Back out, taking the levels away one by one: no call takes the whole path.
    std::filesystem::remove("p.at3");
    for (int i = 0; i < levels; ++i) {
        EnterDirectory("..");
        std::filesystem::remove_all(name);
    }
    EXPECT_EQ(listing.Status, 0) << listing.Err;
    EXPECT_EQ(extraction.Status, 1);
    const std::string input = deep + "/p.at3";
    const std::string length =
        std::to_string(input.size() / 1000) + "," + std::to_string(input.size() % 1000 + 1000).substr(1);
    EXPECT_EQ(extraction.Err, "packsmith-cli: Cannot open file " + input +
                                  " (File name too long: the path has " + length + " bytes, the system takes 4,095 at most)\n");
}

} // namespace
} // namespace packsmith::test
