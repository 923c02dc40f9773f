// packsmith-cli as the users of each system expect it: what a drop of files waits for,
// names that differ only in case, wildcards, the console's settings, paths as the system
// writes them, and a log another program holds open. The same test on Linux and, built
// with mingw-w64, on Windows (under Wine here), where the real program is started too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/DroppedFiles.h"
#include "cli/Wildcards.h"
#include "core/ByteOrder.h"
#include "core/TextControls.h"
#include "formats/wac/WacEncoder.h"
#include "io/TextFile.h"
#include "platform/CommandLine.h"
#include "platform/SharedLibrary.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"
#include "testing/Bytes.h"
#include "testing/CliRun.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace packsmith::test {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A path as the program prints it: with "\" on Windows.
std::string Shown(std::string path)
{
    if (kWindows)
        std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool IsUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string WacOf(std::int16_t level) { return AsString(EncodeWacFile(std::vector<std::int16_t>(600, level))); }

// A 16-bit mono wave file at 22,050 Hz of count samples of one level.
std::string WaveOf(std::int16_t level, std::uint32_t count = 600)
{
    std::vector<std::uint8_t> bytes(44 + 2 * count);
    const auto put = [&](std::size_t at, const char* text) { std::copy(text, text + 4, bytes.begin() + at); };
    put(0, "RIFF");
    StoreLE32(bytes.data() + 4, static_cast<std::uint32_t>(bytes.size() - 8));
    put(8, "WAVE");
    put(12, "fmt ");
    StoreLE32(bytes.data() + 16, 16);
    StoreLE16(bytes.data() + 20, 1);
    StoreLE16(bytes.data() + 22, 1);
    StoreLE32(bytes.data() + 24, 22050);
    StoreLE32(bytes.data() + 28, 44100);
    StoreLE16(bytes.data() + 32, 2);
    StoreLE16(bytes.data() + 34, 16);
    put(36, "data");
    StoreLE32(bytes.data() + 40, 2 * count);
    for (std::uint32_t i = 0; i < count; ++i)
        StoreLE16(bytes.data() + 44 + 2 * i, static_cast<std::uint16_t>(level));
    return AsString(bytes);
}

// Only a drop of files from Explorer leaves the program's console open to be read: a start
// by any other program, with a console of its own or hidden, or from a terminal under an
// emulator, ends as soon as the run does.
TEST(CliSystem, OnlyFilesDroppedFromExplorerWaitForEnter)
{
    const std::string file = kWindows ? "C:\\Games\\sprites.at3" : "/games/sprites.at3";
    const struct {
        ConsoleStart Start;
        std::vector<std::string> Args;
        bool Waits;
    } rows[] = {
        {{true, true}, {file}, true},
        {{true, true}, {file, file}, true},
        {{true, false}, {file}, false}, // a console of its own, but made by another program
        {{false, true}, {file}, false}, // Explorer's, shared with others: a shell's
        {{true, true}, {"--version"}, false},
        {{true, true}, {"-o", "/out", file}, false},
        {{true, true}, {"sprites.at3"}, false},
        {{true, true}, {}, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsFileDrop(row.Start, row.Args), row.Waits)
            << row.Start.AloneInConsole << row.Start.StartedByFileManager << " " << row.Args.size();
    // This test was started by its runner, not by a file manager.
    EXPECT_FALSE(HowConsoleStarted().StartedByFileManager);
}

// Dropped files that cannot be run are told about in words for someone who dropped them:
// no option to give and no --help to try; nothing is made.
TEST(CliSystem, DroppedFilesThatCannotBeRunGetAdviceInWords)
{
    TempDir dir;
    const std::string voice = dir.Write("voice.wav", WaveOf(100));
    const std::string a = dir.Write("a.wac", WacOf(100));
    const std::string b = dir.Write("b.was", "");
    dir.Write("folder/x.wac", WacOf(100));
    const struct {
        std::vector<std::string> Files;
        std::string Says;
    } rows[] = {
        {{voice}, Shown(voice) + " is not a file that Packsmith unpacks, nor a log it rebuilds from.\n"},
        {{dir / "folder"}, Shown(dir / "folder") + " is a folder: open it and drop the files in it instead.\n"},
        {{a, b}, "The files are of different kinds: drop the files of each kind on their own.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Files.front());
        std::ostringstream out, err;
        EXPECT_EQ(RunDroppedFiles(row.Files, out, err), 2);
        EXPECT_EQ(err.str().rfind("packsmith-cli: " + row.Says, 0), 0u) << err.str();
        EXPECT_TRUE(Contains(err.str(), "Drop .wac, .was or .at3 files here")) << err.str();
        EXPECT_FALSE(Contains(err.str(), "--help")) << err.str();
        EXPECT_FALSE(Contains(err.str(), "Try")) << err.str();
        EXPECT_FALSE(FileExists(dir / "voice")) << "nothing is made";
        EXPECT_FALSE(FileExists(dir / "a"));
    }
    // A drop that can run writes beside the first file.
    std::ostringstream out, err;
    EXPECT_EQ(RunDroppedFiles({a}, out, err), 0) << err.str();
    EXPECT_TRUE(FileExists(dir / "a/a.wav"));
}

// The help names the stop requests of the system it runs on, with their statuses, and
// answers "/?" as Windows programs do.
TEST(CliSystem, TheHelpNamesThisSystemsStopRequestsAndAnswersSlashQuestionMark)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"/?"}, {"-o", "out", "/?", "a.wac"}}) {
        const auto help = Cli(args);
        EXPECT_EQ(help.Status, 0) << args.front();
        EXPECT_EQ(help.Out.rfind("Usage: packsmith-cli", 0), 0u) << help.Out;
        EXPECT_TRUE(Contains(help.Out, StopSignal::StatusesText())) << help.Out;
        for (const char* other : kWindows ? std::vector<const char*>{"SIGINT", "SIGTERM", "SIGHUP"}
                                          : std::vector<const char*>{"Ctrl+Break"})
            EXPECT_FALSE(Contains(help.Out, other)) << other;
        EXPECT_TRUE(Contains(help.Out, kWindows ? "149 for Ctrl+Break" : "129 for SIGHUP"));
    }
    EXPECT_EQ(Cli({"-o", "out", "--", "/?"}).Status, 2) << "after -- it is a file's name";
}

// Two outputs of one name on a system whose names ignore case are one file: the second
// job is passed over with a warning, as for names of one case, rather than replace the
// first's output while both are reported written. Linux keeps both.
TEST(CliSystem, OutputsWhoseNamesDifferOnlyInCaseFollowTheFileSystem)
{
    TempDir dir;
    dir.Write("a/Chord.wac", WacOf(1000));
    dir.Write("b/chord.wac", WacOf(-1000));
    dir.Write("x/Voice.wav", WaveOf(1000));
    dir.Write("y/voice.wav", WaveOf(-1000));
    const struct {
        std::vector<std::string> Options;
        std::string FirstInput, SecondInput, First, Second;
    } rows[] = {
        {{"-o", dir / "w"}, "a/Chord.wac", "b/chord.wac", "w/Chord.wav", "w/chord.wav"},
        {{"--pack", "wac", "-o", dir / "p"}, "x/Voice.wav", "y/voice.wav", "p/Voice.wac", "p/voice.wac"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Second);
        std::vector<std::string> args = row.Options;
        args.insert(args.end(), {dir / row.FirstInput, dir / row.SecondInput});
        const auto result = Cli(args);
        if (kWindows) {
            EXPECT_EQ(result.Status, 3) << result.Err;
            EXPECT_EQ(result.Err, "packsmith-cli: Skipped " + Shown(dir / row.SecondInput) + ": " +
                                      Shown(dir / row.First) + " was written from " + Shown(dir / row.FirstInput) +
                                      " earlier in this run\n");
            // The first's output, not the second's under its name.
            args = row.Options;
            args.back() = dir / "alone";
            args.push_back(dir / row.FirstInput);
            ASSERT_EQ(Cli(args).Status, 0);
            EXPECT_EQ(ReadFileBytes(dir / row.First), ReadFileBytes(dir / ("alone/" + row.First.substr(2))));
        } else {
            EXPECT_EQ(result.Status, 0) << result.Err;
            EXPECT_NE(ReadFileBytes(dir / row.First), ReadFileBytes(dir / row.Second));
        }
    }

    // Two logs whose packs differ in case: rebuilt as one file, the second would undo the
    // first, which a replay refuses as for one name.
    dir.Write("A/Sprites.at3", AsString(BuildImagePack(Named({"a.bmp"}))));
    dir.Write("B/sprites.at3", AsString(BuildImagePack(Named({"a.bmp", "b.bmp"}))));
    ASSERT_EQ(Cli({"-q", "-o", dir / "A/out", dir / "A/Sprites.at3"}).Status, 0);
    ASSERT_EQ(Cli({"-q", "-o", dir / "B/out", dir / "B/sprites.at3"}).Status, 0);
    const auto replay = Cli({"-q", "-o", dir / "r", dir / "A/out/result.log", dir / "B/out/result.log"});
    if (kWindows) {
        EXPECT_EQ(replay.Status, 1);
        EXPECT_TRUE(Contains(replay.Err, "which are both rebuilt as")) << replay.Err;
        EXPECT_EQ(ReadFileBytes(dir / "r/Sprites.at3"), ReadFileBytes(dir / "A/Sprites.at3"));
    } else {
        EXPECT_EQ(replay.Status, 0) << replay.Err;
        EXPECT_EQ(ReadFileBytes(dir / "r/Sprites.at3"), ReadFileBytes(dir / "A/Sprites.at3"));
        EXPECT_EQ(ReadFileBytes(dir / "r/sprites.at3"), ReadFileBytes(dir / "B/sprites.at3"));
    }
}

// Files given with "*" and "?" are the files they name; the values of options are the
// program's own, and a pattern that names nothing stays, to be named as not found.
TEST(CliSystem, WildcardsAreMatchedInFilesOnly)
{
    const PatternMatcher fake = [](const std::string& pattern) {
        return pattern == "*.wac" ? std::vector<std::string>{"a.wac", "b.wac"} : std::vector<std::string>{};
    };
    const struct {
        std::vector<std::string> Args, Matched;
    } rows[] = {
        {{"-o", "out", "*.wac"}, {"-o", "out", "a.wac", "b.wac"}},
        {{"-o", "*.wac", "x.wac"}, {"-o", "*.wac", "x.wac"}},
        {{"--only", "*.wac", "--list", "p.at3"}, {"--only", "*.wac", "--list", "p.at3"}},
        {{"--only=*.wac", "*.wac"}, {"--only=*.wac", "a.wac", "b.wac"}},
        {{"-q", "*.was", "-o", "o"}, {"-q", "*.was", "-o", "o"}},
        {{"-o", "o", "--", "-x", "*.wac"}, {"-o", "o", "--", "-x", "a.wac", "b.wac"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WithWildcardsMatched(row.Args, fake), row.Matched) << row.Args.back();

    TempDir dir;
    dir.Write("in/b.wac", WacOf(2));
    dir.Write("in/a.wac", WacOf(1));
    dir.Write("in/ab.wac", WacOf(3));
    dir.Write("in/a.was", "");
    const std::vector<std::string> all{dir / "in/a.wac", dir / "in/ab.wac", dir / "in/b.wac"};
    if (kWindows) {
        EXPECT_EQ(PathsMatching(dir / "in/*.wac"), all);
        EXPECT_EQ(PathsMatching(dir / "in/?.wac"), (std::vector<std::string>{dir / "in/a.wac", dir / "in/b.wac"}));
        EXPECT_EQ(PathsMatching(Shown(dir / "in\\A*.WAC")),
                  (std::vector<std::string>{Shown(dir / "in\\a.wac"), Shown(dir / "in\\ab.wac")}));
    }
    for (const char* nothing : {"in/*.was?x", "in/a.wac", "in/none*"})
        EXPECT_EQ(PathsMatching(dir / nothing), std::vector<std::string>{}) << nothing;

    const auto run = Cli(WithWildcardsMatched({"-q", "-o", dir / "out", dir / "in/*.wac"}, PathsMatching));
    if (kWindows) {
        EXPECT_EQ(run.Status, 0) << run.Err;
        for (const char* name : {"a.wav", "ab.wav", "b.wav"})
            EXPECT_TRUE(FileExists(dir / (std::string("out/") + name))) << name;
    }
    // Nothing matched: the run names the pattern, before the target is made.
    const auto none = Cli(WithWildcardsMatched({"-q", "-o", dir / "none", dir / "in/x*.wac"}, PathsMatching));
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Err,
              "packsmith-cli: Cannot open file " + Shown(dir / "in/x*.wac") + " (No such file or directory)\n");
    EXPECT_FALSE(FileExists(dir / "none"));
}

// What a one-line terminal shows after text: "\r" goes back to its start, "\033[K" clears
// from the cursor on, a new line starts afresh; blanks at the end are not seen.
std::string Screen(const std::string& text)
{
    std::string screen;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            cursor = 0;
        } else if (text.compare(i, 3, "\033[K") == 0) {
            screen.resize(cursor);
            i += 2;
        } else if (text[i] == '\n') {
            screen.clear();
            cursor = 0;
        } else {
            if (cursor < screen.size())
                screen[cursor] = text[i];
            else
                screen += text[i];
            ++cursor;
        }
    }
    return screen.substr(0, screen.find_last_not_of(' ') + 1);
}

// A console that does not act on escape sequences gets a progress line drawn over with
// spaces, never a "[K" shown for each redraw; each redraw leaves nothing of the last.
TEST(CliSystem, TheProgressLineNeedsNoEscapesWhereTheConsoleHasNone)
{
    for (const bool escapes : {true, false}) {
        SCOPED_TRACE(escapes);
        std::ostringstream out, err;
        CliHost host(out, err, {false, true, [] { return 100; }, escapes});
        host.SetCurrentMessage("Processing a rather long name.wac...");
        host.ShowBar(Bar::Total, 50, 100);
        EXPECT_TRUE(Screen(err.str()).ends_with(" Processing a rather long name.wac...")) << Screen(err.str());
        host.SetCurrentMessage("Short");
        EXPECT_TRUE(Screen(err.str()).ends_with("] Short")) << Screen(err.str());
        host.AddWarning("careful");
        EXPECT_TRUE(Screen(err.str()).ends_with("] Short")) << Screen(err.str());
        EXPECT_TRUE(Contains(err.str(), "packsmith-cli: careful\n"));
        host.ShowBar(Bar::Total, 0, 100);
        host.SetCurrentMessage("");
        EXPECT_EQ(Screen(err.str()), "") << "the line is cleared";
        EXPECT_EQ(Contains(err.str(), "\033"), escapes);
    }
}

// --list shows each name as the file is named: on Windows a byte that is not UTF-8 is the
// character the file has for it, so the listing is UTF-8 and says where the file went.
TEST(CliSystem, TheListingNamesFilesAsTheyAreNamed)
{
    TempDir dir;
    const std::string pack = dir.Write("p.at3", AsString(BuildImagePack(Named({"TITLE\xE9.BMP", "gfx\\x.bmp"}))));
    const auto listing = Cli({"--list", pack});
    ASSERT_EQ(listing.Status, 0) << listing.Err;
    ASSERT_EQ(Cli({"-q", "-o", dir / "out", pack}).Status, 0);
    const std::string name = kWindows ? "TITLE\xC3\xA9.BMP" : "TITLE\xE9.BMP";
    EXPECT_TRUE(Contains(listing.Out, "  " + name + "  ")) << listing.Out;
    EXPECT_TRUE(Contains(listing.Out, Shown("BMP/" + name + ".tga"))) << listing.Out;
    EXPECT_TRUE(Contains(listing.Out, Shown("BMP/x.bmp.tga"))) << listing.Out;
    EXPECT_TRUE(FileExists(dir / ("out/BMP/" + name + ".tga")));
    EXPECT_EQ(IsUtf8(listing.Out), kWindows);
}

// Results and messages give paths as the system writes them, to be pasted into its shell;
// the log keeps "/", so that it reads alike on every system.
TEST(CliSystem, PathsArePrintedAsTheSystemWritesThemAndLoggedWithSlashes)
{
    TempDir dir;
    const std::string wac = dir.Write("in/chord.wac", WacOf(100));
    const auto run = Cli({"-o", dir / "out", wac});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Contains(run.Out, Shown(wac) + " -> " + Shown(dir / "out/chord.wav") + " (")) << run.Out;
    EXPECT_EQ(Contains(run.Out, "/"), !kWindows) << run.Out;
    const std::vector<std::string> log = ReadTextFile(dir / "out/result.log");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], "#Source: " + wac);

    const auto missing = Cli({"-o", dir / "out", dir / "in/gone.wac"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err.rfind("packsmith-cli: Cannot open file " + Shown(dir / "in/gone.wac"), 0), 0u)
        << missing.Err;
}

#ifdef _WIN32

std::wstring WideOf(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// What a start of the real program left: whether it ended in time, and its status.
struct ProgramEnd {
    bool Ended = false;
    DWORD Status = 0;
};

enum class ConsoleOf { OwnHidden, Shared };

// Starts packsmith-cli.exe (beside this test) with args (plain ASCII, no quotes) in a
// console of its own, hidden, or in this process's; stdin, when given, is its standard
// input. Waits up to waitMs, then ends it.
ProgramEnd RunProgram(const std::vector<std::string>& args, ConsoleOf console, HANDLE stdinHandle = nullptr,
                      DWORD waitMs = 60000)
{
    std::wstring line = L"\"" + WideOf(ProgramFolder()) + L"/packsmith-cli.exe\"";
    for (const std::string& arg : args)
        line += L" \"" + WideOf(arg) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (stdinHandle != nullptr) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = stdinHandle;
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process{};
    const DWORD flags = console == ConsoleOf::OwnHidden ? CREATE_NEW_CONSOLE : 0;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, stdinHandle != nullptr, flags, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start packsmith-cli.exe: " << GetLastError();
        return {};
    }
    ProgramEnd end;
    end.Ended = WaitForSingleObject(process.hProcess, waitMs) == WAIT_OBJECT_0;
    if (!end.Ended)
        TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &end.Status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return end;
}

// Started by another program in a console of its own (hidden, or as a terminal under Wine
// gives it, with a standard input that stays open), the program ends with its run.
TEST(CliSystemWindows, AProgramStartedByAnotherEndsWithoutWaitingForEnter)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    TempDir dir;
    const std::string wac = dir.Write("chord.wac", WacOf(100));
    const struct {
        std::vector<std::string> Args;
        HANDLE Input;
        DWORD Status;
    } rows[] = {
        {{"--version"}, nullptr, 0},
        {{"--version"}, readEnd, 0},
        {{wac}, readEnd, 2}, // full paths alone, as a drop gives them, but from no file manager
        {{"--bogus"}, nullptr, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Args.front() + (row.Input != nullptr ? " with standard input open" : ""));
        const ProgramEnd end = RunProgram(row.Args, ConsoleOf::OwnHidden, row.Input, 20000);
        EXPECT_TRUE(end.Ended) << "it waited (for Enter?)";
        EXPECT_EQ(end.Status, row.Status);
    }
    EXPECT_FALSE(FileExists(dir / "chord")) << "taken for a drop";
    CloseHandle(writeEnd);
    CloseHandle(readEnd);
}

// The console a shell shares with the program keeps its own code page and modes once the
// program has ended, however it ended; while it runs, the program's UTF-8 reads as such and
// escapes act where the console has them. It needs a console: under Wine, one of a terminal
// (tools/windows/compare.sh runs it so); a runner without one skips it.
TEST(CliSystemWindows, TheConsoleIsLeftAsItWasFound)
{
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        GTEST_SKIP() << "no console here";
    const HANDLE savedError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, console);
    const UINT savedPage = GetConsoleOutputCP();
    // Wine's console of a terminal keeps its code page whatever it is told.
    const bool pages = SetConsoleOutputCP(850) && GetConsoleOutputCP() == 850;
    const DWORD plain = mode & ~static_cast<DWORD>(ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    ASSERT_TRUE(SetConsoleMode(console, plain));
    DWORD now = 0;
    {
        const ConsoleSettings settings;
        GetConsoleMode(console, &now);
        EXPECT_NE(now & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u);
        EXPECT_TRUE(StandardErrorTakesEscapes());
        EXPECT_EQ(pages ? GetConsoleOutputCP() : CP_UTF8, static_cast<UINT>(CP_UTF8));
    }
    GetConsoleMode(console, &now);
    EXPECT_EQ(now, plain);
    EXPECT_EQ(pages ? GetConsoleOutputCP() : 850u, 850u);

    // The real program in this console, ended well, by a usage error and by a failed run.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"--bogus"}, {"-o", "out", "gone.wac"}}) {
        EXPECT_TRUE(RunProgram(args, ConsoleOf::Shared).Ended);
        GetConsoleMode(console, &now);
        EXPECT_EQ(now, plain) << args.front();
        EXPECT_EQ(pages ? GetConsoleOutputCP() : 850u, 850u) << args.front();
    }
    SetConsoleOutputCP(savedPage);
    SetConsoleMode(console, mode);
    SetStdHandle(STD_ERROR_HANDLE, savedError);
    CloseHandle(console);
}

// A result.log that another program holds open cannot be replaced: the run's log goes to
// the next free name instead, and the warning says which file is held, that everything is
// written, and what to do.
TEST(CliSystemWindows, AResultLogHeldOpenElsewhereIsWrittenUnderTheNextFreeName)
{
    TempDir dir;
    const std::string wac = dir.Write("chord.wac", WacOf(100));
    ASSERT_EQ(Cli({"-q", "-o", dir / "out", wac}).Status, 0);
    const std::string earlier = ReadFileBytes(dir / "out/result.log");
    // As an editor that locks what it has open: reading shared, writing and deleting not.
    const HANDLE held = CreateFileW(WideOf(dir / "out/result.log").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeleteFileW(WideOf(dir / "out/chord.wav").c_str()));
    const auto run = Cli({"-q", "-o", dir / "out", wac});
    CloseHandle(held);
    EXPECT_EQ(run.Status, 3) << run.Err;
    EXPECT_EQ(run.Err, "packsmith-cli: " + Shown(dir / "out/result.log") +
                           " is held open by another program, which keeps it from being replaced. Everything this "
                           "run extracted is written, and its log was written as " +
                           Shown(dir / "out/result_0000.log") +
                           " instead: replay that one, or close the other program and rename it to result.log\n");
    EXPECT_TRUE(FileExists(dir / "out/chord.wav"));
    EXPECT_EQ(ReadFileBytes(dir / "out/result.log"), earlier);
    EXPECT_EQ(ReadFileBytes(dir / "out/result_0000.log"), earlier);
}

#endif

} // namespace
} // namespace packsmith::test
