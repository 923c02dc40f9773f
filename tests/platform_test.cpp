// The platform layer's promises, which each system keeps in its own way: the same test on
// Linux and, built with mingw-w64, on Windows (under Wine here). Where Windows once broke
// them: every file of a drive had the same identity, files written in text mode grew a CR
// before each LF, a file open for reading could not be replaced, and narrow paths were
// not UTF-8.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/FilesystemPath.h"
#include "core/WideText.h"
#include "platform/Cores.h"
#include "platform/FileSystem.h"
#include "platform/NameMatch.h"
#include "platform/PendingFile.h"
#include "platform/RandomBits.h"
#include "platform/SharedLibrary.h"
#include "platform/StopSignal.h"
#include "platform/SystemFile.h"
#include "testing/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;

// Bytes a text-mode write or read would change: LF, CR LF, a lone CR, ^Z (the end of a text
// file to the C runtime) and NUL.
const std::string kAwkwardBytes("one\ntwo\r\nthree\rfour\x1a" "five\0six\n", 29);

std::vector<std::uint8_t> AsBytes(const std::string& text) { return {text.begin(), text.end()}; }

std::set<std::string> Listing(const std::string& directory)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(FilesystemPath(directory)))
        names.insert(PathText(entry.path().filename()));
    return names;
}

void WriteWhole(const std::string& path, const std::string& bytes)
{
    int error = 0;
    SystemFile file(path, SystemFile::Access::Create, error);
    ASSERT_EQ(error, 0) << path;
    const auto data = AsBytes(bytes);
    ASSERT_EQ(file.Write(data, error), data.size());
}

std::string ReadWhole(const std::string& path)
{
    int error = 0;
    SystemFile file(path, SystemFile::Access::Read, error);
    if (error != 0)
        return "(cannot open: " + std::to_string(error) + ")";
    std::vector<std::uint8_t> buffer(4096);
    const std::size_t n = file.Read(buffer, error);
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

// A folder whose name no single-byte code page holds, so that any path handed to the system
// in the ANSI code page instead of UTF-16 fails.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir / "ünï 文字 Ω";
        ASSERT_EQ(MakeDirectory(root), 0);
    }

    TempDir dir;
    std::string root;
};

TEST_F(PlatformTest, FilesKeepEveryByteAndReadAtOffsetsLeavesThePositionAlone)
{
    const std::string path = root + "/dätä.bin";
    WriteWhole(path, kAwkwardBytes);
    EXPECT_EQ(ReadWhole(path), kAwkwardBytes);

    int error = 0;
    SystemFile file(path, SystemFile::Access::Read, error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(file.OpenedSize(), static_cast<std::int64_t>(kAwkwardBytes.size()));
    EXPECT_EQ(file.Size(error), static_cast<std::int64_t>(kAwkwardBytes.size()));

    std::vector<std::uint8_t> three(3);
    ASSERT_EQ(file.Read(three, error), 3u);
    EXPECT_EQ(std::string(three.begin(), three.end()), "one");
    ASSERT_EQ(file.ReadAt(8, three, error), 3u);
    EXPECT_EQ(std::string(three.begin(), three.end()), "\nth");
    ASSERT_EQ(file.Read(three, error), 3u); // on from where Read left off, not ReadAt
    EXPECT_EQ(std::string(three.begin(), three.end()), "\ntw");

    // Short only at the end, and a position past it reads nothing.
    std::vector<std::uint8_t> many(100);
    EXPECT_EQ(file.ReadAt(static_cast<std::int64_t>(kAwkwardBytes.size()) - 4, many, error), 4u);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(file.ReadAt(1000, many, error), 0u);
    EXPECT_EQ(file.Seek(-3, SystemFile::Origin::End, error), static_cast<std::int64_t>(kAwkwardBytes.size()) - 3);
    EXPECT_EQ(file.Read(many, error), 3u);
}

TEST_F(PlatformTest, OpeningSaysWhyItCannot)
{
    int error = 0;
    SystemFile missing(root + "/none.bin", SystemFile::Access::Read, error);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(missing.IsOpen());
    SystemFile folder(root, SystemFile::Access::Read, error);
    EXPECT_EQ(error, kNotRegularFile);
    EXPECT_FALSE(folder.IsOpen());
    EXPECT_EQ(WhyCannotOpen(root + "/none.bin"), ENOENT);
    EXPECT_EQ(WhyCannotOpen(root), kNotRegularFile);
}

TEST_F(PlatformTest, EveryFileHasAnIdentityOfItsOwnWhateverThePathsSpelling)
{
    WriteWhole(root + "/a.wac", "a");
    WriteWhole(root + "/b.wac", "b");
    ASSERT_EQ(MakeDirectory(root + "/sub"), 0);

    EXPECT_TRUE(SameFile(root + "/a.wac", root + "/a.wac"));
    EXPECT_TRUE(SameFile(root + "/a.wac", root + "/sub/../a.wac"));
    EXPECT_TRUE(SameFile(root + "/a.wac", root + "/./a.wac"));
    // Two files of one folder, and so of one drive, are two files.
    EXPECT_FALSE(SameFile(root + "/a.wac", root + "/b.wac"));
    EXPECT_FALSE(SameFile(root + "/a.wac", root + "/missing.wac"));
    EXPECT_FALSE(SameFile(root + "/missing.wac", root + "/missing.wac"));
    EXPECT_NE(IdentityOf(root + "/a.wac"), IdentityOf(root + "/sub"));

    EXPECT_NO_THROW(RefuseOverInput(root + "/b.wac", root + "/a.wac"));
    try {
        RefuseOverInput(root + "/sub/../a.wac", root + "/a.wac");
        ADD_FAILURE() << "writing over the input was not refused";
    } catch (const PackError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + root + "/sub/../a.wac (it is the file being read)");
    }
}

TEST_F(PlatformTest, KindsDirectoriesAndRemoval)
{
    WriteWhole(root + "/f", "x");
    EXPECT_EQ(KindOf(root + "/f", true), PathKind::RegularFile);
    EXPECT_EQ(KindOf(root, true), PathKind::Directory);
    EXPECT_EQ(KindOf(root + "/none", true), PathKind::Missing);
    EXPECT_TRUE(PathExists(root + "/f"));
    EXPECT_TRUE(PathExists(root));
    EXPECT_FALSE(PathExists(""));

    EXPECT_EQ(MakeDirectory(root + "/new"), 0);
    EXPECT_EQ(KindOf(root + "/new", true), PathKind::Directory);
    EXPECT_EQ(MakeDirectory(root + "/new"), EEXIST);
    EXPECT_EQ(MakeDirectory(root + "/f"), EEXIST);
    EXPECT_EQ(MakeDirectory(root + "/none/deeper"), ENOENT);
    // A file where a folder should be is named as the cause, wherever a path leads through it.
    EXPECT_EQ(MakeDirectory(root + "/f/deeper"), ENOTDIR);
    EXPECT_EQ(WhyCannotOpen(root + "/f/x.wav"), ENOTDIR);
    int error = 0;
    SystemFile(root + "/f/x.wav", SystemFile::Access::Create, error);
    EXPECT_EQ(error, ENOTDIR);
    PendingFile(root + "/f/", "x.wav", error);
    EXPECT_EQ(error, ENOTDIR);

    EXPECT_EQ(RemoveFile(root + "/f"), 0);
    EXPECT_FALSE(PathExists(root + "/f"));
    EXPECT_EQ(RemoveFile(root + "/f"), ENOENT);
}

// A pending file is invisible until named, takes a free name only if it is free, replaces a
// taken one whole (also while another handle reads the old file, as the runs do when an
// output replaces a file they read), and leaves nothing behind when dropped. Both ways of
// keeping it nameless are tried where the system has both.
class PendingFileTest : public PlatformTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        PendingFile::ForceNamedTemporary(GetParam());
    }
    void TearDown() override { PendingFile::ForceNamedTemporary(false); }

    // A pending file in root holding bytes, not yet named. An unnamed file lives only while
    // open, so the writer's file stays open until the test ends.
    std::unique_ptr<PendingFile> Written(const std::string& bytes)
    {
        int error = 0;
        auto pending = std::make_unique<PendingFile>(root + "/", "out.wav", error);
        EXPECT_EQ(error, 0);
        SystemFile& file = writers.emplace_back(pending->TakeFile());
        EXPECT_TRUE(file.IsOpen());
        const auto data = AsBytes(bytes);
        EXPECT_EQ(file.Write(data, error), data.size());
        return pending;
    }

    std::vector<SystemFile> writers;
};

#ifdef _WIN32
// The file's attributes on Windows; INVALID_FILE_ATTRIBUTES for none there.
DWORD AttributesOf(const std::string& path)
{
    const std::u16string wide = WideText(path);
    return GetFileAttributesW(std::wstring(wide.begin(), wide.end()).c_str());
}
#endif

TEST_P(PendingFileTest, NamedOnlyWhenCompleteAndNeverOverATakenNameUnlessAsked)
{
    auto first = Written(kAwkwardBytes);
#ifdef _WIN32
    // Hidden while it has a hidden name (which a killed process leaves), shown once named.
    const std::set<std::string> pending = Listing(root);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_NE(AttributesOf(root + "/" + *pending.begin()) & FILE_ATTRIBUTE_HIDDEN, 0u) << *pending.begin();
#endif
    EXPECT_EQ(first->NameIfFree("out.wav"), 0);
#ifdef _WIN32
    EXPECT_EQ(AttributesOf(root + "/out.wav") & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
    EXPECT_EQ(ReadWhole(root + "/out.wav"), kAwkwardBytes);

    auto second = Written("second");
    EXPECT_EQ(second->NameIfFree("out.wav"), EEXIST);
    EXPECT_EQ(ReadWhole(root + "/out.wav"), kAwkwardBytes);
    EXPECT_EQ(second->NameIfFree("out (2).wav"), 0);
    EXPECT_EQ(ReadWhole(root + "/out (2).wav"), "second");

    // Replacing the file another handle is reading: the reader keeps the old bytes.
    int error = 0;
    SystemFile reader(root + "/out.wav", SystemFile::Access::Read, error);
    ASSERT_EQ(error, 0);
    auto third = Written("third");
    EXPECT_EQ(third->NameReplacing("out.wav"), 0);
    EXPECT_EQ(ReadWhole(root + "/out.wav"), "third");
#ifdef _WIN32
    EXPECT_EQ(AttributesOf(root + "/out.wav") & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
    std::vector<std::uint8_t> old(3);
    EXPECT_EQ(reader.ReadAt(0, old, error), 3u);
    EXPECT_EQ(std::string(old.begin(), old.end()), "one");
    // An old file set aside on Windows goes with its last handle.
    reader = SystemFile();
    writers.clear();

    EXPECT_EQ(Listing(root), (std::set<std::string>{"out.wav", "out (2).wav"}));

    // A folder of the name is never replaced.
    ASSERT_EQ(MakeDirectory(root + "/folder"), 0);
    auto fourth = Written("fourth");
    EXPECT_EQ(fourth->NameReplacing("folder"), EISDIR);
    EXPECT_EQ(KindOf(root + "/folder", false), PathKind::Directory);
    fourth->Discard();
    writers.clear();
    EXPECT_EQ(Listing(root), (std::set<std::string>{"out.wav", "out (2).wav", "folder"}));
}

TEST_P(PendingFileTest, ADroppedFileLeavesNothing)
{
    {
        auto dropped = Written("dropped");
        dropped->Discard();
    }
    {
        auto forgotten = Written("forgotten"); // gone with the object
    }
    writers.clear();
    EXPECT_EQ(Listing(root), std::set<std::string>{});

    int error = 0;
    PendingFile nowhere(root + "/none/", "out.wav", error);
    EXPECT_EQ(error, ENOENT);
}

INSTANTIATE_TEST_SUITE_P(Unnamed, PendingFileTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(HiddenName, PendingFileTest, ::testing::Values(true));

TEST(PlatformNames, PlainFileNamesAndPatterns)
{
    for (const char* plain : {"a.wav", "TITLE.BMP.tga", "ünï.wav", "a b", ".hidden"})
        EXPECT_TRUE(IsPlainFileName(plain)) << plain;
    for (const std::string& bad : std::vector<std::string>{"", "a/b", "/", std::string("a\0b", 3)})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
#ifdef _WIN32
    // Linux cannot make a file named "." or "..": both are always taken there.
    for (const std::string& bad : std::vector<std::string>{".", "..", "a\\b", "c:x", "\\"})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
#endif

    struct Case {
        const char* Pattern;
        const char* Name;
        bool Matches;
    };
    const Case cases[] = {
        {"*.bmp", "GFX\\TITLE.BMP", true}, // "\" is a plain character, and case is ignored
        {"GFX\\*", "GFX\\TITLE.BMP", true},
        {"gfx\\t?tle.bmp", "GFX\\TITLE.BMP", true},
        {"*.tga", "GFX\\TITLE.BMP", false},
        {"[a-c]*", "Boat", true},
        {"[!a-c]*", "Boat", false},
        {"?", "", false},
        {"*", "", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameMatches(c.Pattern, c.Name), c.Matches) << c.Pattern << " / " << c.Name;
}

// Names made from a pack's stored names: Linux stores any of them; Windows would drop a
// trailing "." or " ", refuse "?" or "*", and open a device for CON or NUL.
TEST(PlatformNames, NamesMadeFromDataAreStorable)
{
    const struct {
        const char* Name;
        const char* OnWindows;
    } cases[] = {
        {"TITLE.BMP.tga", "TITLE.BMP.tga"},
        {"a?b*c.bmp.tga", "a_b_c.bmp.tga"},
        {"<x>|\"y\".tga", "_x___y_.tga"},
        {"name.", "name_"},
        {"name ", "name_"},
        {"CON.tga", "CON_.tga"},
        {"nul.BMP.tga", "nul_.BMP.tga"},
        {"Com1.tga", "Com1_.tga"},
        {"LPT9", "LPT9_"},
        {"AUX .tga", "AUX _.tga"},
        {"CONSOLE.tga", "CONSOLE.tga"},
        {"COM10.tga", "COM10.tga"},
        {"NUL_0000.tga", "NUL_0000.tga"},
        {"caf\xC3\xA9.tga", "caf\xC3\xA9.tga"},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        EXPECT_EQ(StorableName(c.Name), c.OnWindows) << c.Name;
#else
        EXPECT_EQ(StorableName(c.Name), c.Name);
#endif
    }
}

TEST(PlatformPaths, Utf8PathsWithSlashesInsideTheProgram)
{
    std::error_code ec;
#ifndef _WIN32
    EXPECT_EQ(AbsolutePath("/games/./x/../a.wac", ec), "/games/a.wac");
#endif
    const std::string name = "Z/ünï 文字/a.wav";
    EXPECT_EQ(PathText(FilesystemPath(name)), name);
    EXPECT_EQ(PathText(FilesystemPath(name).filename()), "a.wav");
    EXPECT_EQ(PathText(FilesystemPath(name).parent_path()), "Z/ünï 文字");
    EXPECT_EQ(PathText(FilesystemPath("/games//a.wac")), "/games//a.wac"); // as it stands
    EXPECT_TRUE(IsAbsolutePath("/games/a.wac"));
    EXPECT_FALSE(IsAbsolutePath("games/a.wac"));
    EXPECT_FALSE(IsAbsolutePath(""));
#ifdef _WIN32
    // Backslashes from the system become slashes; drives and shares are roots.
    EXPECT_EQ(PathText(FilesystemPath("C:\\games\\a.wac")), "C:/games/a.wac");
    EXPECT_TRUE(IsAbsolutePath("C:/games/a.wac"));
    EXPECT_TRUE(IsAbsolutePath("C:\\games\\a.wac"));
    EXPECT_TRUE(IsAbsolutePath("//server/share/a.wac"));
    EXPECT_EQ(PathText(FilesystemPath("\\\\server\\share\\a.wac")), "//server/share/a.wac");
    EXPECT_EQ(PathText(NormalPath(FilesystemPath("//server/share/x/../../../a.wac"))), "//server/share/a.wac");
    EXPECT_EQ(AbsolutePath("\\\\server\\share\\x\\..\\a.wac", ec), "//server/share/a.wac");
    EXPECT_EQ(AbsolutePath("//server/share", ec), "//server/share");
    EXPECT_EQ(AbsolutePath("C:\\games\\.\\a.wac", ec), "C:/games/a.wac");
    EXPECT_FALSE(IsAbsolutePath("C:a.wac")); // the drive's current folder
    EXPECT_EQ(ProgramPath("C:\\mods\\out/BMP\\a.tga"), "C:/mods/out/BMP/a.tga");
#else
    EXPECT_EQ(ProgramPath("out/BMP\\a.tga"), "out/BMP\\a.tga"); // a letter of the name
#endif
}

// Names stored in packs are bytes of a single-byte code page, which Windows must get as
// UTF-16: valid UTF-8 as it is, any other byte as its Windows-1252 character.
TEST(PlatformPaths, NamesThatAreNotUtf8GetTheirCodePagesCharacters)
{
    const struct {
        std::string Text;
        std::u16string Wide;
    } cases[] = {
        {"TITLE.BMP", u"TITLE.BMP"},
        {"caf\xC3\xA9 \xE6\x96\x87 \xF0\x9F\x98\x80", u"caf\u00E9 \u6587 \U0001F600"},
        {"caf\xE9", u"caf\u00E9"},                      // Latin-1 from 0xA0 on
        {"\x80\x81\x8A\x9F\xFF", u"\u20AC\u0081\u0160\u0178\u00FF"}, // 0x80 to 0x9F as Windows-1252
        {"\xC0\xAF", u"\u00C0\u00AF"},                   // an overlong "/" is no "/"
        {"\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},          // a surrogate
        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"}, // past U+10FFFF
        {"a\xE2\x82", u"a\u00E2\u201A"},                 // cut short at the end
        {"\xE2\x82" "a", u"\u00E2\u201A" "a"},             // cut short before a letter
        {std::string("\0x", 2), std::u16string(u"\0x", 2)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WideText(c.Text), c.Wide) << c.Text;
#ifdef _WIN32
    EXPECT_EQ(PathText(FilesystemPath("out/caf\xE9.tga").filename()), "caf\xC3\xA9.tga");
#endif
}

TEST(PlatformSystem, CoresRandomBitsAndTheCodecLibrary)
{
    EXPECT_GE(UsableCores(), 1u);

    std::set<std::uint64_t> seen;
    for (int i = 0; i < 64; ++i)
        seen.insert(RandomBits());
    EXPECT_EQ(seen.size(), 64u);

    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(KindOf(folder, true), PathKind::Directory);
    const std::string codec = folder + "/" + SharedLibraryFileName("targa");
#ifdef _WIN32
    EXPECT_EQ(SharedLibraryFileName("targa"), "targa.dll");
#else
    EXPECT_EQ(SharedLibraryFileName("targa"), "libtarga.so");
#endif
    const SharedLibrary library(codec);
    ASSERT_TRUE(library.Loaded()) << codec;
    EXPECT_NE(library.Entry("ReadTGA"), nullptr);
    EXPECT_NE(library.Entry("WriteTGA"), nullptr);
    EXPECT_EQ(library.Entry("TgaDecode"), nullptr); // nothing but the two is exported
    EXPECT_FALSE(SharedLibrary(folder + "/none-" + SharedLibraryFileName("targa")).Loaded());
}

// Ctrl+C asks the run to stop; the process goes on until the run has stopped.
TEST(PlatformSignals, CtrlCAsksForAStop)
{
    const StopSignal signal;
    EXPECT_FALSE(StopSignal::Raised());
    EXPECT_EQ(StopSignal::ExitStatus(), 130);
#ifdef _WIN32
    // The event comes on a thread of its own, as a console sends it.
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        GTEST_SKIP() << "no console to send Ctrl+C to";
    for (int waited = 0; waited < 500 && !StopSignal::Raised(); ++waited)
        Sleep(10);
#else
    std::raise(SIGINT);
#endif
    EXPECT_TRUE(StopSignal::Raised());
    EXPECT_TRUE(StopSignal::Flag().load());
    EXPECT_EQ(StopSignal::Received(), 2);
    EXPECT_EQ(StopSignal::ExitStatus(), 130);
}

} // namespace
} // namespace packsmith::test
