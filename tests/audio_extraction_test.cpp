// The packed wave handlers: file layouts, output naming, what a failure leaves behind, and
// the output read back by an independent reader.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasDecoder.h"
#include "formats/was/WasEncoder.h"
#include "jobs/ExtractWac.h"
#include "jobs/ExtractWas.h"
#include "jobs/SoundContents.h"
#include "testing/Bytes.h"
#include "testing/HandlerFixture.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::int16_t> Tone(std::size_t count, double hertz = 440, double amplitude = 12000)
{
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(
            amplitude * std::sin(2 * std::numbers::pi * hertz * static_cast<double>(i) / 22050));
    return samples;
}

// What a packed wave file decodes to, block by block, for comparison.
std::string DecodedWac(const Bytes& file, std::uint32_t blocks)
{
    std::string out(file.begin() + 8, file.begin() + 52);
    WacDecoderState state;
    std::size_t at = 52;
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const std::uint16_t size = LoadLE16(file.data() + at);
        std::array<std::uint8_t, kWacBlockBytes> decoded;
        DecodeWacBlock(std::span(file).subspan(at + 2, size), decoded, state);
        out.append(decoded.begin(), decoded.end());
        at += 2 + size;
    }
    return out;
}

// A wave file's bytes with the sizes of its header set to what it holds, as a job that
// fails part way writes them.
std::string SizesSet(std::string wav)
{
    auto* bytes = reinterpret_cast<std::uint8_t*>(wav.data());
    StoreLE32(bytes + 4, static_cast<std::uint32_t>(wav.size() - 8));
    StoreLE32(bytes + 40, static_cast<std::uint32_t>(wav.size() - 44));
    return wav;
}

// The cause in a read error's brackets, as a listing gives it.
std::string CauseOf(const std::string& message)
{
    const std::string prefix = "Stream read error (";
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size(), message.size() - prefix.size() - 1) : message;
}

// Appends a packed music chunk with the given sizes and coded bytes.
void AddChunk(Bytes& file, std::int32_t compressed, std::int32_t decompressed, const Bytes& coded)
{
    const std::size_t at = file.size();
    file.resize(at + 8);
    StoreLE32(file.data() + at, static_cast<std::uint32_t>(compressed));
    StoreLE32(file.data() + at + 4, static_cast<std::uint32_t>(decompressed));
    file.insert(file.end(), coded.begin(), coded.end());
}

class AudioExtractionTest : public HandlerFixture {
protected:
    std::string Output(const std::string& name) { return ReadFileBytes(run.TargetDirectory + "/" + name); }
};

TEST_F(AudioExtractionTest, WacFileBecomesHeaderAndDecodedBlocks)
{
    const Bytes file = EncodeWacFile(Tone(1000)); // 4 blocks, the last padded
    const std::string path = Input("snd/door.wac", file);
    ASSERT_EQ(Failure(ExtractWac, path), "");

    const std::string wav = Output("door.wav");
    EXPECT_EQ(wav.size(), 44u + 4 * 512);
    EXPECT_EQ(wav, DecodedWac(file, 4));
    ASSERT_EQ(host.Outputs.size(), 1u);
    EXPECT_EQ(host.Outputs[0].first, run.TargetDirectory + "/door.wav");
    EXPECT_EQ(host.Outputs[0].second, wav.size());
    EXPECT_EQ(host.Statuses, (std::vector<std::string>{"Processing door.wac..."}));
    EXPECT_TRUE(run.ResultList.Empty());
}

TEST_F(AudioExtractionTest, WacBlockCountRulesAndPadding)
{
    const Bytes plain = EncodeWacFile(Tone(512)); // 2 blocks

    Bytes none = plain;
    StoreLE32(none.data(), 0);
    EXPECT_EQ(Failure(ExtractWac, Input("none.wac", none)), "");
    EXPECT_EQ(Output("none.wav"), AsString(Bytes(plain.begin() + 8, plain.begin() + 52)));

    Bytes fewer = plain; // a count below the blocks present ignores the rest
    StoreLE32(fewer.data(), 1);
    EXPECT_EQ(Failure(ExtractWac, Input("fewer.wac", fewer)), "");
    EXPECT_EQ(Output("fewer.wav"), DecodedWac(plain, 1));

    // Surplus bytes after a block's codes are skipped through its size field.
    Bytes padded(plain.begin(), plain.begin() + 52);
    std::size_t at = 52;
    for (int b = 0; b < 2; ++b) {
        const std::uint16_t size = LoadLE16(plain.data() + at);
        const std::size_t start = padded.size();
        padded.resize(start + 2);
        StoreLE16(padded.data() + start, static_cast<std::uint16_t>(size + 17));
        padded.insert(padded.end(), plain.begin() + static_cast<std::ptrdiff_t>(at + 2),
                      plain.begin() + static_cast<std::ptrdiff_t>(at + 2 + size));
        padded.insert(padded.end(), 17, 0x5A);
        at += 2 + size;
    }
    EXPECT_EQ(Failure(ExtractWac, Input("padded.wac", padded)), "");
    EXPECT_EQ(Output("padded.wav"), DecodedWac(plain, 2));

    // A block of size 0 has no bits: 256 explicit deltas of 0.
    Bytes empty(plain.begin(), plain.begin() + 52);
    StoreLE32(empty.data(), 1);
    empty.insert(empty.end(), {0, 0});
    EXPECT_EQ(Failure(ExtractWac, Input("empty.wac", empty)), "");
    EXPECT_EQ(Output("empty.wav").substr(44), std::string(512, '\0'));
}

TEST_F(AudioExtractionTest, TruncatedWacKeepsTheBlocksBeforeTheCut)
{
    const Bytes file = EncodeWacFile(Tone(768, 300)); // 3 blocks
    std::vector<std::size_t> blockEnds;
    for (std::size_t at = 52; at < file.size(); at += 2 + LoadLE16(file.data() + at))
        blockEnds.push_back(at + 2 + LoadLE16(file.data() + at));
    ASSERT_EQ(blockEnds.size(), 3u);

    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        std::filesystem::remove(run.TargetDirectory + "/cut.wav");
        const std::string path = Input("cut.wac", cut);
        std::uint32_t whole = 0;
        while (whole < 3 && blockEnds[whole] <= length)
            ++whole;
        // Too short for its header; too short for the sizes of its blocks, so no packed wave
        // file at all; or cut inside a block, keeping the blocks before it.
        const std::string message =
            length < 52       ? "Stream read error (the file ends inside its header)"
            : length < 52 + 6 ? path + " is not a Packed WAV file: its 3 blocks cannot fit its " +
                                    std::to_string(length) + " bytes"
                              : "Stream read error (the file ends inside block " + std::to_string(whole + 1) + " of 3)";
        EXPECT_EQ(Failure(ExtractWac, path), message);
        // What is kept says in its header how much it holds; a listing says the same, and
        // where the file is damaged.
        EXPECT_EQ(Output("cut.wav"), length < 52 + 6 ? "" : SizesSet(DecodedWac(file, whole)));
        if (length >= 52 + 6) {
            const SoundSummary listed = DescribePackedWav(path);
            EXPECT_EQ(listed.Problem, CauseOf(message));
            EXPECT_EQ(listed.Units, whole);
            EXPECT_EQ(listed.DecodedBytes, whole * 512u);
            EXPECT_EQ(SummarisePackedWav(path).DecodedBytes, 3 * 512u) << "what the header claims";
        }
    }
    EXPECT_EQ(DescribePackedWav(Input("whole.wac", file)).Problem, "");

    // A block size no block can have, in a file of full length, is named as what it is.
    Bytes damaged = file;
    StoreLE16(damaged.data() + blockEnds[0], 60000);
    EXPECT_EQ(Failure(ExtractWac, Input("damaged.wac", damaged)),
              "Stream read error (block 2 of 3 gives a size of 60000 bytes, which runs past the end of the file)");

    // Counts that cannot be true, a text file, and a packed music file under the extension
    // are no packed wave files; nothing is written for them.
    Bytes huge = file;
    StoreLE32(huge.data(), 0xFFFFFFFF);
    const std::string hugePath = Input("huge.wac", huge);
    EXPECT_EQ(Failure(ExtractWac, hugePath), hugePath + " is not a Packed WAV file: its 4294967295 blocks cannot fit its " +
                                                 std::to_string(huge.size()) + " bytes");
    const std::string text = dir.Write("notes.wac", "These are my notes on the level's sounds, not a sound at all.");
    EXPECT_NE(Failure(ExtractWac, text).find(text + " is not a Packed WAV file"), std::string::npos);
    const std::string music = Input("music.wac", EncodeWasFile(Tone(600), {}, 256));
    EXPECT_EQ(Failure(ExtractWac, music), music + " is not a Packed WAV file: it holds the chunks of a Packed Music file");
    for (const char* name : {"huge.wav", "notes.wav", "music.wav"})
        EXPECT_FALSE(FileExists(run.TargetDirectory + "/" + name)) << name;
    EXPECT_TRUE(host.Outputs.empty()) << "a failed job reports no finished output";
}

TEST_F(AudioExtractionTest, WasFileBecomesHeaderAndDecodedChunks)
{
    const auto samples = Tone(5000, 523);
    const Bytes file = EncodeWasFile(samples, {}, 1500); // 4 chunks, the last shorter
    ASSERT_EQ(Failure(ExtractWas, Input("theme.was", file)), "");
    const std::string wav = Output("theme.wav");
    ASSERT_EQ(wav.size(), 44u + 2 * samples.size());
    EXPECT_EQ(wav.substr(0, 44), AsString(Bytes(file.begin() + 8, file.begin() + 52)));
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(static_cast<std::int16_t>(LoadLE16(reinterpret_cast<const std::uint8_t*>(wav.data()) + 44 + 2 * i)),
                  QuantiseWasSample(samples[i]))
            << i;
    EXPECT_EQ(host.Outputs.at(0).second, wav.size());
}

TEST_F(AudioExtractionTest, WasChunkSizesAtTheirEdges)
{
    const Bytes front = EncodeWasFile({}); // the 52 bytes in front of the chunks
    const Bytes coded = EncodeWasChunk(Tone(10)); // 10 samples, 20 bytes of output

    Bytes file = front;
    AddChunk(file, static_cast<std::int32_t>(coded.size()), 0, coded); // contributes nothing
    AddChunk(file, 0, 1, {});                                           // no codes: one zero byte
    AddChunk(file, static_cast<std::int32_t>(coded.size()), 7, coded); // odd: three samples and a low byte
    AddChunk(file, static_cast<std::int32_t>(coded.size()), 30, coded); // past the codes: zeros
    ASSERT_EQ(Failure(ExtractWas, Input("edges.was", file)), "");

    std::string expected = AsString(Bytes(front.begin() + 8, front.end()));
    expected += '\0';
    Bytes all(30);
    DecodeWasChunk(coded, all);
    expected += AsString(Bytes(all.begin(), all.begin() + 7));
    expected += AsString(all);
    EXPECT_EQ(Output("edges.wav"), expected);
    EXPECT_EQ(std::string(all.begin() + 22, all.end()), std::string(8, '\0'));

    EXPECT_EQ(Failure(ExtractWas, Input("just-header.was", front)), "");
    EXPECT_EQ(Output("just-header.wav").size(), 44u);
}

TEST_F(AudioExtractionTest, HostileWasSizesEndTheJobCleanly)
{
    const Bytes front = EncodeWasFile({}); // the 52 bytes in front of the chunks
    const Bytes coded = EncodeWasChunk(Tone(10));
    const auto size = static_cast<std::int32_t>(coded.size());
    const std::string second = "the chunk at offset " + std::to_string(52 + 8 + size);
    const struct {
        const char* name;
        std::int32_t compressed, decompressed;
        std::string message;
    } rows[] = {
        {"negative-coded.was", -1, 20, "Stream read error (" + second + " gives a negative size)"},
        {"negative-decoded.was", size, -20, "Stream read error (" + second + " gives a negative size)"},
        {"past-end.was", size + 1, 20, "Stream read error (the file ends inside " + second + ")"},
        {"too-large.was", size, 8 * size + 2, ""}, // names the file, below
        {"gigabytes.was", 4, 0x7FFFFFFF, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes file = front;
        AddChunk(file, size, 20, coded); // one good chunk first
        AddChunk(file, row.compressed, row.decompressed, coded);
        const std::string path = Input(row.name, file);
        const std::string message = Failure(ExtractWas, path);
        if (row.message.empty()) {
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(std::to_string(row.decompressed) + " decoded bytes"), std::string::npos) << message;
        } else {
            EXPECT_EQ(message, row.message);
        }
        const SoundSummary listed = DescribePackedMusic(path);
        EXPECT_EQ(listed.Problem, CauseOf(message));
        EXPECT_EQ(listed.Units, 1u);
        EXPECT_EQ(listed.DecodedBytes, 20u);
        EXPECT_EQ(Output(std::filesystem::path(row.name).replace_extension(".wav").string()).size(), 44u + 20)
            << "the good chunk before the failure stays";
    }
    // Exactly at the bound is accepted: 8 bytes per coded byte, plus one.
    Bytes file = front;
    AddChunk(file, size, 8 * size + 1, coded);
    EXPECT_EQ(Failure(ExtractWas, Input("bound.was", file)), "");

    for (std::size_t length = 0; length < front.size() + 8 + coded.size(); ++length) {
        Bytes whole = front;
        AddChunk(whole, size, 20, coded);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        std::filesystem::remove(run.TargetDirectory + "/cut.wav");
        EXPECT_EQ(Failure(ExtractWas, Input("cut.was", cut)),
                  length < 52    ? "Stream read error (the file ends inside its header)"
                  : length == 52 ? ""
                                 : "Stream read error (the file ends inside the chunk at offset 52)")
            << length;
        EXPECT_EQ(Output("cut.wav").size(), length < 52 ? 0u : 44u) << length;
    }
}

TEST_F(AudioExtractionTest, ASecondExtractionNeverReplacesADifferentSound)
{
    const std::string wav = run.TargetDirectory + "/chord.wav";
    const struct {
        void (*handler)(const std::string&, RunContext&, JobHost&);
        std::string input;
    } kinds[] = {{ExtractWac, Input("chord.wac", EncodeWacFile(Tone(3000)))},
                 {ExtractWas, Input("chord.was", EncodeWasFile(Tone(3000), {}, 1000))}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.input);
        std::filesystem::remove_all(run.TargetDirectory);
        std::filesystem::create_directories(run.TargetDirectory);
        const auto again = [&] {
            host = {};
            run.Files = {}; // a run of its own each time
            EXPECT_EQ(Failure(kind.handler, kind.input), "");
            return host.OutputPaths();
        };
        again();
        const std::string first = Output("chord.wav");
        // The same bytes again: replaced, as ever.
        EXPECT_EQ(again(), std::vector<std::string>{wav});
        EXPECT_FALSE(FileExists(run.TargetDirectory + "/chord_0000.wav"));
        // An edited sound of the same size, then of another: it stays, and the output takes
        // the next free name and says why.
        std::string edited = first;
        edited[100] ^= 1;
        dir.Write("out/chord.wav", edited);
        EXPECT_EQ(again(), std::vector<std::string>{run.TargetDirectory + "/chord_0000.wav"});
        EXPECT_EQ(host.Details, std::vector<std::string>{"chord.wav holds another sound and was kept"});
        edited += "more";
        dir.Write("out/chord.wav", edited);
        EXPECT_EQ(again(), std::vector<std::string>{run.TargetDirectory + "/chord_0001.wav"});
        EXPECT_EQ(Output("chord.wav"), edited);
        EXPECT_EQ(Output("chord_0000.wav"), first);
        EXPECT_EQ(Output("chord_0001.wav"), first);
    }
}

TEST_F(AudioExtractionTest, AFailedOrStoppedJobHarmsNoEarlierOutput)
{
    const std::string earlier = "RIFF earlier output the user kept";
    dir.Write("out/gone.wav", earlier);
    for (const auto handler : {ExtractWac, ExtractWas}) {
        const std::string missing = dir / "gone.wac";
        EXPECT_EQ(Failure(handler, missing), "Cannot open file " + missing + " (No such file or directory)");
        EXPECT_EQ(Output("gone.wav"), earlier);
    }

    // Cut in its second block: the partial output goes where no file was, never over one.
    const Bytes whole = EncodeWacFile(Tone(768, 300));
    const std::size_t secondBlock = 52 + 2 + LoadLE16(whole.data() + 52);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(secondBlock + 10));
    const std::string output = run.TargetDirectory + "/cut.wav";
    dir.Write("out/cut.wav", earlier);
    EXPECT_EQ(Failure(ExtractWac, Input("cut.wac", cut)),
              "Stream read error (the file ends inside block 2 of 3); the earlier " + output + " was kept");
    EXPECT_EQ(Output("cut.wav"), earlier);
    // A stop leaves nothing of the job, and an earlier file as it was.
    host.Stop = true;
    EXPECT_THROW(ExtractWac(Input("cut.wac", whole), run, host), JobStopped);
    EXPECT_THROW(ExtractWas(Input("new.was", EncodeWasFile(Tone(300))), run, host), JobStopped);
    EXPECT_EQ(Output("cut.wav"), earlier);
    EXPECT_FALSE(FileExists(run.TargetDirectory + "/new.wav"));
    host.Stop = false;

    // An input that is its own output is refused before anything is written.
    const Bytes file = EncodeWacFile(Tone(256));
    const std::string self = dir.Write("out/self.wav", AsString(file));
    EXPECT_EQ(Failure(ExtractWac, self), "Cannot create file " + self + " (it is the file being read)");
    EXPECT_EQ(Output("self.wav"), AsString(file));
    // Also when the target reaches the input by another way: a link here, and on Windows,
    // whose names ignore case (and where making a link takes privileges), other letters.
#ifndef _WIN32
    std::filesystem::create_symlink(self, dir / "link.wav");
    run.TargetDirectory = dir.Path();
    std::filesystem::create_directories(dir / "o2");
    std::filesystem::create_symlink(dir / "out", dir / "o2/via");
    run.TargetDirectory = dir / "o2/via";
#else
    run.TargetDirectory = dir / "OUT";
#endif
    EXPECT_EQ(Failure(ExtractWas, self), "Cannot create file " + run.TargetDirectory + "/self.wav (it is the file being read)");
    EXPECT_EQ(ReadFileBytes(self), AsString(file));
}

// A long file moves the bar and the count of bytes written while it is decoded, on the
// job's thread alone and with workers.
TEST_F(AudioExtractionTest, LongFilesShowHowFarTheyHaveCome)
{
    const auto samples = Tone(std::size_t{3} << 20, 300, 9000); // 6 MB of samples
    const std::string wac = Input("long.wac", EncodeWacFile(samples));
    const std::string was = Input("long.was", EncodeWasFile(samples, {}, 4096));
    for (const unsigned threads : {1u, 2u}) {
        for (const auto& [handler, input] : {std::pair{&ExtractWac, wac}, std::pair{&ExtractWas, was}}) {
            SCOPED_TRACE(input + " on " + std::to_string(threads) + " threads");
            host = {};
            run.Files = {}; // each a run of its own, writing long.wav anew
            run.Threads = threads;
            ASSERT_EQ(Failure(handler, input), "");
            EXPECT_GE(host.ProgressChanges, 5);
            EXPECT_GE(host.Progress, 95);
            ASSERT_GE(host.BytesWritten.size(), 5u);
            EXPECT_TRUE(std::is_sorted(host.BytesWritten.begin(), host.BytesWritten.end()));
            ASSERT_EQ(host.Outputs.size(), 1u);
            EXPECT_EQ(host.BytesWritten.back(), host.Outputs[0].second);
        }
    }
}

TEST_F(AudioExtractionTest, OutputReadsBackThroughAnIndependentReader)
{
    if (std::system("python3 -c 'import wave' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3 with its wave module is not installed";
    const auto samples = Tone(3000, 440, 9000);
    ExtractWac(Input("a.wac", EncodeWacFile(samples, {2, 44100})), run, host);
    ExtractWas(Input("b.was", EncodeWasFile(samples, {1, 11025}, 700)), run, host);

    for (const auto& [name, expected] : {std::pair{"a.wav", "2 2 44100 1536"}, std::pair{"b.wav", "1 2 11025 3000"}}) {
        SCOPED_TRACE(name);
        const std::string wav = run.TargetDirectory + "/" + name;
        const std::string report = dir / "report.txt";
        const std::string frames = dir / "frames.raw";
        const std::string command = "python3 -c \"import wave,sys\n"
                                    "w = wave.open(sys.argv[1])\n"
                                    "open(sys.argv[2], 'w').write('%d %d %d %d' % (w.getnchannels(), w.getsampwidth(), "
                                    "w.getframerate(), w.getnframes()))\n"
                                    "open(sys.argv[3], 'wb').write(w.readframes(w.getnframes()))\" '" +
                                    wav + "' '" + report + "' '" + frames + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadFileBytes(report), expected);
        EXPECT_EQ(ReadFileBytes(frames), ReadFileBytes(wav).substr(44));
    }
}

} // namespace
} // namespace packsmith::test
