#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace packsmith {

// A packed music file holds, after its leading bytes, chunk after chunk to its very end:
// each an 8-byte header (its coded and its decoded size in bytes, signed little-endian)
// and then its coded bytes. Chunks decode on their own.
inline constexpr std::size_t kMusicChunkHeaderBytes = 8;

struct MusicChunk {
    std::uint64_t Offset = 0; // where its header begins
    std::uint32_t CodedBytes = 0;
    std::uint32_t DecodedBytes = 0;
    // Where the next chunk's header begins.
    std::uint64_t End() const { return Offset + kMusicChunkHeaderBytes + CodedBytes; }
};

// The sizes that the 8-byte header of the chunk at offset gives, unless one is negative.
std::optional<MusicChunk> ParseMusicChunk(std::span<const std::uint8_t, kMusicChunkHeaderBytes> header,
                                          std::uint64_t offset);

// The chunk whose header begins at offset of a file of fileSize bytes; header holds the
// bytes that lie there, all 8 of them unless the file ends sooner. A file that ends inside
// the chunk and a negative size are read errors; a decoded size its coded bytes cannot
// give is a corrupt chunk of path.
MusicChunk ReadMusicChunk(std::span<const std::uint8_t> header, std::uint64_t offset, std::uint64_t fileSize,
                          const std::string& path);

// Whether what follows the leading bytes of the file at path chains, chunk by chunk,
// exactly to its end, as the chunks of a packed music file do.
bool HoldsMusicChunks(const std::string& path);

} // namespace packsmith
