#include "jobs/PackedMusic.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "concurrency/Pipeline.h"
#include "formats/was/MusicChunks.h"
#include "formats/was/WasDecoder.h"

namespace packsmith {

namespace {

// The next chunk's coded bytes (valid until the next read) and, in decodedBytes, how many
// bytes it decodes to; the failures of a chunk that cannot be one.
std::span<const std::uint8_t> NextChunk(BufferedReader& input, const std::string& path, std::size_t& decodedBytes)
{
    const std::uint64_t offset = input.Position();
    const auto header = input.Take(std::min<std::uint64_t>(kMusicChunkHeaderBytes, input.Remaining()));
    const MusicChunk chunk = ReadMusicChunk(header, offset, input.Size(), path);
    decodedBytes = chunk.DecodedBytes;
    return input.Take(chunk.CodedBytes);
}

} // namespace

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
