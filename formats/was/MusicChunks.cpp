#include "formats/was/MusicChunks.h"

#include <array>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/was/WasDecoder.h"
#include "formats/wave/WaveFile.h"
#include "io/FileStream.h"

namespace packsmith {

std::optional<MusicChunk> ParseMusicChunk(std::span<const std::uint8_t, kMusicChunkHeaderBytes> header,
                                          std::uint64_t offset)
{
    const auto coded = static_cast<std::int32_t>(LoadLE32(header.data()));
    const auto decoded = static_cast<std::int32_t>(LoadLE32(header.data() + 4));
    if (coded < 0 || decoded < 0)
        return std::nullopt;
    return MusicChunk{offset, static_cast<std::uint32_t>(coded), static_cast<std::uint32_t>(decoded)};
}

MusicChunk ReadMusicChunk(std::span<const std::uint8_t> header, std::uint64_t offset, std::uint64_t fileSize,
                          const std::string& path)
{
    const std::string where = "the chunk at offset " + std::to_string(offset);
    if (header.size() < kMusicChunkHeaderBytes)
        ThrowReadError("the file ends inside " + where);
    const auto chunk = ParseMusicChunk(header.first<kMusicChunkHeaderBytes>(), offset);
    if (!chunk)
        ThrowReadError(where + " gives a negative size");
    if (fileSize - offset - kMusicChunkHeaderBytes < chunk->CodedBytes)
        ThrowReadError("the file ends inside " + where);
    // A few coded bytes must not be able to demand gigabytes.
    if (chunk->DecodedBytes > MaxWasDecodedBytes(chunk->CodedBytes))
        throw PackError("Corrupt chunk at offset " + std::to_string(offset) + " of " + path + ": " +
                        std::to_string(chunk->DecodedBytes) + " decoded bytes cannot come from " +
                        std::to_string(chunk->CodedBytes) + " coded bytes");
    return *chunk;
}

bool HoldsMusicChunks(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    std::uint64_t at = kWaveDataAt;
    std::array<std::uint8_t, kMusicChunkHeaderBytes> header;
    while (at + header.size() <= size) {
        file.SetPosition(static_cast<std::int64_t>(at));
        file.ReadBuffer(header);
        const auto chunk = ParseMusicChunk(header, at);
        if (!chunk)
            return false;
        at = chunk->End();
    }
    return at == size && size > kWaveDataAt;
}

} // namespace packsmith
