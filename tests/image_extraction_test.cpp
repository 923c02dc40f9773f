// Image pack extraction: output names and directories, what stays inside the target, raw
// records, progress, stops and failures.
#include <filesystem>
#include <gtest/gtest.h>

#include "core/ByteOrder.h"
#include "core/FilesystemPath.h"
#include "core/PackError.h"
#include "io/FileStream.h"
#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/ImagePackFile.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/PackListing.h"
#include "formats/imagepack/record/RawImageRecord.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "platform/SharedLibrary.h"
#include "jobs/ExtractAt3.h"
#include "testing/HandlerFixture.h"
#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"
#include "testing/PackFixtures.h"
#include "testing/RecordingHost.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;

class ImageExtractionTest : public HandlerFixture {
protected:
    std::string Failure(const std::string& pack) { return HandlerFixture::Failure(ExtractAt3, pack); }
    // The pixels of a TGA file, read back through the codec: top row first.
    std::vector<std::uint8_t> ReadBack(const std::string& path)
    {
        Bitmap32 bitmap;
        TgaLibrary().Read(path, *bitmap.ForCodec());
        std::vector<std::uint8_t> bytes;
        for (std::uint32_t y = 0; y < bitmap.Height(); ++y)
            bytes.insert(bytes.end(), bitmap.Row(y), bitmap.Row(y) + bitmap.RowBytes());
        return bytes;
    }
    std::string Out(const std::string& relative) const { return run.TargetDirectory + relative; }
};

TEST_F(ImageExtractionTest, StoredNamesBecomeDirectoriesAndFileNames)
{
    const std::string pack = Input("menu.at3", BuildImagePack(Named({"TITLE.BMP", "TITLE.BMP", "TITLE.BMP",
                                                                  "GFX\\TITLE.BMP", "logo.pcx", "GFX.OLD\\TITLE",
                                                                  "README", "A.B.PCX", "README"})));
    ASSERT_EQ(Failure(pack), "");
    const std::vector<std::string> expected = {
        Out("/BMP/TITLE.BMP.tga"), Out("/BMP/TITLE_0000.tga"), Out("/BMP/TITLE_0001.tga"),
        Out("/BMP/TITLE_0002.tga"), Out("/PCX/logo.pcx.tga"),  Out("//TITLE.tga"),
        Out("//README.tga"),       Out("/PCX/A.B.PCX.tga"),    Out("//_0000.tga"),
    };
    ASSERT_EQ(host.OutputPaths(), expected);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(host.Outputs[i].first, expected[i]);
        EXPECT_EQ(host.Outputs[i].second, fs::file_size(expected[i])) << expected[i];
        EXPECT_EQ(ReadBack(expected[i]), Picture(static_cast<std::uint32_t>(i) + 1).Expected) << expected[i];
    }
    EXPECT_EQ(host.Statuses, std::vector<std::string>{"Processing menu.at3..."});

    // The same pack again (in another run): every first candidate is taken, so the suffixed
    // names follow on.
    host.Outputs.clear();
    run.Files = {};
    ASSERT_EQ(Failure(pack), "");
    const auto again = host.OutputPaths();
    ASSERT_EQ(again.size(), expected.size());
    EXPECT_EQ(again[0], Out("/BMP/TITLE_0003.tga"));
    EXPECT_EQ(again[4], Out("/PCX/logo_0000.tga"));
    EXPECT_EQ(again[5], Out("//_0001.tga")); // TITLE has no "." and so no base name
    EXPECT_EQ(again[6], Out("//_0002.tga"));
    for (const auto& line : again)
        EXPECT_TRUE(fs::exists(line)) << line;
}

TEST_F(ImageExtractionTest, ImageMagickShowsTheDecodedPixels)
{
    if (std::system("/usr/bin/convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    for (const bool halfRows : {false, true}) {
        SCOPED_TRACE(halfRows);
        std::vector<std::uint32_t> pixels(24 * 6);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint32_t>(i * 0x01030507u) & 0xFE7F7F7Fu;
        ImageEncoderOptions options;
        options.HalfRows = halfRows;
        const EncodedImage picture = EncodeImageRecord(24, 6, pixels, options);
        const std::string name = halfRows ? "half.bmp" : "full.bmp";
        ASSERT_EQ(Failure(Input(name + ".at3", BuildImagePack({{name, picture.Record}}))), "");
        const std::string raw = dir / "magick.rgba";
        const std::string command = "/usr/bin/convert '" + Out("/BMP/" + name + ".tga") + "' -depth 8 rgba:'" + raw + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::string expected; // the decoder's BGRA as RGBA
        for (std::size_t i = 0; i < picture.Expected.size(); i += 4)
            expected += {static_cast<char>(picture.Expected[i + 2]), static_cast<char>(picture.Expected[i + 1]),
                         static_cast<char>(picture.Expected[i]), static_cast<char>(picture.Expected[i + 3])};
        EXPECT_EQ(ReadFileBytes(raw), expected);
    }
}

TEST_F(ImageExtractionTest, NoStoredNameLeadsOutsideTheTarget)
{
    const std::vector<std::string> names = {
        "../../x.BMP", "/etc/passwd.BMP", "..\\..\\x",    "a/../../b.BMP", "C:\\Windows\\x.BMP", "x.", "x..",
        ".",           "..",              "../..",        "ok\r\nBMP",     "tab\tname.b\nmp",    "",   "dir/",
        std::string(242, 'n'),
    };
    const std::string pack = Input("evil.at3", BuildImagePack(Named(names)));
    ASSERT_EQ(Failure(pack), "");
    ASSERT_EQ(host.Outputs.size(), names.size());
    const std::string target = PathText(fs::canonical(FilesystemPath(run.TargetDirectory)));
    for (const auto& line : host.OutputPaths()) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "a control character would split the log";
        const fs::path written = fs::canonical(FilesystemPath(line));
        EXPECT_EQ(PathText(written).rfind(target + "/", 0), 0u) << line;
        EXPECT_TRUE(fs::is_regular_file(written)) << line;
    }
    // Nothing appeared beside the target directory.
    std::vector<std::string> around;
    for (const auto& item : fs::directory_iterator(dir.Path()))
        around.push_back(item.path().filename().string());
    std::sort(around.begin(), around.end());
    EXPECT_EQ(around, (std::vector<std::string>{"evil.at3", "out"}));
}

TEST_F(ImageExtractionTest, ProgressAndAnEmptyPack)
{
    ASSERT_EQ(Failure(Input("three.at3", BuildImagePack(Named({"a.x", "b.x", "c.x"})))), "");
    EXPECT_EQ(host.Progress, 66);
    EXPECT_EQ(host.ProgressMax, 100);
    EXPECT_EQ(host.ProgressChanges, 2); // at 33 and 66

    RecordingHost fresh;
    RunContext empty;
    empty.TargetDirectory = dir / "empty";
    fs::create_directories(empty.TargetDirectory);
    ExtractAt3(Input("none.at3", BuildImagePack({})), empty, fresh);
    EXPECT_TRUE(fs::is_empty(empty.TargetDirectory));
    EXPECT_TRUE(fresh.Outputs.empty());
    EXPECT_EQ(fresh.Progress, 0);
}

TEST_F(ImageExtractionTest, StopBetweenEntriesEndsTheJob)
{
    struct StoppingHost : RecordingHost {
        void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override
        {
            RecordingHost::ReportOutput(path, bytes, detail);
            Stop = true; // clicked while the first picture was written
        }
    } stopping;
    const std::string pack = Input("two.at3", BuildImagePack(Named({"a.x", "b.x"})));
    EXPECT_THROW(ExtractAt3(pack, run, stopping), JobStopped);
    EXPECT_EQ(stopping.Outputs.size(), 1u);
}

TEST_F(ImageExtractionTest, RawRecordsGiveBackTheirStoredPixels)
{
    const EncodedImage source = Picture(9, 8, 3);
    // Header of the source, tag and sizes of a raw record, pixels bottom row first.
    std::vector<std::uint8_t> raw(source.Record.begin(), source.Record.begin() + 248);
    std::copy(std::begin(raw_image_record::kTag), std::end(raw_image_record::kTag), raw.begin());
    const std::uint32_t bytes = 8 * 4 * 3;
    StoreLE32(raw.data() + 201, bytes);
    StoreLE32(raw.data() + 205, bytes);
    for (int y = 2; y >= 0; --y)
        raw.insert(raw.end(), source.Expected.begin() + y * 32, source.Expected.begin() + (y + 1) * 32);
    ASSERT_TRUE(IsRawImageRecord(raw));

    std::vector<std::uint8_t> wrongSize = raw; // the stored image is not the entry's size
    StoreLE32(wrongSize.data() + 17, 4);
    const std::string pack = Input("raw.at3", BuildImagePack({{"raw.bmp", raw}, {"wrong.bmp", wrongSize}}));
    const std::string message = Failure(pack);
    EXPECT_EQ(ReadBack(Out("/BMP/raw.bmp.tga")), source.Expected);
    EXPECT_NE(message.find("\"wrong.bmp\""), std::string::npos) << message;
    EXPECT_NE(message.find(pack), std::string::npos) << message;
    EXPECT_EQ(host.Outputs.size(), 1u) << "the entry before the failure stays";

    // No pixels in four billion rows: nothing to copy, but the rows were walked one by one
    // for minutes. A side longer than any picture a record holds is refused at once.
    std::vector<std::uint8_t> empty(raw.begin(), raw.begin() + 248);
    StoreLE32(empty.data() + 17, 0);
    StoreLE32(empty.data() + 21, 0xFFFFFFFBu);
    StoreLE32(empty.data() + 201, 0);
    StoreLE32(empty.data() + 205, 0);
    ASSERT_TRUE(IsRawImageRecord(empty));
    const std::string tall = Input("tall.at3", BuildImagePack({{"tall.bmp", empty}}));
    EXPECT_NE(Failure(tall).find("\"tall.bmp\" in " + tall + ": its picture of 0 x 4294967291 pixels is larger"),
              std::string::npos);
}

TEST_F(ImageExtractionTest, BrokenPacksEndTheJobWithAClearMessage)
{
    auto pictures = Named({"good.bmp", "bad.bmp"});
    auto pack = BuildImagePack(pictures);
    // The second record said to run past the end of the pack.
    StoreLE32(pack.data() + 32 + 256 + 247, 1u << 30);
    EXPECT_EQ(Failure(Input("past-end.at3", pack)), "Stream read error (the picture of \"bad.bmp\" lies past the end of the file)");
    EXPECT_EQ(host.Outputs.size(), 1u);

    pictures[1].Record[211] = 0; // block width 0
    pictures[1].Record[212] = 0;
    const std::string malformed = Input("malformed.at3", BuildImagePack(pictures));
    const std::string message = Failure(malformed);
    EXPECT_NE(message.find("\"bad.bmp\""), std::string::npos) << message;
    EXPECT_NE(message.find(malformed), std::string::npos) << message;

    auto shortEntries = BuildImagePack(pictures);
    StoreLE32(shortEntries.data() + 16, 250);
    EXPECT_NE(Failure(Input("short.at3", shortEntries)).find("fewer than the 251"), std::string::npos);
    auto hugeEntries = BuildImagePack(pictures);
    StoreLE32(hugeEntries.data() + 16, 0xFFFFFFF0u);
    EXPECT_EQ(Failure(Input("huge.at3", hugeEntries)),
              "Stream read error (the entry table runs past its stated size: entries 1 to 2 are missing)");
    EXPECT_EQ(Failure(dir / "missing.at3"), "Cannot open file " + (dir / "missing.at3") + " (No such file or directory)");
}

TEST_F(ImageExtractionTest, ADamagedTableGivesTheEntriesItHasThenNamesTheMissingOnes)
{
    // A damaged count: the entries that are there are extracted (and listed), then the
    // first missing one fails the job.
    auto damaged = BuildImagePack(Named({"a.bmp", "b.bmp", "c.bmp"}));
    StoreLE32(damaged.data() + 12, 0xFFFFFFFFu);
    const std::string pack = Input("damaged.at3", damaged);
    EXPECT_EQ(Failure(pack),
              "Stream read error (the entry table runs past its stated size: entries 4 to 4294967295 are missing)");
    EXPECT_EQ(host.OutputPaths(), (std::vector<std::string>{run.TargetDirectory + "/BMP/a.bmp.tga",
                                                            run.TargetDirectory + "/BMP/b.bmp.tga",
                                                            run.TargetDirectory + "/BMP/c.bmp.tga"}));
    FileStream file(pack, FileStream::Mode::OpenRead);
    const std::vector<ListedEntry> listed = ListImagePack(file, pack);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[2].StoredName, "c.bmp");
    EXPECT_EQ(listed[2].Problem, "");
    EXPECT_EQ(listed[3].Index, 3u);
    EXPECT_EQ(listed[3].Problem, "the entry table runs past its stated size: entries 4 to 4294967295 are missing");
}

TEST_F(ImageExtractionTest, DamagedRecordsArePassedOverAndNamedAfterTheRest)
{
    // Entries whose records cannot be read are passed over, each in its place (an empty line
    // of the log), the others extracted; then the job fails naming them. The same on the
    // job's own thread and with workers.
    auto pictures = Named({"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"});
    const auto damage = [](PackPicture& picture) { picture.Record[211] = picture.Record[212] = 0; }; // block width 0
    auto one = pictures;
    damage(one[2]);
    const std::string onePack = Input("one.at3", BuildImagePack(one));
    auto two = pictures;
    damage(two[1]);
    two[3].Record.resize(100);
    const std::string twoPack = Input("two.at3", BuildImagePack(two));
    for (const unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        run.Threads = threads;
        std::filesystem::remove_all(run.TargetDirectory);
        std::filesystem::create_directories(run.TargetDirectory);
        host = {};
        run.Files = {}; // each pass stands for a run of its own
        const std::string message = Failure(onePack);
        EXPECT_EQ(message.rfind("Cannot decode the image \"c.bmp\" in " + onePack + ": ", 0), 0u) << message;
        EXPECT_EQ(host.OutputPaths(), (std::vector<std::string>{Out("/BMP/a.bmp.tga"), Out("/BMP/b.bmp.tga"),
                                                                Out("/BMP/d.bmp.tga"), Out("/BMP/e.bmp.tga")}));
        EXPECT_EQ(ReadBack(Out("/BMP/d.bmp.tga")), Picture(4).Expected);
        EXPECT_EQ(host.LeftOut, 1);

        host = {};
        const std::string both = Failure(twoPack);
        EXPECT_EQ(both.rfind("Entries 2 \"b.bmp\" and 4 \"d.bmp\" of " + twoPack +
                                 " could not be read; entry 2: Cannot decode the image \"b.bmp\"", 0),
                  0u) << both;
        EXPECT_EQ(host.Outputs.size(), 3u);
        EXPECT_EQ(host.LeftOut, 2);
    }
}

TEST_F(ImageExtractionTest, AFileThatCannotBeWrittenFailsTheJob)
{
    dir.Write("out/BMP", "a file where the directory would go");
    const std::string pack = Input("blocked.at3", BuildImagePack(Named({"x.bmp"})));
    EXPECT_EQ(Failure(pack), "Cannot create file " + Out("/BMP/x.bmp.tga") + " (a part of the path is not a directory)");
    EXPECT_TRUE(host.Outputs.empty()) << "no report of a file that was not written";

    // Part way through a pack: what was written is reported, and every entry after it has its
    // place, so that the log the run writes of it can be replayed.
    host = {};
    const std::string later = Input("later.at3", BuildImagePack(Named({"a.pcx", "b.bmp", "c.pcx"})));
    EXPECT_NE(Failure(later), "");
    EXPECT_EQ(host.OutputPaths(), std::vector<std::string>{Out("/PCX/a.pcx.tga")});
    EXPECT_EQ(host.LeftOut, 2);
}

TEST_F(ImageExtractionTest, APackCutWhileItIsReadIsNamedWithTheEntry)
{
    const std::string pack = Input("shrinks.at3", BuildImagePack(Named({"a.bmp", "b.bmp"})));
    ImagePackFile file(pack);
    const PackEntry first = file.Reader().NextEntry();
    const PackEntry second = file.Reader().NextEntry();
    std::filesystem::resize_file(pack, second.DataOffset + 10);
    Bitmap32 bitmap;
    file.Reader().ReadPicture(first, bitmap);
    try {
        file.Reader().ReadPicture(second, bitmap);
        ADD_FAILURE() << "read a picture that is no longer there";
    } catch (const PackError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Stream read error (the picture of \"b.bmp\" in " + pack +
                      " could not be read: the file has become shorter since it was opened (" +
                      std::to_string(second.DataOffset + 10) + " of " + std::to_string(second.DataOffset + second.DataLength) + " bytes))");
    }
}

TEST_F(ImageExtractionTest, ALibraryPlantedInTheTargetNeverRuns)
{
    const std::string marker = dir / "planted-library-ran";
    SetEnvironment("PACKSMITH_PLANTED_MARKER", marker);
    for (const char* name : {"libtarga.so", "targa.dll", "targa"})
        fs::copy_file(PACKSMITH_PLANTED_CODEC, run.TargetDirectory + "/" + name);
    fs::current_path(run.TargetDirectory); // as a run leaves it
    ASSERT_EQ(Failure(Input("p.at3", BuildImagePack(Named({"a.bmp"})))), "");
    EXPECT_FALSE(fs::exists(marker));

    // The check can fail: loading the planted library does leave the marker.
    { TgaLibrary planted(run.TargetDirectory + "/" + SharedLibraryFileName("targa")); }
    EXPECT_TRUE(fs::exists(marker));
    SetEnvironment("PACKSMITH_PLANTED_MARKER", "");
}

TEST(TgaCodecLibrary, MissingLibraryIsNamed)
{
    try {
        TgaLibrary codec("/nonexistent/libtarga.so");
        ADD_FAILURE();
    } catch (const PackError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot load the TGA codec library /nonexistent/libtarga.so");
    }
    EXPECT_THROW(TgaLibrary("libtarga.so"), PackError) << "a bare name would be looked up along a search path";
}

} // namespace
} // namespace packsmith::test
