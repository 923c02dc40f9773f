#include "formathandlers/handlers/ExtractWas.h"

#include "decomp/ByteOrder.h"
#include "io/PackError.h"
#include "decomp/WasDecoder.h"
#include "formathandlers/handlers/WaveJob.h"

namespace packsmith {

namespace {

// Every chunk up to the end of the file, each decoded to its stated size.
void DecodeChunks(WaveJob& job, const std::string& path, JobHost& host)
{
    BufferedReader& input = job.Input();
    job.CopyWaveHeader(job.ReadFront());
    while (!input.AtEnd()) {
        CheckStop(host);
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
        DecodeWasChunk(coded, job.Extend(static_cast<std::uint32_t>(decompressedSize)));
    }
}

} // namespace

void ExtractWas(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run);
    job.Decode([&] { DecodeChunks(job, path, host); });
    job.Finish(host);
}

} // namespace packsmith
