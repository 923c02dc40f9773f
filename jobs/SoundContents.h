#pragma once

#include <cstdint>
#include <string>

namespace packsmith {

// What a packed sound file holds, from its leading bytes and (for packed music) its chunk
// headers: nothing is decoded. SoundStream decodes it.
struct SoundSummary {
    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0;
    std::uint16_t BitsPerSample = 0;
    bool Chunked = false;   // packed music: chunks; packed wave: blocks
    std::uint64_t Units = 0; // blocks or chunks
    std::uint64_t CodedBytes = 0;   // after the leading 8 + 44 bytes
    std::uint64_t DecodedBytes = 0; // the samples the extraction writes after the header
    // The playing time; 0 when the header gives no rate or frame size.
    double Seconds() const;
};

// The summary of a ".wac" or ".was" file; a PackError naming the file when it is not one.
SoundSummary SummarisePackedWav(const std::string& path);
SoundSummary SummarisePackedMusic(const std::string& path);

} // namespace packsmith
