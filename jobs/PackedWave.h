#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/BufferedReader.h"
#include "jobs/DecodedSink.h"
#include "jobs/JobHost.h"

namespace packsmith {

// Refuses a ".wac" whose block count cannot be true: some other file under the extension.
void CheckIsPackedWav(const std::string& path, std::uint32_t blockCount, std::uint64_t size);

// The coded bytes of block (of blockCount) of a packed wave file, which input is at the start
// of (valid until the next read); false with what is wrong in problem when the file ends
// inside it or it gives a size no block has.
bool TakeWacBlock(BufferedReader& input, std::uint32_t block, std::uint32_t blockCount,
                  std::span<const std::uint8_t>& coded, std::string& problem);

// The blocks of a packed wave file, read from just after its 8 + 44 leading bytes, decoded
// into out; a file that ends before its last block fails there, with where it ended.
void DecodeWacBlocks(BufferedReader& input, std::uint32_t blockCount, DecodedSink& out, JobHost& host);

} // namespace packsmith
