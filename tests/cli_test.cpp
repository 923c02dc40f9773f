// packsmith-cli: arguments, exit statuses, what it prints and the result log it leaves.
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "CliApp.h"
#include "CliOptions.h"
#include "PackError.h"
#include "TempDir.h"
#include "ImageEncoder.h"
#include "ImagePackBuilder.h"
#include "WacEncoder.h"
#include "WasEncoder.h"

namespace packsmith::test {
namespace {

struct CliResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};

CliResult Cli(std::vector<std::string> args, const std::function<void(Dispatcher&)>& attach = {})
{
    std::ostringstream out, err;
    CliResult result;
    result.Status = RunCli(args, out, err, attach);
    result.Out = out.str();
    result.Err = err.str();
    return result;
}

// Runs the real executable in directory cwd, with both output streams sent to files (so
// neither is a terminal).
CliResult RunBinary(const std::vector<std::string>& args, const TempDir& cwd)
{
    const std::string outPath = cwd / ".stdout", errPath = cwd / ".stderr";
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.Path().c_str()) != 0)
            _exit(99);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(PACKSMITH_CLI)};
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(PACKSMITH_CLI, argv.data());
        _exit(98);
    }
    int status = 0;
    waitpid(child, &status, 0);
    CliResult result;
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.Out = ReadFileBytes(outPath);
    result.Err = ReadFileBytes(errPath);
    return result;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(CliBinary, TwoPackedWavFilesGiveAFourLineResultLog)
{
    TempDir dir;
    const std::vector<std::int16_t> samples(600, 1000);
    dir.Write("a.wac", Bytes(EncodeWacFile(samples)));
    dir.Write("sub dir/b.wac", Bytes(EncodeWacFile(samples)));
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
    dir.Write("y.was", Bytes(EncodeWasFile(samples, {}, 1024)));
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

TEST(CliBinary, MissingCodecLibraryIsNamedNotACrash)
{
    TempDir dir;
    // The program alone, without the codec library that sits beside it in the build.
    const std::string program = dir / "packsmith-cli";
    std::filesystem::copy_file(PACKSMITH_CLI, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::vector<std::uint32_t> pixels(16 * 4, 0x80402010u);
    dir.Write("p.at3", Bytes(BuildImagePack({{"a.bmp", EncodeImageRecord(16, 4, pixels, {}).Record}})));
    const std::string command = "cd '" + dir.Path() + "' && ./packsmith-cli -o OUT p.at3 >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFileBytes(dir / "err.txt"),
              "packsmith-cli: Cannot load the TGA codec library " + (dir / "libtarga.so") + ".\n");
}

TEST(CliBinary, ExitStatusesOfTheRealProgram)
{
    TempDir dir;
    const auto missing = RunBinary({"-o", "OUT", "missing.wac"}, dir);
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "packsmith-cli: Cannot open file " + (dir / "missing.wac") + ".\n");
    EXPECT_FALSE(FileExists(dir / "OUT/missing.wav"));
    const auto usage = RunBinary({"missing.wac"}, dir);
    EXPECT_EQ(usage.Status, 2);
    EXPECT_EQ(usage.Err.rfind("packsmith-cli: ", 0), 0u);
    const auto failed = RunBinary({"-o", "OUT", "missing.lst"}, dir);
    EXPECT_EQ(failed.Status, 1);
    EXPECT_EQ(failed.Err, "packsmith-cli: Cannot open file " + (dir / "missing.lst") + ".\n");
    const auto help = RunBinary({"--help"}, dir);
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Out.rfind("Usage: packsmith-cli", 0), 0u);
}

TEST(CliOptions, UsageErrorsExitWith2AndAReason)
{
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } rows[] = {
        {{}, "no target directory given (-o TARGET_DIR)"},
        {{"a.wac"}, "no target directory given (-o TARGET_DIR)"},
        {{"-o", "out"}, "no input file given"},
        {{"-o"}, "option -o needs a value"},
        {{"-o", "", "a.wac"}, "option -o needs a directory"},
        {{"-f", "wav", "-o", "out", "a.wac"}, "unknown format 'wav' (use wac, was, at3, lst or log)"},
        {{"-o", "out", "-x", "a.wac"}, "unknown option -x"},
        {{"-o", "out", "picture.tga"}, "cannot tell the format of picture.tga from its extension; use -f"},
    };
    for (const auto& row : rows) {
        const auto result = Cli(row.args);
        EXPECT_EQ(result.Status, 2) << row.reason;
        EXPECT_EQ(result.Err, "packsmith-cli: " + row.reason + "\nTry 'packsmith-cli --help' for more information.\n");
        EXPECT_EQ(result.Out, "");
    }
}

TEST(CliOptions, FormatComesFromTheOptionOrTheFirstFile)
{
    const struct {
        std::vector<std::string> args;
        int position;
        std::vector<std::string> files;
    } rows[] = {
        {{"-o", "out", "A.WAS", "b.wac"}, 2, {"A.WAS", "b.wac"}},
        {{"-f", "log", "-o", "out", "jobs.txt"}, 5, {"jobs.txt"}},
        {{"x.at3", "-q", "-o", "out", "--", "-named.at3"}, 3, {"x.at3", "-named.at3"}},
        {{"-o", "out", "-f", "lst", "-"}, 4, {"-"}},
    };
    for (const auto& row : rows) {
        const CliOptions options = ParseCliOptions(row.args);
        EXPECT_EQ(options.FilterPosition, row.position);
        EXPECT_EQ(options.Files, row.files);
        EXPECT_EQ(options.TargetDirectory, "out");
    }
    EXPECT_TRUE(ParseCliOptions({"x.at3", "-q", "-o", "out"}).Quiet);
    EXPECT_EQ(ParseCliOptions({"--version"}).What, CliOptions::Action::Version);
}

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override { EnterDirectory(dir.Path()); }
    static void EnterDirectory(const std::string& path) { ASSERT_EQ(chdir(path.c_str()), 0); }

    // Handlers for every code that record their jobs and then do what the test says.
    std::function<void(Dispatcher&)> Recording(std::function<void(const std::string&, JobHost&)> body = {})
    {
        return [this, body](Dispatcher& dispatcher) {
            for (FormatCode code = 1; code <= 5; ++code)
                dispatcher.Attach(code, [this, body](const std::string& path, RunContext&, JobHost& host) {
                    jobs.push_back(path);
                    if (body)
                        body(path, host);
                });
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

    dir.Write("file", "");
    EnterDirectory(dir.Path()); // the run made its target current
    const auto blocked = Cli({"-o", "file/out", "a.at3"}, Recording());
    EXPECT_EQ(blocked.Status, 1);
    EXPECT_EQ(blocked.Err, "packsmith-cli: Cannot create directory " + (dir / "file/out") + ".\n");
}

TEST_F(CliRunTest, CtrlCStopsTheRunWith130AndKeepsFinishedJobsInTheLog)
{
    const auto result = Cli({"-o", "out", "a.wac", "b.wac", "c.wac"},
                            Recording([](const std::string& path, JobHost& host) {
                                if (path.ends_with("b.wac")) {
                                    std::raise(SIGINT);
                                    host.ProcessMessages();
                                    CheckStop(host);
                                }
                            }));
    EXPECT_EQ(result.Status, 130);
    EXPECT_EQ(jobs.size(), 2u);
    EXPECT_EQ(ReadFileBytes(dir / "out/result.log"), "#Format: WAC\r\n#Source: " + (dir / "a.wac") + "\r\n");
    EXPECT_NE(result.Out.find("Operation stopped."), std::string::npos);

    // The handling of Ctrl+C ends with the run: the default action is back.
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST_F(CliRunTest, SecondCtrlCEndsTheProcessAtOnce)
{
    EXPECT_EXIT(Cli({"-o", "out", "a.wac"}, Recording([](const std::string&, JobHost&) {
                    std::raise(SIGINT);
                    std::raise(SIGINT);
                    std::abort(); // not reached: the second one ends the process
                })),
                ::testing::ExitedWithCode(130), "");
}

TEST_F(CliRunTest, EmptyProjectListRunsNothing)
{
    dir.Write("empty.lst", "");
    const auto result = Cli({"-o", "out", "empty.lst"}, Recording());
    EXPECT_EQ(result.Status, 0);
    EXPECT_TRUE(jobs.empty());
    EXPECT_FALSE(FileExists(dir / "out"));
}

} // namespace
} // namespace packsmith::test
