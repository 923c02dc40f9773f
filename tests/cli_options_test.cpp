// packsmith-cli's command line, read in this process: on Linux and on Windows alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/DroppedFiles.h"
#include "formats/imagepack/PackListing.h"
#include "io/FileStream.h"
#include "io/TextFile.h"
#include "testing/Bytes.h"
#include "testing/CliRun.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

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
        {{"-f", "wav", "-o", "out", "a.wac"}, "unknown format 'wav' (use wac, was, at3, lst, log, pack-wac or pack-was)"},
        {{"-o", "out", "-x", "a.wac"}, "unknown option -x"},
        {{"-o", "out", "picture.tga"}, "cannot tell the format of picture.tga from its extension; use -f"},
        {{"-o", "out", "voice.wav"}, "cannot tell how to pack voice.wav; give --pack wac or --pack was"},
        {{"-o", "out", "--like", "a.wac", "voice.wav"}, "--like goes with --pack"},
        {{"-o", "out", "a.wac", "B.WAC", "c.was"},
         "c.was is a .was file and a.wac a .wac file, but one run takes one format: run packsmith-cli once for "
         "the .wac files and once for the .was files"},
        {{"-o", "out", "a.wac", "c.bin"}, "c.bin is not a .wac file like a.wac; give -f to take every file as one format"},
        {{"--json", "a.at3"}, "--json goes with --list"},
        {{"--list", "-o", "out", "a.at3"}, "--list writes nothing; it takes neither -o, --pack nor --like"},
        {{"--list", "a.at3", "r.log"}, "cannot list r.log: --list shows .wac, .was and .at3 files"},
        {{"--only", "*.BMP", "-o", "out", "a.wac"}, "--only selects entries of image packs (.at3)"},
        {{"-j", "0", "-o", "out", "a.wac"}, "-j takes a number of threads from 1 to 256, not '0'"},
        {{"-j", "99999999999", "-o", "out", "a.wac"}, "-j takes a number of threads from 1 to 256, not '99999999999'"},
        {{"--compress", "small", "-o", "out", "r.log"}, "--compress takes exact, lossy or raw, not 'small'"},
        {{"--compress", "raw", "-o", "out", "a.at3"}, "--compress goes with replaying result logs (.log) and project lists (.lst)"},
        {{"--list", "--compress", "raw", "a.at3"}, "--compress goes with replaying result logs (.log) and project lists (.lst)"},
        {{"--pack", "wac", "-f", "wac", "-o", "out", "v.wav"}, "the format is given twice (--pack wac, -f wac); give one"},
        {{"--pack=wac", "--pack", "was", "-o", "out", "v.wav"}, "the format is given twice (--pack wac, --pack was); give one"},
        {{"-fwac", "-f", "wac", "-o", "out", "a.wac"}, "the format is given twice (-f wac, -f wac); give one"},
        {{"-j0", "-o", "out", "a.wac"}, "-j takes a number of threads from 1 to 256, not '0'"},
        {{"--list=yes", "a.at3"}, "option --list takes no value"},
        {{"--bogus=1", "-o", "out", "a.wac"}, "unknown option --bogus"},
        {{"-o", "A", "-o", "B", "a.wac"}, "the target directory is given twice (-o A, -o B); give one"},
        {{"-oA", "-o", "A", "a.wac"}, "the target directory is given twice (-o A, -o A); give one"},
        {{"--compress", "raw", "--compress=lossy", "-o", "out", "r.log"},
         "--compress is given twice (--compress raw, --compress lossy); give one"},
        {{"--pack", "wac", "--like", "a.wac", "--like=b.wac", "-o", "out", "v.wav"},
         "--like is given twice (--like a.wac, --like b.wac); give one"},
        {{"-o", "out", "--compress=", "r.log"}, "--compress takes exact, lossy or raw, not ''"},
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
        {{"-o", "out", "A.WAS", "b.was"}, 2, {"A.WAS", "b.was"}},
        {{"-f", "wac", "-o", "out", "a.was", "b.wac"}, 1, {"a.was", "b.wac"}},
        {{"-f", "log", "-o", "out", "jobs.txt"}, 5, {"jobs.txt"}},
        {{"x.at3", "-q", "-o", "out", "--", "-named.at3"}, 3, {"x.at3", "-named.at3"}},
        {{"-o", "out", "-f", "lst", "-"}, 4, {"-"}},
    };
    for (const auto& row : rows) {
        const CliOptions options = ParseCliOptions(row.args);
        EXPECT_EQ(FilterPosition(*options.JobFormat), row.position);
        EXPECT_EQ(options.Files, row.files);
        EXPECT_EQ(options.TargetDirectory, "out");
    }
    EXPECT_TRUE(ParseCliOptions({"x.at3", "-q", "-o", "out"}).Quiet);
    EXPECT_EQ(ParseCliOptions({"r.log", "-o", "out"}).Coding, ReplacementCoding::ExactOrRaw);
    EXPECT_EQ(ParseCliOptions({"--compress", "lossy", "r.log", "-o", "out"}).Coding, ReplacementCoding::Lossy);
    EXPECT_EQ(ParseCliOptions({"-o", "out", "--compress", "raw", "j.lst"}).Coding, ReplacementCoding::Raw);
    EXPECT_EQ(ParseCliOptions({"--version"}).What, CliOptions::Action::Version);

    // Values joined to their options, as other tools take them.
    const CliOptions joined = ParseCliOptions({"-j4", "-oout", "--only=*.BMP", "-fat3", "x.bin"});
    EXPECT_EQ(joined.Threads, 4u);
    EXPECT_EQ(joined.TargetDirectory, "out");
    EXPECT_EQ(joined.Only, std::vector<std::string>{"*.BMP"});
    EXPECT_EQ(FilterPosition(*joined.JobFormat), 3);
    EXPECT_EQ(ParseCliOptions({"--compress=raw", "-o", "out", "r.log"}).Coding, ReplacementCoding::Raw);
    EXPECT_EQ(ParseCliOptions({"--pack=was", "--like=s.was", "-o", "out", "v.wav"}).PackLike, "s.was");
}

// Where the listing says each entry goes is where the extraction writes it, also where two
// stored names meet at one file of this system (on Windows: names that differ in case, or
// with a character as UTF-8 and as its single byte), so that a script finds each entry's file.
TEST(CliListing, EachEntryIsListedWhereTheExtractionWritesIt)
{
    TempDir dir;
    const std::string pack = dir.Write(
        "p.at3", AsString(BuildImagePack(Named({"Caf\xE9.bmp", "Caf\xC3\xA9.bmp", "a.bmp", "A.BMP", "x\\a.bmp",
                                                "a_0000.bmp", "n.b\xE9", "m.B\xC3\x89"}))));
    ASSERT_EQ(Cli({"-q", "-o", dir / "out", pack}).Status, 0);
    std::vector<std::string> written = ReadTextFile(dir / "out/result.log");
    ASSERT_GT(written.size(), 2u);
    written.erase(written.begin(), written.begin() + 2);
    FileStream stream(pack, FileStream::Mode::OpenRead);
    const std::vector<ListedEntry> listing = ListImagePack(stream, pack);
    ASSERT_EQ(listing.size(), written.size());
    for (std::size_t i = 0; i < listing.size(); ++i)
        EXPECT_EQ(dir / ("out/" + listing[i].OutputPath), written[i]) << i;
}

// Files dropped on the program arrive as full paths and nothing else; only then is a target
// made up, beside the first file and named after it.
TEST(CliOptions, DroppedFilesGetAFolderBesideTheFirst)
{
    const struct {
        std::vector<std::string> Args;
        std::vector<std::string> Expected;
    } rows[] = {
        {{"/games/data/sprites.at3"}, {"-o", "/games/data/sprites", "/games/data/sprites.at3"}},
        {{"/mods/out/result.log", "/mods/b/result.log"},
         {"-o", "/mods/out/result", "/mods/out/result.log", "/mods/b/result.log"}},
        {{"/games/ünï 文字/chord.v2.wac"}, {"-o", "/games/ünï 文字/chord.v2", "/games/ünï 文字/chord.v2.wac"}},
        {{"/games/.wac"}, {"-o", "/games/.wac files", "/games/.wac"}},
        // Anything typed in a shell stays as typed.
        {{"sprites.at3"}, {"sprites.at3"}},
        {{"-o", "/out", "/games/a.wac"}, {"-o", "/out", "/games/a.wac"}},
        {{"/games/a.wac", "--list"}, {"/games/a.wac", "--list"}},
        {{}, {}},
#ifdef _WIN32
        {{"C:\\Games\\Data\\sprites.at3"}, {"-o", "C:/Games/Data/sprites", "C:\\Games\\Data\\sprites.at3"}},
        {{"\\\\server\\share\\a.wac"}, {"-o", "//server/share/a", "\\\\server\\share\\a.wac"}},
#endif
    };
    for (const auto& row : rows)
        EXPECT_EQ(WithDropTarget(row.Args), row.Expected) << (row.Args.empty() ? "" : row.Args.front());
    EXPECT_EQ(ParseCliOptions(WithDropTarget({"/games/data/sprites.at3"})).TargetDirectory, "/games/data/sprites");
}

} // namespace
} // namespace packsmith::test
