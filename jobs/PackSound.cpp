#include "jobs/PackSound.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "concurrency/Pipeline.h"
#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "formats/sound/SoundConversion.h"
#include "formats/sound/SoundReader.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "formats/wave/WaveFile.h"
#include "formats/wave/WaveHeader.h"
#include "io/ByteBuffer.h"
#include "io/OutputFile.h"
#include "jobs/PackedMusic.h"
#include "jobs/ListedPath.h"
#include "jobs/PackedWave.h"
#include "jobs/ResultLog.h"
#include "jobs/StepHost.h"
#include "platform/FileSystem.h"

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

PackedSource ReadPacked(Packing packing, const std::string& path, JobHost& host)
{
    BufferedReader input(path);
    if (input.Remaining() < kWaveDataAt)
        ThrowReadError("the file ends inside its header");
    const auto front = input.Take(kWaveDataAt);
    PackedSource source;
    std::copy_n(front.begin(), kWavePrefixBytes, source.Prefix.begin());
    // The wave header's channel count and rate, where they make sense.
    const std::uint8_t* header = front.data() + kWavePrefixBytes;
    const int channels = LoadLE16(header + wave_header::kChannelsAt);
    const auto rate = static_cast<int>(LoadLE32(header + wave_header::kSampleRateAt));
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

// A worker's state while packing: the packed wave's decoder state runs on from block to
// block, so its pieces are coded one after the other on one worker.
struct PackingState {
    WacDecoderState Wac;
};

// Consecutive samples to code as one piece: a whole number of blocks or chunks.
struct Piece {
    std::size_t First = 0;
    std::size_t Count = 0;
};

struct CodedPiece {
    std::vector<std::uint8_t> Bytes;
    std::size_t End = 0; // the sample after the piece
};

// Samples coded as one piece, about: a few milliseconds of coding, so that a stop is seen
// soon and the file bar moves.
constexpr std::size_t kPieceSamples = std::size_t{1} << 18;

// Codes the sound into out, the packed file of packing with the leading bytes, rate and
// channels of like, writing it as it is coded. Packed music's chunks are coded side by
// side; a packed wave's blocks depend on each other and are coded one after the other on
// one worker, while this thread writes.
void WritePacked(Packing packing, const Pcm16& sound, const PackedSource& like, OutputFile& out, JobHost& host,
                 unsigned workers)
{
    const std::span<const std::int16_t> samples(sound.Samples);
    const auto header = MakeWaveHeader({static_cast<std::uint16_t>(sound.Channels),
                                        static_cast<std::uint32_t>(sound.SampleRate)},
                                       static_cast<std::uint32_t>(samples.size() * 2));
    const std::size_t perChunk = like.SamplesPerChunk ? like.SamplesPerChunk : 4096;
    const std::size_t unit = packing == Packing::Wac ? kWacSamplesPerBlock : perChunk;
    const std::size_t pieceSamples = unit * std::max<std::size_t>(1, kPieceSamples / unit);
    const auto front = packing == Packing::Wac ? WacFileFront(samples.size(), like.Prefix, header)
                                               : WasFileFront(samples.size(), like.Prefix, header, perChunk);
    out.Stream().WriteBuffer(front);
    std::uint64_t written = front.size();

    Pipeline<Piece, CodedPiece, PackingState>::Steps steps;
    steps.Process = [&](PackingState& state, Piece& piece, const StopToken& stop) {
        CodedPiece coded;
        const auto part = samples.subspan(piece.First, piece.Count);
        if (packing == Packing::Wac)
            EncodeWacBlocks(part, state.Wac, coded.Bytes);
        else
            EncodeWasChunks(part, piece.First / perChunk, perChunk, {}, coded.Bytes, stop);
        coded.End = piece.First + piece.Count;
        return coded;
    };
    steps.Commit = [&](CodedPiece& coded) {
        out.Stream().WriteBuffer(coded.Bytes);
        written += coded.Bytes.size();
        host.ShowBytesWritten(written);
        host.ShowFileProgressOf(coded.End, samples.size());
    };
    const PipelineLimits limits{packing == Packing::Wac ? std::min(workers, 1u) : workers};
    Pipeline<Piece, CodedPiece, PackingState>::Run(limits, host.Stop(), steps, [&](auto& pipeline) {
        for (std::size_t first = 0; first < samples.size(); first += pieceSamples)
            pipeline.Give({first, std::min(pieceSamples, samples.size() - first)});
    });
}

std::string Joined(const std::string& first, const std::string& second)
{
    return second.empty() ? first : first + ", " + second;
}

// Copies the file whole into to, a piece at a time, so that a stop is seen within a piece.
std::uint64_t CopyWhole(const std::string& from, const std::string& to, JobHost& host)
{
    constexpr std::uint64_t kPieceBytes = std::uint64_t{8} << 20;
    FileStream source(from, FileStream::Mode::OpenRead);
    OutputFile out(to);
    const auto size = static_cast<std::uint64_t>(source.Size());
    for (std::uint64_t done = 0; done < size;) {
        CheckStop(host);
        const std::uint64_t piece = std::min(kPieceBytes, size - done);
        out.Stream().CopyFrom(source, piece);
        done += piece;
        host.ShowBytesWritten(done);
        host.ShowFileProgressOf(done, size);
    }
    out.Commit();
    return size;
}

// A sound file read in spite of damage is packed with a warning that says what was wrong.
void WarnOfDamage(const std::string& path, const Pcm16& sound, JobHost& host)
{
    if (!sound.Damage.empty())
        host.ReportWarning(path + ": " + sound.Damage);
}

int RebuildSound(Packing packing, const std::string& newPath, int firstLine, RunContext& run, JobHost& host)
{
    const std::string source = run.SourcePackStream->Path();
    RefuseOverInput(newPath, source);

    // The sound beside the log named after the source, unless the log names another under
    // the source (the extraction found a different file at that name and kept it).
    const bool listed = firstLine < run.ReplayList.Count() && !IsKeywordLine(run.ReplayList.At(firstLine)) &&
                        run.ReplayList.At(firstLine).find_first_not_of(" \t") != std::string::npos;
    const std::string edited =
        listed ? ResolveListedPath(run.ReplayList.At(firstLine), run.ReplayDirectory)
               : JoinPath(run.ReplayDirectory, ChangeFileExt(ExtractFileName(source), ".wav"));
    // A source named as its edited sound is, replayed into the log's folder.
    RefuseOverInput(newPath, edited);
    std::string detail;
    std::uint64_t bytes = 0;
    if (!PathExists(edited)) {
        // A sound has one edited file; without it the replay changes nothing, as one of a
        // pack whose listed pictures are all missing, and says so as that does.
        bytes = CopyWhole(source, newPath, host);
        detail = "copied, " + ExtractFileName(edited) + " not found";
        host.ReportWarning(source + ": its sound " + edited + " was not found; " + newPath +
                           " is a copy of it, unchanged");
    } else {
        // The bar: a third decoding the source, a third reading the edited sound, a third
        // writing the new file.
        StepHost decoding(host, 0, 33), reading(host, 33, 66), writing(host, 66, 100);
        const PackedSource packed = ReadPacked(packing, source, decoding);
        std::string converted;
        Pcm16 read = ReadSoundFile(edited, host.Stop(), reading.FileProgress());
        WarnOfDamage(edited, read, host);
        const Pcm16 sound = ConvertSound(std::move(read), packed.Channels, packed.SampleRate, converted, host.Stop());
        if (sound.Samples == packed.Samples) {
            bytes = CopyWhole(source, newPath, writing);
            detail = "copied, unchanged";
        } else {
            OutputFile out(newPath);
            WritePacked(packing, sound, packed, out, writing, WorkersFor(run));
            bytes = static_cast<std::uint64_t>(out.Stream().Size());
            out.Commit();
            detail = Joined("packed from " + ExtractFileName(edited), converted);
        }
    }
    host.ReportOutput(newPath, bytes, detail);
    return firstLine;
}

void PackSound(Packing packing, const std::string& path, RunContext& run, JobHost& host)
{
    CheckStop(host);
    host.SetStatus("Packing " + ExtractFileName(path) + "...");
    host.SetProgressMax(100);
    host.SetProgressPosition(0);
    // The bar: the first half reading (and fitting) the sound, the second writing the file.
    StepHost reading(host, 0, 50), writing(host, 50, 100);
    Pcm16 input = ReadSoundFile(path, host.Stop(), reading.FileProgress());
    WarnOfDamage(path, input, host);
    PackedSource like;
    like.Channels = std::min(input.Channels, 2);
    like.SampleRate = input.SampleRate;
    if (!run.PackLike.empty()) {
        // A failure there is about the file given with --like, not the sound being packed.
        try {
            like = ReadPacked(packing, run.PackLike, reading);
        } catch (const PackError& e) {
            throw PackError(About(run.PackLike, e.what()));
        }
    }
    std::string converted;
    const Pcm16 sound = ConvertSound(std::move(input), like.Channels, like.SampleRate, converted, host.Stop());
    const std::string output =
        JoinPath(run.TargetDirectory, ChangeFileExt(ExtractFileName(path), packing == Packing::Wac ? ".wac" : ".was"));
    RefuseOverInput(output, path);
    run.Files.Claim(output, path);
    OutputFile out(output);
    WritePacked(packing, sound, like, out, writing, WorkersFor(run));
    const auto bytes = static_cast<std::uint64_t>(out.Stream().Size());
    out.Commit();
    host.ReportOutput(output, bytes, Joined("packed", converted));
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
