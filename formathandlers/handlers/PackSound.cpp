#include "formathandlers/handlers/PackSound.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decomp/ByteOrder.h"
#include "encode/WacEncoder.h"
#include "encode/WasEncoder.h"
#include "encode/WaveHeader.h"
#include "formathandlers/handlers/PackedWave.h"
#include "formathandlers/layout/WaveFile.h"
#include "formathandlers/sound/SoundConversion.h"
#include "formathandlers/sound/SoundReader.h"
#include "io/ByteBuffer.h"
#include "io/OutputFile.h"
#include "io/PackError.h"
#include "io/PathUtils.h"

namespace packsmith {

namespace {

enum class Packing { Wac, Was };

// A packed file as the packer needs it: the bytes in front of the samples, the sound's
// shape and its decoded samples.
struct PackedSource {
    std::array<std::uint8_t, kWavePrefixBytes> Prefix{};
    int Channels = 1;
    int SampleRate = 22050;
    std::vector<std::int16_t> Samples;
    std::uint32_t SamplesPerChunk = 0;
};

class SampleSink final : public DecodedSink {
public:
    std::span<std::uint8_t> Extend(std::uint64_t count) override
    {
        const std::size_t at = bytes_.size();
        ResizeBuffer(bytes_, at + count);
        return {bytes_.data() + at, static_cast<std::size_t>(count)};
    }
    std::vector<std::int16_t> Samples() const
    {
        std::vector<std::int16_t> samples(bytes_.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(LoadLE16(bytes_.data() + 2 * i));
        return samples;
    }

private:
    ByteBuffer bytes_;
};

PackedSource ReadPacked(Packing packing, const std::string& path, const JobHost& host)
{
    BufferedReader input(path);
    if (input.Remaining() < kWaveDataAt)
        ThrowReadError("the file ends inside its header");
    const auto front = input.Take(kWaveDataAt);
    PackedSource source;
    std::copy_n(front.begin(), kWavePrefixBytes, source.Prefix.begin());
    // The wave header's channel count and rate, where they make sense.
    const std::uint8_t* header = front.data() + kWavePrefixBytes;
    const int channels = LoadLE16(header + 22);
    const auto rate = static_cast<int>(LoadLE32(header + 24));
    if (channels >= 1 && channels <= 2)
        source.Channels = channels;
    if (rate >= 1000 && rate <= 384000)
        source.SampleRate = rate;

    SampleSink sink;
    if (packing == Packing::Wac) {
        const std::uint32_t blockCount = LoadLE32(front.data());
        CheckIsPackedWav(path, blockCount, input.Size());
        DecodeWacBlocks(input, blockCount, sink, host);
    } else {
        DecodeWasChunks(input, path, sink, host, 0, &source.SamplesPerChunk);
    }
    source.Samples = sink.Samples();
    return source;
}

std::vector<std::uint8_t> Encode(Packing packing, const Pcm16& sound, const PackedSource& like)
{
    const auto dataBytes = static_cast<std::uint32_t>(sound.Samples.size() * 2);
    const auto header = MakeWaveHeader({static_cast<std::uint16_t>(sound.Channels),
                                        static_cast<std::uint32_t>(sound.SampleRate)},
                                       dataBytes);
    if (packing == Packing::Wac)
        return EncodeWacFile(sound.Samples, like.Prefix, header);
    return EncodeWasFile(sound.Samples, like.Prefix, header, like.SamplesPerChunk ? like.SamplesPerChunk : 4096);
}

std::string Joined(const std::string& first, const std::string& second)
{
    return second.empty() ? first : first + ", " + second;
}

void WriteWhole(const std::string& path, std::span<const std::uint8_t> bytes)
{
    OutputFile out(path);
    out.Stream().WriteBuffer(bytes);
    out.Commit();
}

void CopyWhole(const std::string& from, const std::string& to)
{
    FileStream source(from, FileStream::Mode::OpenRead);
    OutputFile out(to);
    out.Stream().CopyFrom(source, static_cast<std::uint64_t>(source.Size()));
    out.Commit();
}

int RebuildSound(Packing packing, const std::string& newPath, int firstLine, RunContext& run, JobHost& host)
{
    const std::string source = run.SourcePackStream->Path();
    RefuseOverInput(newPath, source);

    const std::string edited =
        JoinPath(run.ReplayDirectory, ChangeFileExt(ExtractFileName(source), ".wav"));
    std::string detail;
    if (!PathExists(edited)) {
        CopyWhole(source, newPath);
        detail = "copied, " + ExtractFileName(edited) + " not found";
    } else {
        const PackedSource packed = ReadPacked(packing, source, host);
        std::string converted;
        const Pcm16 sound = ConvertSound(ReadSoundFile(edited), packed.Channels, packed.SampleRate, converted);
        if (sound.Samples == packed.Samples) {
            CopyWhole(source, newPath);
            detail = "copied, unchanged";
        } else {
            WriteWhole(newPath, Encode(packing, sound, packed));
            detail = Joined("packed from " + ExtractFileName(edited), converted);
        }
    }
    FileStream written(newPath, FileStream::Mode::OpenRead);
    host.ReportOutput(newPath, static_cast<std::uint64_t>(written.Size()), detail);
    return firstLine;
}

void PackSound(Packing packing, const std::string& path, RunContext& run, JobHost& host)
{
    CheckStop(host);
    host.SetStatus("Packing " + ExtractFileName(path) + "...");
    const Pcm16 input = ReadSoundFile(path);
    PackedSource like;
    like.Channels = std::min(input.Channels, 2);
    like.SampleRate = input.SampleRate;
    if (!run.PackLike.empty())
        like = ReadPacked(packing, run.PackLike, host);
    std::string converted;
    const Pcm16 sound = ConvertSound(input, like.Channels, like.SampleRate, converted);
    const std::string output =
        JoinPath(run.TargetDirectory, ChangeFileExt(ExtractFileName(path), packing == Packing::Wac ? ".wac" : ".was"));
    RefuseOverInput(output, path);
    const auto bytes = Encode(packing, sound, like);
    WriteWhole(output, bytes);
    host.ReportOutput(output, bytes.size(), Joined("packed", converted));
}

} // namespace

int RebuildWac(const std::string& newPath, int firstLine, RunContext& run, JobHost& host)
{
    return RebuildSound(Packing::Wac, newPath, firstLine, run, host);
}

int RebuildWas(const std::string& newPath, int firstLine, RunContext& run, JobHost& host)
{
    return RebuildSound(Packing::Was, newPath, firstLine, run, host);
}

void PackWac(const std::string& path, RunContext& run, JobHost& host) { PackSound(Packing::Wac, path, run, host); }

void PackWas(const std::string& path, RunContext& run, JobHost& host) { PackSound(Packing::Was, path, run, host); }

} // namespace packsmith
