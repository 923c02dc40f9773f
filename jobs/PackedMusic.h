#pragma once

#include <cstdint>
#include <string>

#include "io/BufferedReader.h"
#include "jobs/DecodedSink.h"
#include "jobs/JobHost.h"

namespace packsmith {

// The chunks of a packed music file, from just after its 8 + 44 leading bytes to its end,
// each decoded to its stated size into out. The chunks do not depend on each other: with
// workers, they are decoded side by side on that many threads and put into out in order
// (the same bytes as one by one). Both show on the host's file bar how far they have read
// the input. samplesPerChunk, when given, receives the first chunk's
// sample count (0 for none).
void DecodeWasChunks(BufferedReader& input, const std::string& path, DecodedSink& out, JobHost& host,
                     unsigned workers, std::uint32_t* samplesPerChunk = nullptr);

} // namespace packsmith
