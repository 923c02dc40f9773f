#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "formathandlers/handlers/JobHost.h"
#include "io/BufferedReader.h"
#include "io/ByteBuffer.h"

namespace packsmith {

// Where decoded samples go: the next count bytes, for the decoder to fill before the next
// call. The extraction writes them to a ".wav"; the packer keeps them to compare.
class DecodedSink {
public:
    virtual ~DecodedSink() = default;
    virtual std::span<std::uint8_t> Extend(std::uint64_t count) = 0;
    // Appends bytes decoded elsewhere; a sink that writes them out may take them over
    // rather than copy them.
    virtual void Put(ByteBuffer&& bytes);
};

// Refuses a ".wac" whose block count cannot be true: some other file under the extension.
void CheckIsPackedWav(const std::string& path, std::uint32_t blockCount, std::uint64_t size);

// The blocks of a packed wave file, read from just after its 8 + 44 leading bytes, decoded
// into out; a file that ends before its last block fails there, with where it ended.
void DecodeWacBlocks(BufferedReader& input, std::uint32_t blockCount, DecodedSink& out, JobHost& host);

// The chunks of a packed music file, from just after its 8 + 44 leading bytes to its end,
// each decoded to its stated size into out. The chunks do not depend on each other: with
// workers, they are decoded side by side on that many threads and put into out in order
// (the same bytes as one by one). Both show on the host's file bar how far they have read
// the input. samplesPerChunk, when given, receives the first chunk's
// sample count (0 for none).
void DecodeWasChunks(BufferedReader& input, const std::string& path, DecodedSink& out, JobHost& host,
                     unsigned workers, std::uint32_t* samplesPerChunk = nullptr);

} // namespace packsmith
