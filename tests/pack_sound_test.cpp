// Putting sound back: replaying the log of a sound extraction, and packing sound files
// from the command line.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/ByteOrder.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "jobs/PackSound.h"
#include "testing/Bytes.h"
#include "testing/CliRun.h"
#include "testing/RecordingHost.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::int16_t> Chord(std::size_t count)
{
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 22050;
        samples[i] = static_cast<std::int16_t>(std::lround(6000 * std::sin(2 * std::numbers::pi * 262 * t) +
                                                           5000 * std::sin(2 * std::numbers::pi * 330 * t) +
                                                           4000 * std::sin(2 * std::numbers::pi * 392 * t)));
    }
    return samples;
}

// The samples of a wave file as the tool writes it (44-byte header, then 16-bit samples).
std::vector<std::int16_t> WaveSamples(const std::string& path)
{
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::int16_t> samples;
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
        samples.push_back(static_cast<std::int16_t>(LoadLE16(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at)));
    return samples;
}

bool Sox(const std::string& arguments) { return std::system(("sox " + arguments + " 2>/dev/null").c_str()) == 0; }

class PackSoundTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::system("sox --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
        extension = GetParam();
        const auto samples = Chord(5000);
        const auto bytes = extension == ".wac" ? EncodeWacFile(samples) : EncodeWasFile(samples, {}, 1024);
        source = dir.Write("game/chord" + extension, AsString(bytes));
        ASSERT_EQ(Cli({"-q", "-o", dir / "A", source}).Status, 0);
    }
    std::string Packed(const std::string& folder) const { return dir / (folder + "/chord" + extension); }

    TempDir dir;
    std::string extension;
    std::string source;
};

TEST_P(PackSoundTest, TheReplayCyclePutsAnEditedSoundBackAndCopiesTheRest)
{
    // Unedited, and without its ".wav": byte for byte copies of the source.
    ASSERT_EQ(Cli({"-q", "-o", dir / "B", dir / "A/result.log"}).Status, 0);
    EXPECT_EQ(ReadFileBytes(Packed("B")), ReadFileBytes(source));
    fs::rename(dir / "A/chord.wav", dir / "A/kept.wav");
    const auto missing = Cli({"-o", dir / "C", dir / "A/result.log"});
    EXPECT_EQ(missing.Status, 3) << "the replay changed nothing";
    EXPECT_NE(missing.Out.find("copied, chord.wav not found"), std::string::npos) << missing.Out;
    EXPECT_EQ(ReadFileBytes(Packed("C")), ReadFileBytes(source));

    // Reversed in an editor: packed anew, and extracted again it is the reversed sound.
    const std::vector<std::int16_t> original = WaveSamples(dir / "A/kept.wav");
    ASSERT_TRUE(Sox("'" + (dir / "A/kept.wav") + "' '" + (dir / "A/chord.wav") + "' reverse"));
    const auto edited = Cli({"-o", dir / "D", dir / "A/result.log"});
    ASSERT_EQ(edited.Status, 0) << edited.Err;
    EXPECT_NE(edited.Out.find("packed from chord.wav"), std::string::npos) << edited.Out;
    EXPECT_NE(edited.Out.find("bytes written.\n"), std::string::npos) << "a replay extracts nothing\n" << edited.Out;
    ASSERT_EQ(Cli({"-q", "-o", dir / "E", Packed("D")}).Status, 0);
    const std::vector<std::int16_t> back = WaveSamples(dir / "E/chord.wav");
    ASSERT_GE(back.size(), original.size());
    // The packed formats hold multiples of 64 (".wac") or 16 (".was"): half of that is the
    // most a sample may be off.
    const int error = extension == ".wac" ? 32 : 8;
    for (std::size_t i = 0; i < original.size(); ++i)
        ASSERT_LE(std::abs(back[i] - original[original.size() - 1 - i]), error) << i;

    // A 48 kHz stereo float version is converted to the source's rate and channels.
    ASSERT_TRUE(Sox("'" + (dir / "A/kept.wav") + "' -e float -b 32 -c 2 -r 48000 '" + (dir / "A/chord.wav") + "'"));
    const auto converted = Cli({"-o", dir / "F", dir / "A/result.log"});
    ASSERT_EQ(converted.Status, 0) << converted.Err;
    EXPECT_NE(converted.Out.find("resampled from 48000 Hz, mixed to mono"), std::string::npos) << converted.Out;
    ASSERT_EQ(Cli({"-q", "-o", dir / "G", Packed("F")}).Status, 0);
    EXPECT_NEAR(static_cast<double>(WaveSamples(dir / "G/chord.wav").size()), static_cast<double>(original.size()), 256.0);

    // A ".wav" that is no sound is named in the message; nothing is written.
    dir.Write("A/chord.wav", "not a sound at all");
    const auto broken = Cli({"-o", dir / "H", dir / "A/result.log"});
    EXPECT_EQ(broken.Status, 1);
    EXPECT_NE(broken.Err.find(dir / "A/chord.wav"), std::string::npos) << broken.Err;
    EXPECT_FALSE(FileExists(Packed("H")));
}

TEST_P(PackSoundTest, NoRunWritesOverItsInputsOrUndoesAnEarlierJobsOutput)
{
    const std::string format = extension.substr(1);
    const std::string original = ReadFileBytes(source);
    const std::string sound = dir / "A/chord.wav";

    // The file packing takes its shape from, in the folder the packed file would go to.
    const auto like = Cli({"-o", dir / "game", "--pack", format, "--like", source, sound});
    EXPECT_EQ(like.Status, 1);
    EXPECT_EQ(like.Err, "packsmith-cli: " + sound + ": Cannot create file " + source + " (it is the file being read)\n");
    EXPECT_EQ(ReadFileBytes(source), original);

    // Two inputs of one name: the second is passed over, naming both, and the first's
    // output stays; the run ends with warnings. So for packing, so for extracting.
    fs::create_directories(dir / "d1");
    fs::create_directories(dir / "d2");
    fs::copy_file(sound, dir / "d1/x.wav");
    ASSERT_TRUE(Sox("'" + sound + "' '" + (dir / "d2/x.wav") + "' reverse"));
    ASSERT_EQ(Cli({"-q", "-o", dir / "one", "--pack", format, dir / "d1/x.wav"}).Status, 0);
    const auto packed = Cli({"-o", dir / "both", "--pack", format, dir / "d1/x.wav", dir / "d2/x.wav"});
    EXPECT_EQ(packed.Status, 3);
    EXPECT_NE(packed.Err.find("Skipped " + (dir / "d2/x.wav") + ": " + (dir / ("both/x" + extension)) +
                              " was written from " + (dir / "d1/x.wav") + " earlier in this run"),
              std::string::npos) << packed.Err;
    EXPECT_EQ(ReadFileBytes(dir / ("both/x" + extension)), ReadFileBytes(dir / ("one/x" + extension)));

    fs::copy_file(source, dir / ("d1/y" + extension));
    fs::copy_file(dir / ("both/x" + extension), dir / ("d2/y" + extension));
    const auto extracted = Cli({"-o", dir / "out", dir / ("d1/y" + extension), dir / ("d2/y" + extension)});
    EXPECT_EQ(extracted.Status, 3);
    EXPECT_NE(extracted.Err.find("Skipped " + (dir / ("d2/y" + extension))), std::string::npos) << extracted.Err;
    EXPECT_EQ(ReadFileBytes(dir / "out/y.wav"), ReadFileBytes(sound));
    const std::string log = ReadFileBytes(dir / "out/result.log");
    EXPECT_NE(log.find(dir / ("d1/y" + extension)), std::string::npos) << log;
    EXPECT_EQ(log.find(dir / ("d2/y" + extension)), std::string::npos) << "the passed-over job is not in the log";

    // A packed file named as its own edited sound, replayed into the log's folder.
    fs::create_directories(dir / "S");
    fs::copy_file(source, dir / "S/z.wav");
    ASSERT_EQ(Cli({"-q", "-f", format, "-o", dir / "L", dir / "S/z.wav"}).Status, 0);
    const std::string edited = ReadFileBytes(dir / "L/z.wav");
    const auto replay = Cli({"-o", dir / "L", dir / "L/result.log"});
    EXPECT_EQ(replay.Status, 1);
    EXPECT_NE(replay.Err.find("Cannot create file " + (dir / "L/z.wav") + " (it is the file being read)"),
              std::string::npos) << replay.Err;
    EXPECT_EQ(ReadFileBytes(dir / "L/z.wav"), edited);
}

TEST_P(PackSoundTest, ASoundWhoseDataChunkClaimsMoreThanTheFileHoldsPacksWithAWarning)
{
    const std::string format = extension.substr(1);
    std::string wave = ReadFileBytes(dir / "A/chord.wav");
    const std::size_t data = wave.find("data");
    ASSERT_NE(data, std::string::npos);
    const std::uint32_t held = LoadLE32(reinterpret_cast<const std::uint8_t*>(wave.data()) + data + 4);
    StoreLE32(reinterpret_cast<std::uint8_t*>(wave.data()) + data + 4, held + 100000);
    const std::string cut = dir.Write("cut.wav", wave);
    const auto packed = Cli({"-o", dir / "W", "--pack", format, cut});
    EXPECT_EQ(packed.Status, 3) << packed.Err;
    EXPECT_NE(packed.Err.find(cut + ": its data chunk claims " + std::to_string(held + 100000) +
                              " bytes of sound, more than the file holds; " + std::to_string(held / 2) +
                              " frames were read\n"),
              std::string::npos) << packed.Err;
    EXPECT_TRUE(FileExists(dir / ("W/cut" + extension)));
    EXPECT_EQ(Cli({"-q", "-o", dir / "V", "--pack", format, dir / "A/chord.wav"}).Status, 0) << "a whole file: no warning";
}

TEST_P(PackSoundTest, PackingASoundFileTakesTheShapeOfTheFileItIsLike)
{
    const std::string format = extension.substr(1);
    ASSERT_TRUE(Sox("-n -e float -b 32 -c 2 -r 44100 '" + (dir / "new.flac") + "' synth 0.5 sine 440"));
    // --like relative to where the command was given, not to the target.
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const auto like = Cli({"-o", "P", "--pack", format, "--like", "game/chord" + extension, "new.flac"});
    ASSERT_EQ(like.Status, 0) << like.Err;
    EXPECT_NE(like.Out.find("resampled from 44100 Hz, mixed to mono"), std::string::npos) << like.Out;
    EXPECT_NE(like.Out.find("bytes written.\n"), std::string::npos) << "packing extracts nothing\n" << like.Out;
    const std::string packed = ReadFileBytes(dir / ("P/new" + extension));
    const std::string original = ReadFileBytes(source);
    ASSERT_GE(packed.size(), 52u);
    // Leading bytes the decoders do not read come from the source; the wave header
    // describes the new data at the source's rate and channels.
    const std::size_t from = extension == ".wac" ? 4 : 0;
    EXPECT_EQ(packed.substr(from, 8 - from), original.substr(from, 8 - from));
    EXPECT_EQ(packed.substr(8 + 22, 6), original.substr(8 + 22, 6)) << "channels and rate";
    ASSERT_EQ(Cli({"-q", "-o", dir / "Q", dir / ("P/new" + extension)}).Status, 0);
    EXPECT_NEAR(static_cast<double>(WaveSamples(dir / "Q/new.wav").size()), 11025.0, 256.0);

    // A --like file that cannot be read is the one named.
    dir.Write("broken" + extension, "too short");
    const auto broken = Cli({"-o", dir / "B", "--pack", format, "--like", dir / ("broken" + extension), dir / "new.flac"});
    EXPECT_EQ(broken.Status, 1);
    EXPECT_NE(broken.Err.find(": " + (dir / ("broken" + extension)) + ": "), std::string::npos) << broken.Err;

    // Without --like: the file's own rate and channels (two at the most).
    ASSERT_EQ(Cli({"-q", "-o", dir / "R", "--pack", format, dir / "new.flac"}).Status, 0);
    const std::string own = ReadFileBytes(dir / ("R/new" + extension));
    ASSERT_GE(own.size(), 52u);
    EXPECT_EQ(LoadLE16(reinterpret_cast<const std::uint8_t*>(own.data()) + 8 + 22), 2);
    EXPECT_EQ(LoadLE32(reinterpret_cast<const std::uint8_t*>(own.data()) + 8 + 24), 44100u);
}

// Packing moves the file bar and the count of bytes written while it reads and codes.
TEST_P(PackSoundTest, PackingALongSoundShowsHowFarItHasCome)
{
    ASSERT_TRUE(Sox("-n -b 16 -c 2 -r 48000 '" + (dir / "long.wav") + "' synth 12 pinknoise vol 0.3"));
    RunContext run;
    run.TargetDirectory = dir / "L";
    std::filesystem::create_directories(run.TargetDirectory);
    RecordingHost host;
    (extension == ".wac" ? PackWac : PackWas)(dir / "long.wav", run, host);
    ASSERT_EQ(host.Outputs.size(), 1u);
    EXPECT_GE(host.ProgressChanges, 10);
    EXPECT_GE(host.Progress, 95);
    ASSERT_GE(host.BytesWritten.size(), 4u);
    EXPECT_TRUE(std::is_sorted(host.BytesWritten.begin(), host.BytesWritten.end()));
    EXPECT_EQ(host.BytesWritten.back(), host.Outputs[0].second);
}

INSTANTIATE_TEST_SUITE_P(Formats, PackSoundTest, ::testing::Values(".wac", ".was"),
                         [](const auto& info) { return std::string(info.param).substr(1); });

} // namespace
} // namespace packsmith::test
