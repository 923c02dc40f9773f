#pragma once

#include <cstdint>
#include <string>

#include "io/BufferedReader.h"
#include "jobs/DecodedSink.h"
#include "jobs/JobHost.h"

namespace packsmith {

// Refuses a ".wac" whose block count cannot be true: some other file under the extension.
void CheckIsPackedWav(const std::string& path, std::uint32_t blockCount, std::uint64_t size);

// The blocks of a packed wave file, read from just after its 8 + 44 leading bytes, decoded
// into out; a file that ends before its last block fails there, with where it ended.
void DecodeWacBlocks(BufferedReader& input, std::uint32_t blockCount, DecodedSink& out, JobHost& host);

} // namespace packsmith
