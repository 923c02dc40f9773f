// Putting edited pictures back into image packs: the rebuilt pack's layout, raw records,
// failures that leave nothing behind, the walk over a result log and the whole cycle of
// extraction, editing and replay.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/PackListing.h"
#include "formats/imagepack/compress/ImageCompressor.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "io/TextFile.h"
#include "jobs/ExtractAt3.h"
#include "jobs/FormatTable.h"
#include "jobs/ListedPath.h"
#include "jobs/RebuildAt3.h"
#include "jobs/ResultLog.h"
#include "jobs/ReplayLog.h"
#include "run/Run.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/RecordingHost.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A pack written by hand: marked header bytes, entry records of 260 bytes whose bytes
// besides name, offset and length are marked too, a table region of tableSize bytes (its
// slack marked), and the records stored in the given order with gaps before, between and
// after them.
Bytes ScatteredPack(const std::vector<Bytes>& records, std::uint32_t tableSize, const std::vector<int>& order)
{
    constexpr std::uint32_t entrySize = 260;
    Bytes pack(32 + tableSize, 0xA5);
    for (std::size_t i = 0; i < 32; ++i)
        pack[i] = static_cast<std::uint8_t>(0x40 + i);
    StoreLE32(pack.data() + 8, tableSize);
    StoreLE32(pack.data() + 12, static_cast<std::uint32_t>(records.size()));
    StoreLE32(pack.data() + 16, entrySize);
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::uint8_t* entry = pack.data() + 32 + i * entrySize;
        std::fill(entry, entry + entrySize, static_cast<std::uint8_t>(0x61 + i));
        entry[6] = 0;
    }
    for (const int index : order) {
        const auto i = static_cast<std::size_t>(index);
        pack.insert(pack.end(), 13 + i, 0xEE);
        std::uint8_t* entry = pack.data() + 32 + i * entrySize;
        StoreLE32(entry + 243, static_cast<std::uint32_t>(pack.size()));
        StoreLE32(entry + 247, static_cast<std::uint32_t>(records[i].size()));
        pack.insert(pack.end(), records[i].begin(), records[i].end());
    }
    pack.insert(pack.end(), 29, 0xEE);
    return pack;
}

Bytes FileBytes(const std::string& path)
{
    const std::string text = ReadFileBytes(path);
    return Bytes(text.begin(), text.end());
}

// The pixels of a TGA file, read back through the codec: top row first.
Bytes ReadBack(const std::string& path)
{
    Bitmap32 bitmap;
    TgaLibrary().Read(path, *bitmap.ForCodec());
    Bytes bytes;
    for (std::uint32_t y = 0; y < bitmap.Height(); ++y)
        bytes.insert(bytes.end(), bitmap.Row(y), bitmap.Row(y) + bitmap.RowBytes());
    return bytes;
}

// Writes a 32-bit TGA file of width x height pixels that depend on seed; returns the pixels
// as the codec reads them back, top row first.
Bytes WriteTga(const std::string& path, std::uint32_t width, std::uint32_t height, std::uint8_t seed)
{
    Bitmap32 bitmap;
    bitmap.SetSize(width, height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width * 4; ++x)
            bitmap.Row(y)[x] = static_cast<std::uint8_t>(seed + y * 31 + x * 7);
    TgaLibrary().Write(path, *bitmap.ForCodec());
    return ReadBack(path);
}

// Writes a 32-bit TGA file of width x height pixels of noise, no two blocks alike; returns
// the pixels as the codec reads them back.
Bytes WriteNoiseTga(const std::string& path, std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    Bitmap32 bitmap;
    bitmap.SetSize(width, height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width * 4; ++x)
            bitmap.Row(y)[x] = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
    TgaLibrary().Write(path, *bitmap.ForCodec());
    return ReadBack(path);
}

std::vector<std::string> Listing(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(directory))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        run.TargetDirectory = dir / "new";
        run.RebuildFor = RebuildFor;
        fs::create_directories(run.TargetDirectory);
    }
    std::string Pack(const std::string& name, const Bytes& bytes)
    {
        return dir.Write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string New(const std::string& name) const { return run.TargetDirectory + "/" + name; }
    // RebuildAt3 as the replay calls it, with the given replay list.
    int Rebuild(const std::string& pack, const std::vector<std::string>& lines, int firstLine,
                const std::string& newPath)
    {
        run.ReplayList.Clear();
        for (const auto& line : lines)
            run.ReplayList.Add(line);
        run.SourcePackStream = std::make_unique<FileStream>(pack, FileStream::Mode::OpenRead);
        const int next = RebuildAt3(newPath, firstLine, run, host);
        run.SourcePackStream.reset();
        return next;
    }
    template <typename Job> std::string Failure(Job job)
    {
        try {
            job();
        } catch (const PackError& e) {
            run.SourcePackStream.reset();
            return e.what();
        }
        return "";
    }
    // Extracts pack into dir/folder as a run would; returns the pictures' paths.
    std::vector<std::string> ExtractInto(const std::string& pack, const std::string& folder)
    {
        run.TargetDirectory = dir / folder;
        fs::create_directories(run.TargetDirectory);
        host.Outputs.clear();
        ExtractAt3(pack, run, host);
        return host.OutputPaths();
    }
    std::string Log(const std::string& name, const std::vector<std::string>& lines)
    {
        WriteTextFile(dir / name, lines);
        return dir / name;
    }

    TempDir dir;
    RunContext run;
    RecordingHost host;
};

TEST_F(ReplayTest, WithNoListedFileTheRecordsAreKeptAndCompacted)
{
    const Bytes compact = BuildImagePack(Named({"a.bmp", "b.bmp", "c.bmp"}));
    const std::string source = Pack("compact.at3", compact);
    // An empty or blank line and paths of files that do not exist name nothing; but when
    // not one picture listed is there, the replay changed nothing and says so.
    EXPECT_EQ(Rebuild(source, {"x", "y", " \t", dir / "none.tga", dir / "gone/none.tga"}, 2, New("compact.at3")), 5);
    EXPECT_EQ(FileBytes(New("compact.at3")), compact) << "a compacted pack comes out unchanged";
    ASSERT_EQ(host.Outputs.size(), 1u);
    EXPECT_EQ(host.Outputs[0], std::make_pair(New("compact.at3"), std::uint64_t{compact.size()}));
    EXPECT_EQ(host.Details[0], "0 replaced, 0 unchanged, 3 kept (2 not found)");
    EXPECT_EQ(host.Warnings, std::vector<std::string>{source + ": not one of the 2 pictures listed for it was found "
                                                               "(the first: " + (dir / "none.tga") + "); " +
                                                      New("compact.at3") + " holds its pictures unchanged"});
    EXPECT_EQ(Rebuild(source, {"", dir / "none.tga", ""}, 0, New("compact.at3")), 3);
    EXPECT_EQ(host.Warnings.back(), source + ": the one picture listed for it was not found: " + (dir / "none.tga") +
                                        "; " + New("compact.at3") + " holds its pictures unchanged");
    host = {};

    // Records in reverse order, with gaps and a table region larger than the table.
    const std::vector<Bytes> records = {Picture(1).Record, Bytes{}, Picture(3, 8, 2).Record};
    const std::uint32_t tableSize = 3 * 260 + 40;
    const Bytes scattered = ScatteredPack(records, tableSize, {2, 1, 0});
    const std::string messy = Pack("messy.at3", scattered);
    EXPECT_EQ(Rebuild(messy, {"", "", ""}, 0, New("messy.at3")), 3);
    EXPECT_TRUE(host.Warnings.empty()) << "empty lines list no pictures";
    const Bytes rebuilt = FileBytes(New("messy.at3"));
    std::size_t dataBytes = 0;
    for (const auto& record : records)
        dataBytes += record.size();
    ASSERT_EQ(rebuilt.size(), 32 + tableSize + dataBytes);

    Bytes expectedFront(scattered.begin(), scattered.begin() + 32 + tableSize);
    std::uint32_t at = 32 + tableSize;
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const std::size_t entry = 32 + i * 260;
        EXPECT_EQ(LoadLE32(rebuilt.data() + entry + 243), at);
        EXPECT_EQ(LoadLE32(rebuilt.data() + entry + 247), records[i].size());
        EXPECT_EQ(Bytes(rebuilt.begin() + at, rebuilt.begin() + at + records[i].size()), records[i]);
        StoreLE32(expectedFront.data() + entry + 243, at);
        at += static_cast<std::uint32_t>(records[i].size());
    }
    EXPECT_EQ(Bytes(rebuilt.begin(), rebuilt.begin() + 32 + tableSize), expectedFront)
        << "header, slack and every entry byte but the offset stay";
    EXPECT_EQ(FileBytes(messy), scattered);
}

TEST_F(ReplayTest, AnEditedPictureBecomesARawRecordAndAnUneditedOneKeepsItsRecord)
{
    run.Coding = ReplacementCoding::Raw;
    const std::vector<PackPicture> pictures = Named({"same.bmp", "other.bmp", "kept.bmp"});
    const std::string source = Pack("p.at3", BuildImagePack(pictures));
    const std::string unedited = dir / "same.tga";
    {
        // The picture exactly as extraction would write it: its record stays byte for byte.
        const EncodedImage first = Picture(1);
        Bitmap32 bitmap;
        bitmap.SetSize(16, 4);
        for (std::uint32_t y = 0; y < 4; ++y)
            std::copy_n(first.Expected.begin() + y * 64, 64, bitmap.Row(y));
        TgaLibrary().Write(unedited, *bitmap.ForCodec());
    }
    const Bytes otherRows = WriteTga(dir / "other.tga", 16, 4, 9);

    EXPECT_EQ(Rebuild(source, {unedited, dir / "other.tga", dir / "kept.tga"}, 0, New("p.at3")), 3);
    const Bytes rebuilt = FileBytes(New("p.at3"));
    EXPECT_EQ(host.Details, std::vector<std::string>{"1 replaced (1 raw), 1 unchanged, 1 kept (1 not found)"});
    EXPECT_TRUE(host.Warnings.empty()) << "a deleted picture keeps its entry";

    std::uint32_t at = 32 + 3 * 256;
    EXPECT_EQ(LoadLE32(rebuilt.data() + 32 + 243), at);
    EXPECT_EQ(Bytes(rebuilt.begin() + at, rebuilt.begin() + at + pictures[0].Record.size()), pictures[0].Record);
    at += static_cast<std::uint32_t>(pictures[0].Record.size());

    // The edited one: the source's header with tag and sizes, then its rows bottom row first.
    const Bytes& from = pictures[1].Record;
    const std::uint32_t pixelBytes = 16 * 4 * 4;
    const std::uint8_t* entry = rebuilt.data() + 32 + 256;
    ASSERT_EQ(LoadLE32(entry + 243), at);
    ASSERT_EQ(LoadLE32(entry + 247), 248 + pixelBytes);
    const Bytes record(rebuilt.begin() + at, rebuilt.begin() + at + 248 + pixelBytes);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 7), (Bytes{'D', 'D', 'N', 'H', 0, 0, 0}));
    EXPECT_EQ(Bytes(record.begin() + 7, record.begin() + 201), Bytes(from.begin() + 7, from.begin() + 201));
    EXPECT_EQ(LoadLE32(record.data() + 201), pixelBytes);
    EXPECT_EQ(LoadLE32(record.data() + 205), pixelBytes);
    EXPECT_EQ(Bytes(record.begin() + 209, record.begin() + 248), Bytes(from.begin() + 209, from.begin() + 248));
    EXPECT_EQ(LoadLE32(record.data() + 17), 16u) << "the width field keeps the source's value";
    EXPECT_EQ(LoadLE32(record.data() + 21), 4u) << "the height field keeps the source's value";
    for (std::uint32_t y = 0; y < 4; ++y) // bottom row first
        EXPECT_EQ(Bytes(record.begin() + 248 + y * 64, record.begin() + 248 + (y + 1) * 64),
                  Bytes(otherRows.begin() + (3 - y) * 64, otherRows.begin() + (4 - y) * 64)) << "row " << y;
    at += 248 + pixelBytes;
    EXPECT_EQ(LoadLE32(rebuilt.data() + 32 + 2 * 256 + 243), at);
    EXPECT_EQ(Bytes(rebuilt.begin() + at, rebuilt.end()), pictures[2].Record);

    // Rebuilt again from the rebuilt pack, the raw record's own picture is unchanged too.
    host.Details.clear();
    EXPECT_EQ(Rebuild(New("p.at3"), {unedited, dir / "other.tga", ""}, 0, dir / "again.at3"), 3);
    EXPECT_EQ(host.Details, std::vector<std::string>{"0 replaced, 2 unchanged, 1 kept"});
    EXPECT_EQ(FileBytes(dir / "again.at3"), rebuilt);
}

TEST_F(ReplayTest, EmptyPacksShortListsAndBrokenTables)
{
    const Bytes empty = ScatteredPack({}, 64, {});
    EXPECT_EQ(Rebuild(Pack("empty.at3", empty), {}, 7, New("empty.at3")), 7);
    EXPECT_EQ(FileBytes(New("empty.at3")), Bytes(empty.begin(), empty.begin() + 32 + 64));

    // Three entries but only two lines from the first line on.
    const std::string three = Pack("three.at3", BuildImagePack(Named({"a.x", "b.x", "c.x"})));
    EXPECT_EQ(Failure([&] { Rebuild(three, {"log line", "", ""}, 1, New("three.at3")); }),
              "The log no longer fits " + three + ": it lists 2 pictures for the pack's 3 entries, none for entry 3 \"c.x\"");
    EXPECT_FALSE(FileExists(New("three.at3")));
    EXPECT_EQ(Listing(run.TargetDirectory), std::vector<std::string>{"empty.at3"}) << "nothing left behind";

    Bytes small = BuildImagePack(Named({"a.x", "b.x"}));
    StoreLE32(small.data() + 8, 300); // two 256-byte entries do not fit
    const std::string cramped = Pack("cramped.at3", small);
    const std::string message = Failure([&] { Rebuild(cramped, {"", ""}, 0, New("cramped.at3")); });
    EXPECT_NE(message.find(cramped), std::string::npos) << message;
    EXPECT_FALSE(FileExists(New("cramped.at3")));

    // No entries, and entries of no size: the table is written in pieces of whole entries.
    Bytes sizeless = empty;
    StoreLE32(sizeless.data() + 16, 0);
    EXPECT_EQ(Rebuild(Pack("sizeless.at3", sizeless), {}, 0, New("sizeless.at3")), 0);
    EXPECT_EQ(FileBytes(New("sizeless.at3")), Bytes(sizeless.begin(), sizeless.begin() + 32 + 64));
}

TEST_F(ReplayTest, TheLogIsWalkedLineByLine)
{
    const std::string one = Pack("one.at3", BuildImagePack(Named({"a.bmp", "b.bmp"})));
    const std::string two = Pack("two.at3", BuildImagePack(Named({"c.bmp"})));
    chmod(two.c_str(), 0444); // only read, so a read-only pack rebuilds too
    const Bytes replaced = WriteTga(dir / "b.tga", 16, 4, 3);
    const std::string log = Log("result.log", {"#Format: AT3", "#Source: " + one, dir / "a-missing.tga",
                                               dir / "b.tga", "#Format: AT3", "#Source: " + two, ""});
    host.Progress = 40;
    ReplayLog(log, run, host);
    ASSERT_EQ(host.Outputs.size(), 2u);
    EXPECT_EQ(host.Outputs[0].first, New("one.at3"));
    EXPECT_EQ(host.Outputs[1].first, New("two.at3"));
    EXPECT_EQ(host.Details, (std::vector<std::string>{"1 replaced (1 compressed exactly), 0 unchanged, 1 kept (1 not found)",
                                                      "0 replaced, 0 unchanged, 1 kept"}));
    EXPECT_TRUE(host.Warnings.empty());
    EXPECT_EQ(FileBytes(New("two.at3")), FileBytes(two));
    EXPECT_EQ(host.TotalMax, 100);
    EXPECT_EQ(host.Statuses.front(), "Processing result.log...");
    EXPECT_EQ(run.ReplayList.At(0), "AT3");
    EXPECT_EQ(run.ReplayList.At(1), one);
    EXPECT_EQ(run.ReplayList.At(3), dir / "b.tga") << "lines read as image paths are left as they are";

    // Lines that are not keyword lines, or keyword lines that select nothing.
    RunContext other;
    other.RebuildFor = RebuildFor;
    other.TargetDirectory = dir / "other";
    fs::create_directories(other.TargetDirectory);
    std::vector<std::string> lines;
    for (const auto& name : std::vector<std::string>{"nob", "lower", "wac", "blanks", "lead", "cased"})
        fs::copy_file(one, dir / (name + ".at3"));
    lines = {"#Format:AT3",    "#Source: " + (dir / "nob.at3"),    "#Target: " + (dir / "t"),
             "#Format: at3",   "#Source: " + (dir / "lower.at3"),  "#Target " + (dir / "t"),
             "#Format: WAC",   "#Source: " + (dir / "wac.at3"),    "#Format: AT3",
             "#Source:  " + (dir / "blanks.at3") + " ", "", "",    "  \t#Source: " + (dir / "lead.at3"), "", "",
             "#FORMAT: AT3",   "#source: " + (dir / "cased.at3"),  "", "",
             "#Format:",       "#Source: " + (dir / "nob.at3")};
    RecordingHost walk;
    walk.Progress = 40;
    const std::string walkLog = Log("walk.log", lines);
    ReplayLog(walkLog, other, walk);
    // (A sound job's source is copied: its ".wav" beside the log is not there, so it was not
    // edited, and the replay says that it changed nothing.) Keywords are read in any case,
    // format names as written; blanks around a path are left out when it names nothing else.
    EXPECT_EQ(Listing(other.TargetDirectory),
              (std::vector<std::string>{"blanks.at3", "cased.at3", "lead.at3", "wac.at3"}));
    EXPECT_EQ(walk.Warnings,
              (std::vector<std::string>{
                  walkLog + ": nothing was rebuilt from " + (dir / "nob.at3") + ": no #Format line comes before it",
                  walkLog + ": nothing was rebuilt from " + (dir / "lower.at3") + ": its #Format line names at3, "
                            "which is no format that can be rebuilt (the format is written AT3)",
                  dir / "wac.at3" + ": its sound " + (dir / "wac.wav") + " was not found; " +
                      (other.TargetDirectory + "/wac.at3") + " is a copy of it, unchanged",
                  walkLog + ": nothing was rebuilt from " + (dir / "nob.at3") + ": its #Format line names no format"}));
    EXPECT_EQ(other.ReplayList.At(0), "#Format:AT3");
    EXPECT_EQ(other.ReplayList.At(2), "#Target: " + (dir / "t"));
    EXPECT_EQ(other.ReplayList.At(5), dir / "t");
    EXPECT_EQ(other.ReplayList.At(6), "WAC");
    EXPECT_EQ(other.ReplayList.At(9), " " + (dir / "blanks.at3") + " ");
    EXPECT_EQ(other.ReplayList.At(12), dir / "lead.at3") << "blanks before the keyword are cut with it";
    EXPECT_EQ(other.ReplayList.At(16), dir / "cased.at3");

    // Progress rises by one per handled line on top of what it held. A log that lists no
    // pack (a pack or any other file given as a log, an emptied log) says why nothing
    // was rebuilt.
    RecordingHost plain;
    plain.Progress = 40;
    const std::string plainLog = Log("plain.log", {"a", "b", "c", "d", "e"});
    ReplayLog(plainLog, other, plain);
    EXPECT_EQ(plain.Progress, 45);
    EXPECT_EQ(plain.Total, 100);
    EXPECT_TRUE(plain.Outputs.empty());
    EXPECT_EQ(plain.Warnings, std::vector<std::string>{plainLog + " is no result log: it has neither a #Format nor "
                                                                  "a #Source line; nothing was rebuilt"});
    RecordingHost formatOnly;
    ReplayLog(Log("format.log", {"#Format: AT3", dir / "a.tga"}), other, formatOnly);
    EXPECT_EQ(formatOnly.Warnings,
              std::vector<std::string>{dir / "format.log" + " lists no pack (no #Source line); nothing was rebuilt"});

    RecordingHost single;
    ReplayLog(Log("single.log", {"only"}), other, single);
    EXPECT_EQ(single.Total, 100);
    RecordingHost none;
    ReplayLog(Log("empty.log", {}), other, none);
    EXPECT_EQ(none.Total, 0);
    EXPECT_EQ(none.Statuses, std::vector<std::string>{"Processing empty.log..."});
    EXPECT_EQ(none.Warnings.size(), 1u);

    fs::create_directories(dir / "folder.at3");
    EXPECT_EQ(Failure([&] {
                  ReplayLog(Log("folder.log", {"#Format: AT3", "#Source: " + (dir / "folder.at3")}), other, host);
              }),
              "Cannot open file " + (dir / "folder.at3") + " (not a regular file)");
}

TEST_F(ReplayTest, TheSourceDirectoryAsTargetLeavesTheSourceAlone)
{
    fs::create_directories(dir / "src");
    const Bytes bytes = BuildImagePack(Named({"a.bmp", "b.bmp"}));
    const std::string source = Pack("src/p.at3", bytes);
    WriteTga(dir / "a.tga", 16, 4, 1);
    const std::string log = Log("r.log", {"#Format: AT3", "#Source: " + source, dir / "a.tga", ""});
    // The folder by its own name and by another way to it: a link here, and on Windows,
    // whose names ignore case (and where making a link takes privileges), other letters.
#ifndef _WIN32
    fs::create_directory_symlink(dir / "src", dir / "link");
    const std::string other = dir / "link";
#else
    const std::string other = dir / "SRC";
#endif
    for (const std::string& target : {dir / "src", other}) {
        SCOPED_TRACE(target);
        run.TargetDirectory = target;
        EXPECT_EQ(Failure([&] { ReplayLog(log, run, host); }),
                  About(source, "Cannot create file " + target + "/p.at3 (it is the file being read)"));
        EXPECT_EQ(FileBytes(source), bytes);
        EXPECT_EQ(Listing(dir / "src"), std::vector<std::string>{"p.at3"});
    }
}

TEST_F(ReplayTest, EditedPicturesAreStoredAsTheChosenCodingAsks)
{
    // A picture of few blocks (a width the blocks do not divide) and one of noise, whose
    // blocks are all different: exact, and beyond what a record holds exactly (and large
    // enough that its lossy record is smaller than its raw one).
    const std::string source = Pack("p.at3", BuildImagePack({{"few.bmp", Picture(1, 40, 20).Record},
                                                             {"noise.bmp", EncodeImageRecord(512, 256, std::vector<std::uint32_t>(512 * 256, 0xFF102030u), {}).Record}}));
    const Bytes few = WriteTga(dir / "few.tga", 40, 20, 5);
    const Bytes noise = WriteNoiseTga(dir / "noise.tga", 512, 256, 12345);
    struct Row {
        ReplacementCoding Coding;
        RecordCoding Few, Noise; // as a listing of the rebuilt pack shows them
        std::string Details;
    };
    for (const Row& row : {Row{ReplacementCoding::ExactOrRaw, RecordCoding::FullRows, RecordCoding::Raw,
                               "2 replaced (1 compressed exactly, 1 raw), 0 unchanged, 0 kept"},
                           Row{ReplacementCoding::Lossy, RecordCoding::FullRows, RecordCoding::FullRows,
                               "2 replaced (1 compressed exactly, 1 lossy at "},
                           Row{ReplacementCoding::Raw, RecordCoding::Raw, RecordCoding::Raw,
                               "2 replaced (2 raw), 0 unchanged, 0 kept"}}) {
        SCOPED_TRACE(static_cast<int>(row.Coding));
        run.Coding = row.Coding;
        host.Details.clear();
        fs::remove(New("p.at3"));
        EXPECT_EQ(Rebuild(source, {dir / "few.tga", dir / "noise.tga"}, 0, New("p.at3")), 2);
        ASSERT_EQ(host.Details.size(), 1u);
        EXPECT_EQ(host.Details[0].substr(0, row.Details.size()), row.Details);

        FileStream rebuilt(New("p.at3"), FileStream::Mode::OpenRead);
        const std::vector<ListedEntry> listed = ListImagePack(rebuilt, New("p.at3"));
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_EQ(listed[0].Coding, row.Few);
        EXPECT_EQ(listed[1].Coding, row.Noise);
        ImagePackReader reader(rebuilt, New("p.at3"));
        Bitmap32 read;
        reader.ReadPicture(reader.NextEntry(), read);
        EXPECT_EQ(Bytes(read.Row(0), read.Row(0) + 40 * 20 * 4), few) << "exact, whether compressed or raw";
        reader.ReadPicture(reader.NextEntry(), read);
        const Bytes got(read.Row(0), read.Row(0) + 512 * 256 * 4);
        if (row.Noise == RecordCoding::Raw) {
            EXPECT_EQ(got, noise);
        } else {
            // The quality the results line tells is the picture's own.
            double squares = 0;
            for (std::size_t i = 0; i < got.size(); ++i)
                squares += (got[i] - noise[i]) * (got[i] - noise[i]);
            char told[64];
            std::snprintf(told, sizeof told, " lossy at %.1f dB), 0 unchanged, 0 kept",
                          10 * std::log10(255.0 * 255.0 * static_cast<double>(got.size()) / squares));
            EXPECT_NE(host.Details[0].find(told), std::string::npos) << host.Details[0];
        }
    }

    // A pack rebuilt before, its records raw, lends its headers to compressed records
    // without the raw tag.
    run.Coding = ReplacementCoding::ExactOrRaw;
    const Bytes again = WriteTga(dir / "few.tga", 40, 20, 9);
    EXPECT_EQ(Rebuild(New("p.at3"), {dir / "few.tga", ""}, 0, dir / "again.at3"), 2);
    FileStream rebuilt(dir / "again.at3", FileStream::Mode::OpenRead);
    ImagePackReader reader(rebuilt, dir / "again.at3");
    const PackEntry entry = reader.NextEntry();
    Bytes tag(4);
    rebuilt.ReadAt(entry.DataOffset, tag);
    EXPECT_NE(tag, (Bytes{'D', 'D', 'N', 'H'}));
    Bitmap32 read;
    reader.ReadPicture(entry, read);
    EXPECT_EQ(Bytes(read.Row(0), read.Row(0) + 40 * 20 * 4), again);
}

TEST_F(ReplayTest, APictureOfAnotherSizeIsStoredCompressedOrRefusedNamingIt)
{
    // A raw record keeps its entry's size in its header, so a resized picture is compressed
    // or refused, in every coding; one beyond what any record holds is refused too.
    const std::string source = Pack("p.at3", BuildImagePack({{"pic.bmp", Picture(1, 64, 32).Record}}));
    const auto write = [&](const std::string& name, std::uint32_t width, std::uint32_t height, bool noise) {
        Bitmap32 bitmap;
        bitmap.SetSize(width, height);
        std::uint32_t state = 777;
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width * 4; ++x)
                bitmap.Row(y)[x] = noise ? static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 23)
                                         : static_cast<std::uint8_t>(0x40 + x % 4);
        TgaLibrary().Write(dir / name, *bitmap.ForCodec());
        return dir / name;
    };
    const std::string flat = write("flat.tga", 200, 100, false);
    const std::string noise = write("noise.tga", 200, 100, true);
    const std::string huge = write("huge.tga", 1024, 1024, false);
    const std::string empty = write("empty.tga", 0, 0, false);
    const std::string resizedNoise = "Cannot store " + noise + " as entry 1 \"pic.bmp\": its picture of 200 x 100 "
                                     "pixels replaces one of 64 x 32; a picture of another size needs a compressed "
                                     "record, and no compressed record holds this one exactly (--compress lossy "
                                     "stores it compressed)";
    const std::string tooLarge = "Cannot store " + huge + " as entry 1 \"pic.bmp\": a picture of 1024 x 1024 pixels "
                                 "is larger than the 524288 pixels a record holds";
    const struct {
        ReplacementCoding Coding;
        std::string Picture;
        std::string Refusal; // "" when stored, readable as the picture (or close to it, lossy)
    } rows[] = {
        {ReplacementCoding::ExactOrRaw, flat, ""},
        {ReplacementCoding::Raw, flat, ""},
        {ReplacementCoding::Lossy, flat, ""},
        {ReplacementCoding::ExactOrRaw, noise, resizedNoise},
        {ReplacementCoding::Raw, noise, resizedNoise},
        {ReplacementCoding::Lossy, noise, ""},
        {ReplacementCoding::ExactOrRaw, huge, tooLarge},
        {ReplacementCoding::Raw, huge, tooLarge},
        {ReplacementCoding::Lossy, huge, tooLarge},
        {ReplacementCoding::ExactOrRaw, empty, "Cannot store " + empty + " as entry 1 \"pic.bmp\": it holds no pixels (0 x 0)"},
        {ReplacementCoding::Lossy, empty, "Cannot store " + empty + " as entry 1 \"pic.bmp\": it holds no pixels (0 x 0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Picture + " coding " + std::to_string(static_cast<int>(row.Coding)));
        run.Coding = row.Coding;
        fs::remove(New("p.at3"));
        if (!row.Refusal.empty()) {
            EXPECT_EQ(Failure([&] { Rebuild(source, {row.Picture}, 0, New("p.at3")); }), row.Refusal);
            EXPECT_FALSE(FileExists(New("p.at3")));
            continue;
        }
        EXPECT_EQ(Rebuild(source, {row.Picture}, 0, New("p.at3")), 1);
        FileStream rebuilt(New("p.at3"), FileStream::Mode::OpenRead);
        const std::vector<ListedEntry> listed = ListImagePack(rebuilt, New("p.at3"));
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].Problem, "");
        EXPECT_EQ(listed[0].Width, 200u);
        EXPECT_EQ(listed[0].Height, 100u);
        EXPECT_NE(listed[0].Coding, RecordCoding::Raw);
        ImagePackReader reader(rebuilt, New("p.at3"));
        Bitmap32 read;
        reader.ReadPicture(reader.NextEntry(), read);
        ASSERT_EQ(read.Width(), 200u);
        ASSERT_EQ(read.Height(), 100u);
        if (row.Picture == flat) {
            const Bytes expected = ReadBack(flat);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), read.Row(0))) << "exactly the picture";
        }
    }
}

TEST_F(ReplayTest, NoCompressedRecordOutgrowsTheRawOne)
{
    // Noise in 8 x 8 pixels: every block its own entry, which costs more than its pixels.
    const Bytes noise = WriteNoiseTga(dir / "noise.tga", 8, 8, 99);
    const std::array<std::uint8_t, 248> header{};
    const auto compressed = CompressPicture(8, 8, noise.data(), 8 * 4, header, PictureLoss::Exact);
    ASSERT_TRUE(compressed);
    ASSERT_GT(compressed->Record.size(), 248u + noise.size()) << "the case this test is about";

    const std::string same = Pack("same.at3", BuildImagePack({{"pic.bmp", Picture(1, 8, 8).Record}}));
    const std::string other = Pack("other.at3", BuildImagePack({{"pic.bmp", Picture(1, 16, 4).Record}}));
    for (const ReplacementCoding coding : {ReplacementCoding::ExactOrRaw, ReplacementCoding::Lossy}) {
        SCOPED_TRACE(static_cast<int>(coding));
        run.Coding = coding;
        for (const std::string& source : {same, other}) {
            fs::remove(New("p.at3"));
            host.Details.clear();
            EXPECT_EQ(Rebuild(source, {dir / "noise.tga"}, 0, New("p.at3")), 1);
            FileStream rebuilt(New("p.at3"), FileStream::Mode::OpenRead);
            const std::vector<ListedEntry> listed = ListImagePack(rebuilt, New("p.at3"));
            ASSERT_EQ(listed.size(), 1u);
            // Raw where the entry's size allows it; a resized picture needs a compressed one.
            EXPECT_EQ(listed[0].Coding == RecordCoding::Raw, source == same) << host.Details[0];
            ImagePackReader reader(rebuilt, New("p.at3"));
            Bitmap32 read;
            reader.ReadPicture(reader.NextEntry(), read);
            ASSERT_EQ(read.Width(), 8u);
            EXPECT_TRUE(std::equal(noise.begin(), noise.end(), read.Row(0)));
        }
    }
}

TEST_F(ReplayTest, AListingMarksARawRecordWhosePixelsAreNotItsHeadersPicture)
{
    // As rebuilds wrote them before: a 5 x 3 picture raw under a header of 16 x 4.
    Bytes record = Picture(1).Record;
    record.resize(248 + 5 * 3 * 4, 0x11);
    std::copy_n("DDNH\0\0\0", 7, record.begin());
    StoreLE32(record.data() + 201, 5 * 3 * 4);
    StoreLE32(record.data() + 205, 5 * 3 * 4);
    const std::string pack = Pack("old.at3", BuildImagePack({{"pic.bmp", record}}));
    FileStream file(pack, FileStream::Mode::OpenRead);
    const std::vector<ListedEntry> listed = ListImagePack(file, pack);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Coding, RecordCoding::Unreadable);
    EXPECT_EQ(listed[0].Problem, "it stores 60 bytes of pixels, not the 256 of a picture of 16 x 4 pixels");
}

TEST_F(ReplayTest, AFailureOrStopHalfWayLeavesNoPack)
{
    const std::string source = Pack("p.at3", BuildImagePack(Named({"a.bmp", "b.bmp", "c.bmp"})));
    const std::string garbage = dir.Write("broken.tga", "this is no picture at all");
    WriteTga(dir / "a.tga", 16, 4, 1);
    dir.Write("new/p.at3", "an earlier pack");
    const std::string message =
        Failure([&] { Rebuild(source, {dir / "a.tga", garbage, "/none"}, 0, New("p.at3")); });
    EXPECT_NE(message.find("Cannot read the TGA image " + garbage +
                           " (its header is not that of a colour-mapped, true-colour or grey TGA image"),
              std::string::npos)
        << message;
    EXPECT_EQ(ReadFileBytes(New("p.at3")), "an earlier pack");
    // A picture cut short by a failed copy says so.
    WriteTga(dir / "cut.tga", 16, 4, 2);
    fs::resize_file(dir / "cut.tga", 18 + 100); // the header and 25 of its 64 pixels
    const std::string cut = Failure([&] { Rebuild(source, {dir / "a.tga", dir / "cut.tga", "/none"}, 0, New("p.at3")); });
    EXPECT_NE(cut.find("Cannot read the TGA image " + dir / "cut.tga" + " (the file ends before its picture does)"),
              std::string::npos)
        << cut;
    EXPECT_EQ(ReadFileBytes(New("p.at3")), "an earlier pack");
    EXPECT_EQ(Listing(run.TargetDirectory), std::vector<std::string>{"p.at3"}) << "no temporary file is left";

    fs::remove(New("p.at3"));
    struct StoppingHost : RecordingHost {
        void ShowFileProgress(int percent) override
        {
            RecordingHost::ShowFileProgress(percent);
            Stop = true; // clicked while the first entry was written
        }
    } stopping;
    run.ReplayList.Clear();
    for (const char* line : {"", "", ""})
        run.ReplayList.Add(line);
    run.SourcePackStream = std::make_unique<FileStream>(source, FileStream::Mode::OpenRead);
    EXPECT_THROW(RebuildAt3(New("p.at3"), 0, run, stopping), JobStopped);
    EXPECT_TRUE(stopping.Outputs.empty());
    EXPECT_TRUE(fs::is_empty(run.TargetDirectory));

    // Stopped in a replayed log, the source pack is let go, not held open by the run.
    stopping.Stop = false;
    stopping.Progress = 0;
    run.SourcePackStream.reset();
    EXPECT_THROW(ReplayLog(Log("stop.log", {"#Format: AT3", "#Source: " + source, "", "", ""}), run, stopping),
                 JobStopped);
    EXPECT_EQ(run.SourcePackStream, nullptr);
    EXPECT_TRUE(fs::is_empty(run.TargetDirectory));
}

TEST_F(ReplayTest, AProjectListReplaysEachLogWithoutAResultLog)
{
    const std::string one = Pack("one.at3", BuildImagePack(Named({"a.bmp"})));
    const std::string two = Pack("two.at3", BuildImagePack(Named({"b.bmp", "c.bmp"})));
    WriteTga(dir / "b.tga", 4, 4, 5);
    std::vector<std::string> first;
    for (int i = 0; i < 150; ++i) // enough lines to take the Progress bar to its end
        first.push_back("; note " + std::to_string(i));
    for (const std::string& line : {std::string("#Format: AT3"), "#Source: " + one, dir / "none.tga"})
        first.push_back(line);
    // A pack named in the list in place of its log is read as a log too, and lists nothing.
    const std::string lst = Log("project.lst", {Log("first.log", first),
                                                Log("second.log", {"#Format: AT3", "#Source: " + two,
                                                                   dir / "b.tga", dir / "none.tga"}),
                                                one});
    // The project list's lines are the jobs, each replayed as a log.
    RecordingHost shown;
    const Format& list = *FormatForFile(lst);
    packsmith::Run replay(list, ReadJobList(lst), run.TargetDirectory, shown);
    const RunResult result = replay.Execute();
    EXPECT_EQ(result.Outcome, RunOutcome::Completed) << result.Error;
    EXPECT_EQ(result.Warnings, 2);
    EXPECT_NE(std::find(shown.ResultLines.begin(), shown.ResultLines.end(),
                        one + ": the one picture listed for it was not found: " + (dir / "none.tga") + "; " +
                            New("one.at3") + " holds its pictures unchanged"),
              shown.ResultLines.end());
    EXPECT_NE(std::find(shown.ResultLines.begin(), shown.ResultLines.end(),
                        one + " is no result log: it has neither a #Format nor a #Source line; nothing was rebuilt"),
              shown.ResultLines.end());
    EXPECT_EQ(Listing(run.TargetDirectory), (std::vector<std::string>{"one.at3", "two.at3"}));
    EXPECT_EQ(FileBytes(New("one.at3")), FileBytes(one));
    int highest = 0;
    for (const auto& bar : shown.ProgressBars)
        highest = std::max(highest, bar.Position);
    EXPECT_EQ(highest, 100) << "the Progress bar holds at its end";
}

TEST_F(ReplayTest, APackListedTwiceInOneRunIsRefusedNamingTheLogsAndSources)
{
    const std::string pack = Pack("p.at3", BuildImagePack(Named({"a.bmp"})));
    fs::create_directories(dir / "other");
    const std::string namesake = Pack("other/p.at3", BuildImagePack(Named({"b.bmp"})));
    const auto replayed = [&](const std::vector<std::vector<std::string>>& logs) {
        std::vector<std::string> jobs;
        for (std::size_t k = 0; k < logs.size(); ++k)
            jobs.push_back(Log("log" + std::to_string(k) + ".log", logs[k]));
        fs::remove_all(run.TargetDirectory);
        fs::create_directories(run.TargetDirectory);
        RecordingHost shown;
        packsmith::Run replay(*FormatForFile(jobs.front()), jobs, run.TargetDirectory, shown);
        return replay.Execute().Error;
    };
    const std::vector<std::string> lists = {"#Format: AT3", "#Source: " + pack, ""};
    const std::vector<std::string> namesakes = {"#Format: AT3", "#Source: " + namesake, ""};
    EXPECT_EQ(replayed({lists, lists}),
              "The logs " + dir / "log0.log" + " and " + dir / "log1.log" + " both list " +
                  pack + ": its first listing has been put back, and the next would undo it. Keep one listing of it");
    EXPECT_EQ(replayed({lists, namesakes}),
              dir / "log1.log" + ": The log lists " + namesake + " and " + pack + " (in " + dir / "log0.log" +
                  "), which are both rebuilt as " + New("p.at3") +
                  ": the first has been put back, and the second would replace it. Replay them into different folders");
    std::vector<std::string> both = lists;
    both.insert(both.end(), namesakes.begin(), namesakes.end());
    EXPECT_EQ(replayed({both}), dir / "log0.log" + ": The log lists " + namesake + " and " + pack +
                                    ", which are both rebuilt as " + New("p.at3") +
                                    ": the first has been put back, and the second would replace it. Replay them "
                                    "into different folders");
}

TEST_F(ReplayTest, AnExtractionPassesOverASecondPackOfOneNameSoThatItsLogReplays)
{
    // A replay rebuilds every pack of a log under its file name in one folder: two packs of
    // one name, or one pack twice, would make a log that cannot be replayed.
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    const std::string first = Pack("a/p.at3", BuildImagePack(Named({"x.bmp"})));
    const std::string namesake = Pack("b/p.at3", BuildImagePack(Named({"y.bmp", "z.bmp"})));
    const std::string other = Pack("q.at3", BuildImagePack(Named({"w.bmp"})));
    const std::string out = dir / "out";
    fs::create_directories(out);
    RecordingHost shown;
    packsmith::Run extraction(*FormatForFile(first), {first, namesake, other, first}, out, shown);
    const RunResult extracted = extraction.Execute();
    EXPECT_EQ(extracted.Outcome, RunOutcome::Completed) << extracted.Error;
    EXPECT_EQ(extracted.Warnings, 2);
    const auto shownLine = [&](const std::string& line) {
        return std::find(shown.ResultLines.begin(), shown.ResultLines.end(), line) != shown.ResultLines.end();
    };
    EXPECT_TRUE(shownLine("Skipped " + namesake + ": " + first + " of the same name was extracted earlier in this "
                          "run, and a replay of the log would rebuild both as one file. Extract it into a folder of "
                          "its own"));
    EXPECT_TRUE(shownLine("Skipped " + first + ": it was extracted earlier in this run, and its log would list it "
                          "twice. Give each pack once"));
    EXPECT_EQ(Listing(out + "/BMP"), (std::vector<std::string>{"w.bmp.tga", "x.bmp.tga"}));
    EXPECT_EQ(ReadTextFile(out + "/result.log"),
              (std::vector<std::string>{"#Format: AT3", "#Source: " + first, out + "/BMP/x.bmp.tga", "#Format: AT3",
                                        "#Source: " + other, out + "/BMP/w.bmp.tga"}));

    RecordingHost again;
    packsmith::Run replay(*FormatForFile(kResultLogName), {out + "/result.log"}, run.TargetDirectory, again);
    const RunResult replayed = replay.Execute();
    EXPECT_EQ(replayed.Outcome, RunOutcome::Completed) << replayed.Error;
    EXPECT_EQ(replayed.Warnings, 0);
    EXPECT_EQ(Listing(run.TargetDirectory), (std::vector<std::string>{"p.at3", "q.at3"}));
}

// Writes the picture edited by an image tool; false when no tool is at hand.
bool EditWithTool(const std::string& from, const std::string& to, bool rle24BottomLeft)
{
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0) {
        const std::string script =
            std::string("from PIL import Image, ImageOps\nimport sys\nim = Image.open(sys.argv[1]).convert('RGBA')\n") +
            (rle24BottomLeft
                 ? "ImageOps.invert(im.convert('RGB')).save(sys.argv[2], compression='tga_rle', orientation=-1)\n"
                 : "im.transpose(Image.Transpose.FLIP_LEFT_RIGHT).save(sys.argv[2], compression=None,"
                   " orientation=1)\n");
        const std::string command = "/usr/bin/python3 -c \"" + script + "\" '" + from + "' '" + to + "'";
        return std::system(command.c_str()) == 0;
    }
    if (std::system("/usr/bin/convert -version >/dev/null 2>&1") == 0) {
        const std::string command = "/usr/bin/convert '" + from + "' " +
                                    (rle24BottomLeft ? "-negate -alpha off -type TrueColor -compress RLE "
                                                     : "-flop -orient TopLeft -compress None ") +
                                    "'" + to + "'";
        return std::system(command.c_str()) == 0;
    }
    return false;
}

TEST_F(ReplayTest, ALogThatNoLongerFitsItsPackIsRefusedBeforeAnythingIsWritten)
{
    const std::string pack = Pack("menu.at3", BuildImagePack(Named({"A.BMP", "B.BMP", "C.BMP"})));
    std::vector<std::string> lines = {"#Format: AT3", "#Source: " + pack};
    for (const auto& picture : ExtractInto(pack, "out"))
        lines.push_back(picture);
    const std::string log = Log("result.log", lines);

    // The pack lost its first entry: every line would give an entry its neighbour's picture.
    Pack("menu.at3", BuildImagePack(Named({"B.BMP", "C.BMP"})));
    run.TargetDirectory = dir / "new";
    EXPECT_EQ(Failure([&] { ReplayLog(log, run, host); }),
              "The log no longer fits " + pack + ": entry 1 \"B.BMP\" is listed as " + (dir / "out/BMP/A.BMP.tga") +
                  ", the picture of another entry");
    EXPECT_TRUE(fs::is_empty(run.TargetDirectory));

    // Lines of the user's own files fit any entry; one line too many does not.
    const std::string own = Log("own.log", {"#Format: AT3", "#Source: " + pack, dir / "mine.tga", dir / "B_0007.tga"});
    EXPECT_EQ(Failure([&] { ReplayLog(own, run, host); }), "");
    const std::string extra = Log("extra.log", {"#Format: AT3", "#Source: " + pack, "", "", dir / "mine.tga", ""});
    run.RebuiltPacks.clear(); // another run
    EXPECT_EQ(Failure([&] { ReplayLog(extra, run, host); }),
              "The log no longer fits " + pack + ": it lists 3 pictures for the pack's 2 entries, and " + (dir / "mine.tga") +
                  " belongs to none");
}

// A text in UTF-16, little-endian, with its mark, as some editors save it.
std::string Utf16(const std::string& ascii)
{
    std::string text = "\xFF\xFE";
    for (const char c : ascii)
        text += {c, '\0'};
    return text;
}

TEST_F(ReplayTest, ALogMovedWithItsPicturesOrSavedByAnotherEditorStillReplays)
{
    const std::string pack = Pack("menu.at3", BuildImagePack(Named({"a.bmp", "b.bmp", "c.bmp"})));
    const std::vector<std::string> pictures = ExtractInto(pack, "out");
    const Bytes edited = WriteTga(pictures[0], 16, 4, 77);

    // The whole output folder moved; the log saved as UTF-16 with a relative "#Source:"
    // path and blanks after it; a second listing of a pack that is not there.
    fs::rename(dir / "out", dir / "moved");
    std::string text = "#Format: AT3\r\n#Source: ../menu.at3  \r\n";
    for (const auto& picture : pictures)
        text += picture + "\r\n";
    text += "#Format: AT3\r\n#Source: " + (dir / "gone.at3") + "\r\n";
    const std::string log = dir.Write("moved/result.log", Utf16(text));
    RecordingHost replayed;
    run.TargetDirectory = dir / "new";
    fs::create_directories(run.TargetDirectory);
    EXPECT_EQ(Failure([&] { ReplayLog(log, run, replayed); }), "");
    EXPECT_EQ(replayed.Details, std::vector<std::string>{"1 replaced (1 compressed exactly), 2 unchanged, 0 kept"});
    EXPECT_EQ(replayed.Warnings,
              std::vector<std::string>{log + ": the pack " + (dir / "gone.at3") + " was not found; nothing was rebuilt from it"});

    RunContext again;
    again.TargetDirectory = dir / "again";
    fs::create_directories(again.TargetDirectory);
    RecordingHost extracted;
    ExtractAt3(New("menu.at3"), again, extracted);
    EXPECT_EQ(ReadBack(extracted.OutputPaths()[0]), edited);
    EXPECT_EQ(ReadBack(extracted.OutputPaths()[1]), Picture(2).Expected);
}

TEST_F(ReplayTest, ALogWrittenOnWindowsOrWithBlanksAroundItsPathsFindsItsPictures)
{
    const std::string pack = Pack("menu.at3", BuildImagePack(Named({"a.bmp", "b.bmp", "c.bmp"})));
    const std::vector<std::string> pictures = ExtractInto(pack, "out");
    ASSERT_EQ(pictures.size(), 3u);
    const Bytes edited[] = {WriteTga(pictures[0], 16, 4, 21), WriteTga(pictures[1], 16, 4, 22)};
    fs::copy_file(pack, dir / "out/menu.at3");
    run.TargetDirectory = dir / "new";
    // The folders as Windows names them, with either separator; the pictures below "out".
    std::vector<std::string> windows;
    for (const auto& picture : pictures) {
        std::string below = picture.substr((dir / "out/").size());
        std::replace(below.begin(), below.end(), '/', '\\');
        windows.push_back("C:\\Mods\\out\\" + below);
    }
    // Saved by an editor as UTF-16 without a mark.
    const auto save = [&](const std::string& name, const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines)
            for (const char c : line + "\r\n")
                text += {c, '\0'};
        return dir.Write("out/" + name, text);
    };
    const auto replayed = [&](const std::string& log) {
        host = {};
        fs::remove_all(run.TargetDirectory);
        fs::create_directories(run.TargetDirectory);
        run.RebuiltPacks.clear();
        return Failure([&] { ReplayLog(log, run, host); });
    };
    const std::string moved = save("result.log", {"#Format: AT3", "#Source: C:/Mods/menu.at3 ", windows[0] + " ",
                                                  "  \\\\server\\share\\out/" + pictures[1].substr((dir / "out/").size()),
                                                  windows[2]});
    EXPECT_EQ(replayed(moved), "");
    EXPECT_EQ(host.Details, std::vector<std::string>{"2 replaced (2 compressed exactly), 1 unchanged, 0 kept"});
    EXPECT_TRUE(host.Warnings.empty());
    RunContext again;
    again.TargetDirectory = dir / "again";
    fs::create_directories(again.TargetDirectory);
    RecordingHost extracted;
    ExtractAt3(New("menu.at3"), again, extracted);
    EXPECT_EQ(ReadBack(extracted.OutputPaths()[0]), edited[0]);
    EXPECT_EQ(ReadBack(extracted.OutputPaths()[1]), edited[1]);

    // Read so, the lines are held against the pack's entries too.
    const std::string swapped =
        save("swapped.log", {"#Format: AT3", "#Source: C:\\Mods\\menu.at3", windows[1], windows[0] + "\t", windows[2]});
    EXPECT_EQ(replayed(swapped), "The log no longer fits " + (dir / "out/menu.at3") +
                                     ": entry 1 \"a.bmp\" is listed as " + windows[1] + ", the picture of another entry");
    EXPECT_TRUE(fs::is_empty(run.TargetDirectory));
}

TEST_F(ReplayTest, ExtractEditReplayAndExtractAgain)
{
    const std::vector<PackPicture> pictures = Named({"a.bmp", "b.bmp", "c.bmp"});
    const std::string pack = Pack("cycle.at3", BuildImagePack(pictures));
    const std::vector<std::string> files = ExtractInto(pack, "extracted");
    ASSERT_EQ(files.size(), 3u);

    const std::string scratch = dir / "scratch.tga";
    for (int i = 0; i < 2; ++i) {
        fs::copy_file(files[static_cast<std::size_t>(i)], scratch, fs::copy_options::overwrite_existing);
        if (!EditWithTool(scratch, files[static_cast<std::size_t>(i)], i == 0))
            GTEST_SKIP() << "neither Pillow nor ImageMagick is at hand";
    }
    const Bytes edited[] = {ReadBack(files[0]), ReadBack(files[1])};
    EXPECT_NE(edited[0], Picture(1).Expected);
    EXPECT_NE(edited[1], Picture(2).Expected);
    fs::remove(files[2]);

    std::vector<std::string> lines = {"#Format: AT3", "#Source: " + pack};
    lines.insert(lines.end(), files.begin(), files.end());
    const std::string log = Log("result.log", lines);
    RunContext replay;
    replay.RebuildFor = RebuildFor;
    replay.TargetDirectory = dir / "rebuilt";
    fs::create_directories(replay.TargetDirectory);
    ReplayLog(log, replay, host);
    const std::string rebuilt = replay.TargetDirectory + "/cycle.at3";
    const Bytes bytes = FileBytes(rebuilt);
    ASSERT_GE(bytes.size(), 32u + 3 * 256);
    const std::uint8_t* last = bytes.data() + 32 + 2 * 256;
    const std::uint32_t lastAt = LoadLE32(last + 243);
    ASSERT_LE(std::uint64_t{lastAt} + LoadLE32(last + 247), bytes.size());
    EXPECT_EQ(Bytes(bytes.begin() + lastAt, bytes.begin() + lastAt + LoadLE32(last + 247)), pictures[2].Record);
    // The edited pictures went back as compressed records, smaller than raw ones: the pack
    // grew by no more than they take.
    const std::uint32_t newRecords = LoadLE32(bytes.data() + 32 + 247) + LoadLE32(bytes.data() + 32 + 256 + 247);
    EXPECT_LT(newRecords, 2 * (248 + 16 * 4 * 4));
    EXPECT_LE(bytes.size(), FileBytes(pack).size() + newRecords);

    RunContext again;
    again.TargetDirectory = dir / "again";
    fs::create_directories(again.TargetDirectory);
    RecordingHost extracted;
    ExtractAt3(rebuilt, again, extracted);
    const std::vector<std::string> out = extracted.OutputPaths();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(ReadBack(out[0]), edited[0]);
    EXPECT_EQ(ReadBack(out[1]), edited[1]);
    EXPECT_EQ(ReadBack(out[2]), Picture(3).Expected);
}

} // namespace
} // namespace packsmith::test
