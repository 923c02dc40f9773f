#include "formats/was/MusicChunks.h"

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/was/WasDecoder.h"
#include "formats/wave/WaveFile.h"
#include "io/FileStream.h"

namespace packsmith {

MusicChunk ReadMusicChunk(std::span<const std::uint8_t> header, std::uint64_t offset, std::uint64_t fileSize,
                          const std::string& path)
{
    const std::string where = "the chunk at offset " + std::to_string(offset);
    if (header.size() < kMusicChunkHeaderBytes)
        ThrowReadError("the file ends inside " + where);
    const auto coded = static_cast<std::int32_t>(LoadLE32(header.data()));
    const auto decoded = static_cast<std::int32_t>(LoadLE32(header.data() + 4));
    if (coded < 0 || decoded < 0)
        ThrowReadError(where + " gives a negative size");
    if (fileSize - offset - kMusicChunkHeaderBytes < static_cast<std::uint64_t>(coded))
        ThrowReadError("the file ends inside " + where);
    // A few coded bytes must not be able to demand gigabytes.
    if (static_cast<std::uint64_t>(decoded) > MaxWasDecodedBytes(static_cast<std::uint64_t>(coded)))
        throw PackError("Corrupt chunk at offset " + std::to_string(offset) + " of " + path + ": " +
                        std::to_string(decoded) + " decoded bytes cannot come from " + std::to_string(coded) +
                        " coded bytes");
    return {offset, static_cast<std::uint32_t>(coded), static_cast<std::uint32_t>(decoded)};
}

bool HoldsMusicChunks(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    std::uint64_t at = kWaveDataAt;
    std::uint8_t sizes[kMusicChunkHeaderBytes];
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

} // namespace packsmith
