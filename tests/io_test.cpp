#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/PackError.h"
#include "core/PathUtils.h"
#include "io/FileStream.h"
#include "io/MemoryStream.h"
#include "io/StringList.h"
#include "io/TextFile.h"
#include "testing/Bytes.h"
#include "testing/FileSizeLimit.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using Lines = std::vector<std::string>;

// Runs action and checks that it fails with a PackError carrying exactly message.
void ExpectPackError(const std::function<void()>& action, const std::string& message)
{
    try {
        action();
        ADD_FAILURE() << "no PackError thrown, expected \"" << message << "\"";
    } catch (const PackError& error) { EXPECT_EQ(std::string(error.what()), message); }
}

std::span<const std::uint8_t> AsBytes(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string Pattern(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

// A sink that accepts at most capacity bytes in all and remembers the size of every Write.
class LimitedSink final : public Stream {
public:
    explicit LimitedSink(std::size_t capacity) : capacity_(capacity) {}

    std::size_t Read(std::span<std::uint8_t>) override { return 0; }
    std::size_t Write(std::span<const std::uint8_t> buffer) override
    {
        writes.push_back(buffer.size());
        const std::size_t n = std::min(buffer.size(), capacity_ - data.size());
        data.append(reinterpret_cast<const char*>(buffer.data()), n);
        return n;
    }
    std::int64_t Seek(std::int64_t, Origin) override { return static_cast<std::int64_t>(data.size()); }
    std::int64_t Size() override { return static_cast<std::int64_t>(data.size()); }

    std::string data;
    std::vector<std::size_t> writes;

private:
    std::size_t capacity_;
};


// ---- FileStream ----

TEST(FileStreamTest, RefusesWhatIsNoRegularFile)
{
    TempDir dir;
    const std::string subdir = dir / "sub";
    ASSERT_EQ(::mkdir(subdir.c_str(), 0755), 0);
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string plain = dir.Write("plain.bin", "x");

    using enum FileStream::Mode;
    // Each message names the file and says why.
    const struct {
        std::string path;
        FileStream::Mode mode;
        std::string cause;
    } cases[] = {
        {dir / "missing.bin", OpenRead, "No such file or directory"},
        {subdir, OpenRead, "not a regular file"},
        {subdir, OpenReadWrite, "it is a directory"},
        {"/dev/zero", OpenRead, "not a regular file"},
        {fifo, OpenRead, "not a regular file"}, // refused at once, not waited on
        {dir / "nodir/out.bin", Create, "No such file or directory"},
        {subdir, Create, "it is a directory"},
        {plain + "/x", Create, "a part of the path is not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string message =
            (c.mode == Create ? "Cannot create file " : "Cannot open file ") + c.path + " (" + c.cause + ")";
        ExpectPackError([&] { FileStream stream(c.path, c.mode); }, message);
    }
}

TEST(FileStreamTest, CreateReplacesAndReadsBack)
{
    TempDir dir;
    const std::string path = dir.Write("out.bin", "old content that is long");
    {
        FileStream out(path, FileStream::Mode::Create);
        EXPECT_EQ(out.Size(), 0);
        out.WriteBuffer(AsBytes("abc"));
        EXPECT_EQ(out.Position(), 3);
    }
    EXPECT_EQ(ReadFileBytes(path), "abc");

    FileStream in(path, FileStream::Mode::OpenRead);
    EXPECT_EQ(in.Size(), 3);
    std::uint8_t buffer[8] = {};
    in.SetPosition(1);
    EXPECT_EQ(in.Read(buffer), 2u); // a short read says how much it got
    EXPECT_EQ(buffer[0], 'b');
    EXPECT_EQ(buffer[1], 'c');
    in.SetPosition(1);
    ExpectPackError([&] { in.ReadBuffer(std::span(buffer, 3)); }, "Stream read error");
}

TEST(FileStreamTest, OpenReadWriteKeepsTheRest)
{
    TempDir dir;
    const std::string path = dir.Write("data.bin", "0123456789");
    {
        FileStream file(path, FileStream::Mode::OpenReadWrite);
        file.Seek(-3, Stream::Origin::End);
        file.WriteBuffer(AsBytes("XYZW"));
        EXPECT_EQ(file.Size(), 11);
    }
    EXPECT_EQ(ReadFileBytes(path), "0123456XYZW");
}

// ---- Stream ----

TEST(StreamTest, AFullDiskIsNamedInTheWriteError)
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0)
        GTEST_SKIP() << "no /dev/full here";
    FileStream stream(SystemFile::Adopt(full), "/dev/full");
    ExpectPackError([&] { stream.WriteBuffer(AsBytes("x")); }, "Stream write error (No space left on device)");
}

TEST(StreamTest, WriteBufferFailsOnShortWrite)
{
    LimitedSink sink(4);
    sink.WriteBuffer(AsBytes("abc"));
    ExpectPackError([&] { sink.WriteBuffer(AsBytes("de")); }, "Stream write error");
    EXPECT_EQ(sink.data, "abcd");
}

TEST(StreamTest, CopyFromMovesExactlyCountBytesInPieces)
{
    const std::string content = Pattern(200'000);
    MemoryStream source;
    source.WriteBuffer(AsBytes(content + "tail"));
    source.SetPosition(0);

    LimitedSink sink(std::numeric_limits<std::size_t>::max());
    sink.CopyFrom(source, content.size());
    EXPECT_EQ(sink.data, content);
    EXPECT_EQ(source.Position(), static_cast<std::int64_t>(content.size()));
    ASSERT_GT(sink.writes.size(), 1u);
    EXPECT_LT(*std::max_element(sink.writes.begin(), sink.writes.end()), content.size());
}

TEST(StreamTest, CopyFromStartsAtBothPositions)
{
    MemoryStream source;
    source.WriteBuffer(AsBytes("abcdefgh"));
    source.SetPosition(2);
    MemoryStream target;
    target.WriteBuffer(AsBytes("0123456789"));
    target.SetPosition(3);

    target.CopyFrom(source, 4);
    EXPECT_EQ(AsString(target.Bytes()), "012cdef789");
    EXPECT_EQ(source.Position(), 6);
    EXPECT_EQ(target.Position(), 7);

    target.CopyFrom(source, 0);
    EXPECT_EQ(AsString(target.Bytes()), "012cdef789");
    EXPECT_EQ(source.Position(), 6);
    EXPECT_EQ(target.Position(), 7);

    ExpectPackError([&] { target.CopyFrom(source, 3); }, "Stream read error");
}

// ---- MemoryStream ----

TEST(MemoryStreamTest, GrowsSeeksAndReads)
{
    MemoryStream stream;
    stream.WriteBuffer(AsBytes("abcd"));
    stream.Seek(-2, Stream::Origin::Current);
    stream.WriteBuffer(AsBytes("XYZ")); // overwrites two bytes and grows by one
    EXPECT_EQ(AsString(stream.Bytes()), "abXYZ");

    stream.SetPosition(8); // past the end: a write fills the gap with zeros
    stream.WriteBuffer(AsBytes("!"));
    EXPECT_EQ(AsString(stream.Bytes()), std::string("abXYZ\0\0\0!", 9));

    EXPECT_EQ(stream.Seek(-100, Stream::Origin::End), 0);
    EXPECT_EQ(stream.Seek(-1, Stream::Origin::Current), 0);

    std::uint8_t buffer[4] = {};
    stream.Seek(-2, Stream::Origin::End);
    EXPECT_EQ(stream.Read(buffer), 2u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], '!');
    EXPECT_EQ(stream.Read(buffer), 0u);
    stream.SetPosition(6);
    ExpectPackError([&] { stream.ReadBuffer(buffer); }, "Stream read error");
}

TEST(MemoryStreamTest, SetSizeZeroFillsAndKeepsPosition)
{
    MemoryStream stream;
    stream.WriteBuffer(AsBytes("abcdef"));
    stream.SetPosition(4);
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 4);
    stream.SetSize(5);
    EXPECT_EQ(AsString(stream.Bytes()), std::string("ab\0\0\0", 5)); // cut bytes do not come back
    EXPECT_EQ(stream.Position(), 4);
}

TEST(MemoryStreamTest, AbsurdSizesFailCleanly)
{
    const std::uint64_t sizes[] = {MemoryStream::kMaxSize + 1, 1ull << 62, std::numeric_limits<std::uint64_t>::max()};
    for (const auto size : sizes) {
        SCOPED_TRACE(size);
        MemoryStream stream;
        stream.WriteBuffer(AsBytes("keep"));
        ExpectPackError([&] { stream.SetSize(size); }, "Out of memory while expanding memory stream");
        EXPECT_EQ(AsString(stream.Bytes()), "keep");
    }
    MemoryStream stream;
    stream.SetPosition(std::numeric_limits<std::int64_t>::max());
    ExpectPackError([&] { stream.WriteBuffer(AsBytes("x")); }, "Out of memory while expanding memory stream");
}

TEST(MemoryStreamTest, LoadsFromFileAndStream)
{
    TempDir dir;
    const std::string content = Pattern(70'000);
    const std::string path = dir.Write("in.bin", content);

    MemoryStream stream;
    stream.WriteBuffer(AsBytes("previous content"));
    stream.LoadFromFile(path);
    EXPECT_EQ(AsString(stream.Bytes()), content);
    EXPECT_EQ(stream.Position(), 0);

    MemoryStream part;
    stream.SetPosition(10);
    part.LoadFromStream(stream, 5);
    EXPECT_EQ(AsString(part.Bytes()), content.substr(10, 5));
    EXPECT_EQ(part.Position(), 0);
    EXPECT_EQ(stream.Position(), 15);

    ExpectPackError([&] { stream.LoadFromFile(dir / "none.bin"); }, "Cannot open file " + (dir / "none.bin") + " (No such file or directory)");
}

// ---- Text files and StringList ----

TEST(TextFileTest, SplitsAtEveryLineEnding)
{
    struct Case {
        std::string text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"\r\n", {""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\r\n", {"a", ""}},
        {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {std::string("\0a", 2), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(SplitTextLines(c.text), c.lines);
    }

    // Files saved by other editors: a UTF-8 mark is dropped, UTF-16 (either byte order, with
    // its mark) becomes UTF-8, zero bytes and all; a pair of units is one character.
    const std::pair<std::string, std::string> marked[] = {
        {"\xEF\xBB\xBF#Source: /a", "#Source: /a"},
        {std::string("\xFF\xFE#\0S\0\xE9\0\r\0\n\0/\0\x3D\xD8\x00\xDE", 18), "#S\xC3\xA9\r\n/\xF0\x9F\x98\x80"},
        {std::string("\xFE\xFF\0#\0S\0\xE9\xD8\x3D", 10), "#S\xC3\xA9\xEF\xBF\xBD"},
        {"\xEF\xBB", "\xEF\xBB"},
        // Without a mark, UTF-16 is told by the zero beside each of its first two characters;
        // single-byte text, which ends at its first zero byte, is not taken for it.
        {std::string("#\0F\0\xE9\0\r\0", 8), "#F\xC3\xA9\r"},
        {std::string("\0#\0F\0\xE9", 6), "#F\xC3\xA9"},
        {std::string("a\0\0\0", 4), std::string("a\0\0\0", 4)},
        {std::string("ab\0\0", 4), std::string("ab\0\0", 4)},
        {std::string("\xE9t\xE9\0", 4), std::string("\xE9t\xE9\0", 4)},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& [bytes, text] : marked) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(DecodeText(AsBytes(bytes)), text);
    }
}

TEST(TextFileTest, WritesCrLfAfterEveryLineAndReadsBack)
{
    TempDir dir;
    const std::string path = dir / "list.txt";
    const Lines lines = {"first line", "", " \tblank\t ", "\x80\xE9\xFF bytes"};
    WriteTextFile(path, lines);
    EXPECT_EQ(ReadFileBytes(path), "first line\r\n\r\n \tblank\t \r\n\x80\xE9\xFF bytes\r\n");
    EXPECT_EQ(ReadTextFile(path), lines);

    WriteTextFile(path, {});
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(ReadTextFile(path), Lines{});

    const std::string zero = dir.Write("zero.txt", std::string("a\nb\0c\n", 6));
    EXPECT_EQ(ReadTextFile(zero), (Lines{"a", "b"}));

    ExpectPackError([&] { ReadTextFile(dir / "none.txt"); }, "Cannot open file " + (dir / "none.txt") + " (No such file or directory)");
    ExpectPackError([&] { WriteTextFile(dir / "no/x.txt", lines); }, "Cannot create file " + (dir / "no/x.txt") + " (No such file or directory)");

    // A disk that fills while the file is written: the message names the file, and the
    // earlier file of the name stays as it was.
    {
        const FileSizeLimit limit(8);
        ASSERT_TRUE(limit.Active());
        WriteTextFile(path, {"short"});
        ExpectPackError([&] { WriteTextFile(path, lines); }, path + ": Stream write error (File too large)");
        ExpectPackError([&] { WriteWholeFile(path, "longer than eight"); }, path + ": Stream write error (File too large)");
    }
    EXPECT_EQ(ReadFileBytes(path), "short\r\n");
}

TEST(StringListTest, IndexOutsideTheListFails)
{
    StringList list;
    ExpectPackError([&] { list.At(0); }, "List index out of bounds (0)");
    list.Add("a");
    list.Add("b");
    list.Add("c");
    list.Put(2, "C");
    EXPECT_EQ(list.At(0), "a");
    EXPECT_EQ(list.At(2), "C");
    for (const int index : {-1, 3, 4}) {
        SCOPED_TRACE(index);
        const std::string message = "List index out of bounds (" + std::to_string(index) + ")";
        ExpectPackError([&] { list.At(index); }, message);
        ExpectPackError([&] { list.Put(index, "x"); }, message);
    }
    EXPECT_EQ(list.Lines(), (Lines{"a", "b", "C"}));
}

TEST(StringListTest, TruncateDropsFromIndexOn)
{
    const struct {
        int count;
        Lines left;
    } cases[] = {
        {0, {}}, {1, {"a"}}, {2, {"a", "b"}}, {3, {"a", "b", "c"}}, {4, {"a", "b", "c"}}, {-1, {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        StringList list;
        for (const char* line : {"a", "b", "c"})
            list.Add(line);
        list.Truncate(c.count);
        EXPECT_EQ(list.Lines(), c.left);
    }
}

TEST(StringListTest, SavesAndLoadsWithTextFileRules)
{
    TempDir dir;
    const std::string path = dir / "result.log";
    StringList list;
    list.Add("one");
    list.Add("two words");
    list.SaveToFile(path);
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo words\r\n");

    dir.Write("edited.log", "x\ny\r\n\rz");
    StringList loaded;
    loaded.Add("stale");
    loaded.LoadFromFile(dir / "edited.log");
    EXPECT_EQ(loaded.Lines(), (Lines{"x", "y", "", "z"}));
    ExpectPackError([&] { loaded.LoadFromFile(dir / "gone.log"); }, "Cannot open file " + (dir / "gone.log") + " (No such file or directory)");
}

// ---- Paths ----

TEST(PathUtilsTest, FileNameExtensionAndJoin)
{
    const struct {
        std::string path, name, ext, changed;
    } cases[] = {
        {"/snd/door.wac", "door.wac", ".wac", "/snd/door.wav"},
        {"voice", "voice", "", "voice.wav"},
        {"a.b.wac", "a.b.wac", ".wac", "a.b.wav"},
        {".wac", ".wac", ".wac", ".wav"},
        {"/x.y/voice", "voice", "", "/x.y/voice.wav"},
        {"dir/", "", "", "dir/.wav"},
        {"a\\b.c\\d", "a\\b.c\\d", ".c\\d", "a\\b.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileName(c.path), c.name);
        EXPECT_EQ(ExtractFileExt(c.path), c.ext);
        EXPECT_EQ(ChangeFileExt(c.path, ".wav"), c.changed);
    }
    EXPECT_EQ(JoinPath("/out", "a.wav"), "/out/a.wav");
    EXPECT_EQ(JoinPath("/", "x"), "//x");
}

TEST(PathUtilsTest, DrivesAndSharesAreWindowsAbsolutePathsOnEverySystem)
{
    for (const char* path : {"C:/Mods/x.tga", "c:\\Mods", "Z:/", "\\\\server\\share\\x", "//server/share", "\\/s"})
        EXPECT_TRUE(IsWindowsAbsolutePath(path)) << path;
    for (const char* path : {"C:", "C:x.tga", "1:/x", "CD:/x", "/home/x", "\\\\\\x", "\\x", "x/C:/y", ""})
        EXPECT_FALSE(IsWindowsAbsolutePath(path)) << path;
}

TEST(PathUtilsTest, UpperCaseChangesOnlyAsciiLetters)
{
    EXPECT_EQ(UpperCaseAscii("abz{`\xC3\xA9"), "ABZ{`\xC3\xA9");
}

// ---- Stop requests ----


} // namespace
} // namespace packsmith::test
