// Reading what sound editors save and fitting it to the packed file: every sample kind read
// to the 16-bit value it must round to, conversions checked by what a listener would notice
// (length, pitch, level), and the files that must be refused with their name.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <sndfile.h>

#include "core/PackError.h"
#include "formats/sound/SoundConversion.h"
#include "formats/sound/SoundReader.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

std::string LE(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string Chunk(const std::string& id, const std::string& payload)
{
    return id + LE(payload.size(), 4) + payload + (payload.size() % 2 ? std::string(1, '\0') : "");
}

// A WAV file written by hand, so that the reader is checked against the layout and not
// against the library it uses. tag 1 is integer, 3 float; extensible wraps either.
std::string Wav(int tag, bool extensible, int bits, int channels, int rate, const std::string& data,
                const std::string& before = "", const std::string& after = "")
{
    const int align = channels * bits / 8;
    std::string fmt = LE(extensible ? 0xFFFE : tag, 2) + LE(channels, 2) + LE(rate, 4) +
                      LE(std::uint64_t(rate) * align, 4) + LE(align, 2) + LE(bits, 2);
    if (extensible)
        fmt += LE(22, 2) + LE(bits, 2) + LE(channels == 2 ? 3 : 4, 4) + LE(tag, 2) +
               std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    const std::string body = "WAVE" + Chunk("fmt ", fmt) + before + Chunk("data", data) + after;
    return "RIFF" + LE(body.size(), 4) + body;
}

// Integer samples of the given width: every 16-bit value, or the edges and rounding halves
// plus a spread of others for the rest.
std::vector<std::int64_t> RawSamples(int bits)
{
    std::vector<std::int64_t> raw;
    const std::int64_t top = (std::int64_t{1} << (bits - 1)) - 1;
    if (bits == 16) {
        for (std::int64_t v = -32768; v <= 32767; ++v)
            raw.push_back(v);
        return raw;
    }
    raw = {top, -top - 1, 0, 1, -1, top / 2, -top / 2};
    if (bits > 16) {
        const std::int64_t half = std::int64_t{1} << (bits - 17);
        raw.insert(raw.end(), {half, -half, half - 1, 3 * half, top - half + 1});
    }
    std::mt19937 random(bits);
    std::uniform_int_distribution<std::int64_t> any(-top - 1, top);
    while (raw.size() < 4000)
        raw.push_back(any(random));
    return raw;
}

std::int16_t Clip(double value) { return static_cast<std::int16_t>(std::clamp(std::round(value), -32768.0, 32767.0)); }

// Stereo 440 Hz: left at `left` of full scale, right at `right`.
std::vector<float> Tone(int rate, int frames, double left, double right)
{
    std::vector<float> out;
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2 * std::numbers::pi * 440 * i / rate);
        out.push_back(static_cast<float>(left * s));
        out.push_back(static_cast<float>(right * s));
    }
    return out;
}

int ZeroCrossings(const Pcm16& pcm, int channel)
{
    int count = 0;
    for (std::size_t i = pcm.Channels + channel; i < pcm.Samples.size(); i += pcm.Channels)
        count += (pcm.Samples[i - pcm.Channels] < 0) != (pcm.Samples[i] < 0);
    return count;
}

double RmsDb(const Pcm16& pcm, int channel)
{
    double sum = 0;
    for (std::size_t i = channel; i < pcm.Samples.size(); i += pcm.Channels)
        sum += double(pcm.Samples[i]) * pcm.Samples[i];
    return 10 * std::log10(sum / double(pcm.Frames()));
}

double ToneDb(double amplitude) { return 20 * std::log10(amplitude * 32768 / std::numbers::sqrt2); }

void WriteWithLibrary(const std::string& path, int format, int rate, int channels, const std::vector<int>& ints,
                      const std::vector<float>& floats = {})
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    if (floats.empty())
        sf_write_int(file, ints.data(), sf_count_t(ints.size()));
    else
        sf_write_float(file, floats.data(), sf_count_t(floats.size()));
    sf_close(file);
}

TEST(SoundReaderTest, ReadsEveryWaveSampleKindToRoundedSixteenBits)
{
    TempDir dir;
    const std::string list = Chunk("LIST", "INFOINAM" + LE(6, 4) + "title");
    const std::string odd = Chunk("zzzz", "odd");
    const struct {
        const char* name;
        int tag;
        bool extensible;
        int bits;
        std::string before, after;
        const char* kind;
    } cases[] = {
        {"8-bit", 1, false, 8, "", "", "8-bit"},
        {"16-bit", 1, false, 16, "", "", "16-bit"},
        {"24-bit", 1, false, 24, "", "", "24-bit"},
        {"32-bit", 1, false, 32, "", "", "32-bit"},
        {"float", 3, false, 32, "", "", "32-bit float"},
        {"extensible 16-bit", 1, true, 16, "", "", "16-bit"},
        {"extensible 24-bit", 1, true, 24, "", "", "24-bit"},
        {"extensible float", 3, true, 32, "", "", "32-bit float"},
        {"chunks around the data", 1, false, 16, list + odd, odd + list, "16-bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string data;
        std::vector<std::int16_t> expected;
        if (c.tag == 3) {
            std::mt19937 random(7);
            std::uniform_real_distribution<float> any(-1.0f, 1.0f);
            std::vector<float> values = {0, 1, -1, 1.5f, -1.5f, 0.5f / 32768, -0.5f / 32768, 32767.5f / 32768, 1e-30f};
            while (values.size() < 4000)
                values.push_back(any(random));
            for (float v : values) {
                std::uint32_t bits;
                std::memcpy(&bits, &v, 4);
                data += LE(bits, 4);
                expected.push_back(Clip(double(v) * 32768));
            }
        } else {
            for (std::int64_t v : RawSamples(c.bits)) {
                data += c.bits == 8 ? LE(std::uint64_t(v + 128), 1) : LE(std::uint64_t(v), c.bits / 8);
                expected.push_back(Clip(std::ldexp(double(v), 16 - c.bits)));
            }
        }
        const std::string path = dir.Write("in.wav", Wav(c.tag, c.extensible, c.bits, 2, 22050, data, c.before, c.after));

        const Pcm16 pcm = ReadSoundFile(path);

        EXPECT_EQ(pcm.Channels, 2);
        EXPECT_EQ(pcm.SampleRate, 22050);
        EXPECT_EQ(pcm.Kind, c.kind);
        EXPECT_EQ(pcm.Samples, expected);
    }
}

TEST(SoundReaderTest, ReadsFlacExactlyAndOggWithinItsLoss)
{
    TempDir dir;
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        std::vector<int> ints;
        std::vector<std::int16_t> expected;
        for (std::int64_t v : RawSamples(bits)) {
            ints.push_back(int(v << (32 - bits)));
            expected.push_back(Clip(std::ldexp(double(v), 16 - bits)));
        }
        const std::string path = dir / "in.flac";
        WriteWithLibrary(path, SF_FORMAT_FLAC | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24), 44100, 1, ints);
        const Pcm16 pcm = ReadSoundFile(path);
        EXPECT_EQ(pcm.Channels, 1);
        EXPECT_EQ(pcm.SampleRate, 44100);
        EXPECT_EQ(pcm.Kind, std::to_string(bits) + "-bit");
        EXPECT_EQ(pcm.Samples, expected);
    }

    const std::string path = dir / "in.ogg";
    WriteWithLibrary(path, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, {}, Tone(44100, 44100, 0.5, 0.25));
    const Pcm16 pcm = ReadSoundFile(path);
    EXPECT_EQ(pcm.Channels, 2);
    EXPECT_EQ(pcm.SampleRate, 44100);
    EXPECT_EQ(pcm.Kind, "Vorbis");
    EXPECT_NEAR(double(pcm.Frames()), 44100, 4);
    EXPECT_NEAR(ZeroCrossings(pcm, 0), 880, 4);
    EXPECT_NEAR(RmsDb(pcm, 0), ToneDb(0.5), 0.5);
    EXPECT_NEAR(RmsDb(pcm, 1), ToneDb(0.25), 0.5);
}

TEST(SoundReaderTest, RefusesWhatCannotBePackedNamingTheFile)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.wav");
    dir.Write("garbage.wav", std::string(300, '\x5A') + "RIFF....WAVE");
    dir.Write("empty.wav", "");
    dir.Write("nine.wav", Wav(1, false, 16, 9, 22050, std::string(18 * 10, '\0')));
    dir.Write("slow.wav", Wav(1, false, 16, 1, 100, std::string(200, '\0')));
    dir.Write("silent.wav", Wav(1, false, 16, 2, 22050, ""));
    // A sample rate of 0: libsndfile's own text for it speaks of its structures.
    dir.Write("rateless.wav", Wav(1, false, 16, 2, 0, std::string(40, '\0')));
    // Claims 8 GiB of samples once widened to 16 bits; sparse, so it costs no disk.
    const std::string header = Wav(1, false, 8, 8, 22050, "");
    dir.Write("huge.wav", "RIFF" + LE(0xFFFFFFFF, 4) + header.substr(8, header.size() - 12) + LE(0xFFFFFF00, 4));
    std::filesystem::resize_file(dir / "huge.wav", header.size() + 0xFFFFFF00ull);

    const struct {
        const char* name;
        const char* says;
    } cases[] = {
        {"garbage.wav", "Cannot read the sound file "}, {"missing.wav", "Cannot read the sound file "},
        {"folder.wav", "directory"},                    {"empty.wav", " (the file is empty)"},
        {"rateless.wav", " (its header gives no usable sample rate, channel count or sample format)"},
        {"nine.wav", "has 9 channels"},                 {"slow.wav", "unusable sample rate (100 Hz)"},
        {"silent.wav", "holds no sound"},               {"huge.wav", "too long to pack"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ReadSoundFile(dir / c.name);
            ADD_FAILURE() << "read without complaint";
        } catch (const PackError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(dir / c.name), std::string::npos) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
            EXPECT_EQ(message.find("SF_"), std::string::npos) << message;
        }
    }
}

TEST(SoundConversionTest, FloatStereoAt48kBecomesMonoAt22050WithItsToneAndLevel)
{
    TempDir dir;
    std::string data;
    for (float v : Tone(48000, 48000, 0.6, 0.2)) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        data += LE(bits, 4);
    }
    const Pcm16 in = ReadSoundFile(dir.Write("edited.wav", Wav(3, false, 32, 2, 48000, data)));

    std::string description;
    const Pcm16 out = ConvertSound(in, 1, 22050, description);

    EXPECT_EQ(description, "resampled from 48000 Hz, mixed to mono, converted from 32-bit float");
    EXPECT_EQ(out.Channels, 1);
    EXPECT_EQ(out.SampleRate, 22050);
    EXPECT_NEAR(double(out.Frames()), 22050, 2);
    EXPECT_NEAR(ZeroCrossings(out, 0), 880, 2);
    EXPECT_NEAR(RmsDb(out, 0), ToneDb(0.4), 0.5);
}

TEST(SoundConversionTest, ChannelsMixOrCopyAndTheDescriptionSaysSo)
{
    const struct {
        int from;
        std::vector<std::int16_t> in;
        const char* kind;
        int to;
        std::vector<std::int16_t> out;
        const char* says;
    } cases[] = {
        {2, {1, 2, -1, -2, 32767, 32767, -32768, -32768, 3, -4}, "16-bit", 1, {2, -2, 32767, -32768, -1}, "mixed to mono"},
        {3, {1, 1, 2, -9, 0, 0}, "16-bit", 1, {1, -3}, "mixed to mono"},
        {1, {5, -7}, "16-bit", 2, {5, 5, -7, -7}, "copied to stereo"},
        {6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "16-bit", 2, {1, 2, 7, 8}, "kept the first 2 of 6 channels"},
        {2, {1, 2}, "16-bit", 4, {1, 2, 2, 2}, "repeated the last of 2 channels to make 4"},
        {2, {1, 2, 3, 4}, "16-bit", 2, {1, 2, 3, 4}, ""},
        {1, {1, 2}, "24-bit", 1, {1, 2}, "converted from 24-bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const Pcm16 in{c.in, c.from, 22050, c.kind, {}};
        std::string description = "left over";
        const Pcm16 out = ConvertSound(in, c.to, 22050, description);
        EXPECT_EQ(out.Samples, c.out);
        EXPECT_EQ(out.Channels, c.to);
        EXPECT_EQ(out.SampleRate, 22050);
        EXPECT_EQ(description, c.says);
    }
    std::string description;
    EXPECT_THROW(ConvertSound(Pcm16{{1}, 1, 22050, "16-bit", {}}, 9, 22050, description), PackError);
    EXPECT_THROW(ConvertSound(Pcm16{{1}, 1, 22050, "16-bit", {}}, 1, 0, description), PackError);
}

TEST(SoundConversionTest, ResamplingOvershootClipsInsteadOfWrapping)
{
    // The resampler is linear, so the full-scale square's result is twice the half-scale
    // one's wherever that fits in 16 bits, and the limit where it does not.
    auto square = [](std::int16_t level) {
        Pcm16 pcm{{}, 1, 44100, "16-bit", {}};
        for (int i = 0; i < 8000; ++i)
            pcm.Samples.push_back(i % 100 < 50 ? level : std::int16_t(-level));
        return pcm;
    };
    std::string description;
    const Pcm16 half = ConvertSound(square(16383), 1, 32000, description);
    const Pcm16 full = ConvertSound(square(32766), 1, 32000, description);
    ASSERT_EQ(half.Samples.size(), full.Samples.size());
    int clipped = 0;
    for (std::size_t i = 0; i < full.Samples.size(); ++i) {
        const double twice = 2.0 * half.Samples[i];
        clipped += std::abs(twice) > 32767;
        EXPECT_NEAR(full.Samples[i], std::clamp(twice, -32768.0, 32767.0), 3) << i;
    }
    EXPECT_GT(clipped, 0);
}

} // namespace
} // namespace packsmith::test
