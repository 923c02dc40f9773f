#include "formathandlers/handlers/PackedWave.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "concurrency/Pipeline.h"
#include "decomp/ByteOrder.h"
#include "decomp/WacDecoder.h"
#include "decomp/WasDecoder.h"
#include "formathandlers/layout/WaveFile.h"
#include "io/FileStream.h"
#include "io/PackError.h"

namespace packsmith {

namespace {

// A block decodes in well under a microsecond; looking for a stop every 64 blocks keeps
// the check off the inner loop and a stop still takes effect at once.
constexpr std::uint32_t kBlocksBetweenStopChecks = 64;

std::string EndsInside(std::uint32_t block, std::uint32_t blockCount)
{
    return "the file ends inside block " + std::to_string(block + 1) + " of " + std::to_string(blockCount);
}

// Whether what follows the header chains, chunk by chunk, exactly to the end of the file,
// as the chunks of a packed music file do.
bool HoldsMusicChunks(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    std::uint64_t at = kWaveDataAt;
    std::uint8_t sizes[8];
    while (at + sizeof sizes <= size) {
        file.SetPosition(static_cast<std::int64_t>(at));
        file.ReadBuffer(sizes);
        const auto coded = static_cast<std::int32_t>(LoadLE32(sizes));
        if (coded < 0 || static_cast<std::int32_t>(LoadLE32(sizes + 4)) < 0)
            return false;
        at += sizeof sizes + static_cast<std::uint64_t>(coded);
    }
    return at == size && size > kWaveDataAt;
}

// The next chunk's coded bytes (valid until the next read) and, in decodedBytes, how many
// bytes it decodes to; the failures of a chunk that cannot be one.
std::span<const std::uint8_t> NextChunk(BufferedReader& input, const std::string& path, std::size_t& decodedBytes)
{
    const std::uint64_t chunkOffset = input.Position();
    const std::string where = "the chunk at offset " + std::to_string(chunkOffset);
    if (input.Remaining() < 8)
        ThrowReadError("the file ends inside " + where);
    const auto sizes = input.Take(8);
    const auto compressedSize = static_cast<std::int32_t>(LoadLE32(sizes.data()));
    const auto decompressedSize = static_cast<std::int32_t>(LoadLE32(sizes.data() + 4));
    if (compressedSize < 0 || decompressedSize < 0)
        ThrowReadError(where + " gives a negative size");
    if (input.Remaining() < static_cast<std::uint32_t>(compressedSize))
        ThrowReadError("the file ends inside " + where);
    const auto coded = input.Take(static_cast<std::uint32_t>(compressedSize));
    // A few coded bytes must not be able to demand gigabytes.
    if (static_cast<std::uint64_t>(decompressedSize) > MaxWasDecodedBytes(coded.size()))
        throw PackError("Corrupt chunk at offset " + std::to_string(chunkOffset) + " of " + path + ": " +
                        std::to_string(decompressedSize) + " decoded bytes cannot come from " +
                        std::to_string(compressedSize) + " coded bytes");
    decodedBytes = static_cast<std::size_t>(decompressedSize);
    return coded;
}

} // namespace

void CheckIsPackedWav(const std::string& path, std::uint32_t blockCount, std::uint64_t size)
{
    const std::string notWav = path + " is not a Packed WAV file: ";
    // Every block needs at least its two bytes of size.
    if (kWaveDataAt + 2 * std::uint64_t{blockCount} > size)
        throw PackError(notWav + "its " + std::to_string(blockCount) + " blocks cannot fit its " +
                        std::to_string(size) + " bytes");
    if (blockCount == 0 && HoldsMusicChunks(path))
        throw PackError(notWav + "it holds the chunks of a Packed Music file");
}

void DecodeWacBlocks(BufferedReader& input, std::uint32_t blockCount, DecodedSink& out, JobHost& host)
{
    // The state runs on from block to block.
    WacDecoderState state;
    for (std::uint32_t block = 0; block < blockCount; ++block) {
        if (block % kBlocksBetweenStopChecks == 0) {
            CheckStop(host);
            host.ShowFileProgressOf(input.Position(), input.Size());
        }
        if (input.Remaining() < 2)
            ThrowReadError(EndsInside(block, blockCount));
        const std::uint16_t blockSize = LoadLE16(input.Take(2).data());
        if (input.Remaining() < blockSize)
            ThrowReadError(EndsInside(block, blockCount));
        const auto coded = input.Take(blockSize);
        DecodeWacBlock(coded, out.Extend(kWacBlockBytes).first<kWacBlockBytes>(), state);
    }
}

void DecodedSink::Put(ByteBuffer&& bytes)
{
    const auto space = Extend(bytes.size());
    std::copy(bytes.begin(), bytes.end(), space.begin());
}

void DecodeWasChunks(BufferedReader& input, const std::string& path, DecodedSink& out, JobHost& host,
                     unsigned workers, std::uint32_t* samplesPerChunk)
{
    if (samplesPerChunk)
        *samplesPerChunk = 0;
    // Chunks go to the workers many at a time, so that handing them over and writing them
    // out costs little beside decoding them: a batch is closed at kBatchBytes of decoded
    // bytes or kBatchChunks chunks. Not more than kBytesInFlight decoded bytes are held,
    // unless one chunk alone is larger.
    constexpr std::size_t kBytesInFlight = std::size_t{64} << 20;
    constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
    constexpr std::size_t kBatchChunks = 256;
    struct Batch {
        ByteBuffer Coded;                                       // the chunks' coded bytes, one after the other
        std::vector<std::pair<std::size_t, std::size_t>> Sizes; // each chunk's coded and decoded bytes
        std::size_t Decoded = 0;
        std::uint64_t InputEnd = 0; // where the last chunk ends in the file
    };
    struct Decoded {
        ByteBuffer Bytes;
        std::uint64_t InputEnd = 0;
    };
    Pipeline<Batch, Decoded>::Steps steps;
    steps.Process = [](NoWorkerState&, Batch& batch, const StopToken& stop) {
        Decoded decoded;
        ResizeBuffer(decoded.Bytes, batch.Decoded);
        std::size_t from = 0, to = 0;
        for (const auto& [coded, size] : batch.Sizes) {
            stop.ThrowIfStopped();
            DecodeWasChunk(std::span(batch.Coded).subspan(from, coded), std::span(decoded.Bytes).subspan(to, size), stop);
            from += coded;
            to += size;
        }
        decoded.InputEnd = batch.InputEnd;
        return decoded;
    };
    steps.Commit = [&](Decoded& decoded) {
        out.Put(std::move(decoded.Bytes));
        host.ShowFileProgressOf(decoded.InputEnd, input.Size());
    };
    Pipeline<Batch, Decoded>::Run({workers, 0, kBytesInFlight}, host.Stop(), steps, [&](auto& pipeline) {
        Batch batch;
        const auto give = [&] {
            if (!batch.Sizes.empty()) {
                const std::size_t cost = batch.Decoded;
                pipeline.Give(std::exchange(batch, {}), cost);
            }
        };
        while (!input.AtEnd()) {
            CheckStop(host);
            std::span<const std::uint8_t> coded;
            std::size_t decodedBytes = 0;
            try {
                coded = NextChunk(input, path, decodedBytes);
            } catch (...) {
                // A chunk that cannot be read ends the decoding where it stands, as one by
                // one: the chunks before it go into the output first.
                give();
                throw;
            }
            if (samplesPerChunk && *samplesPerChunk == 0)
                *samplesPerChunk = static_cast<std::uint32_t>(decodedBytes / 2);
            batch.Coded.insert(batch.Coded.end(), coded.begin(), coded.end());
            batch.Sizes.emplace_back(coded.size(), decodedBytes);
            batch.Decoded += decodedBytes;
            batch.InputEnd = input.Position();
            if (batch.Decoded >= kBatchBytes || batch.Sizes.size() >= kBatchChunks)
                give();
        }
        give();
    });
}

} // namespace packsmith
