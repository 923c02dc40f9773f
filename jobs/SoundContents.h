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
    // For a described file: what is wrong with it after its header, and where ("" for
    // nothing); Units and DecodedBytes then count what comes before that.
    std::string Problem;
    // The playing time; 0 when the header gives no rate or frame size.
    double Seconds() const;
};

// The summary of a ".wac" or ".was" file; a PackError naming the file when it is not one.
// Only a packed music file's chunk headers are read, not a packed wave file's blocks.
SoundSummary SummarisePackedWav(const std::string& path);
SoundSummary SummarisePackedMusic(const std::string& path);
// The same for a listing, which is to say what an extraction would find: every block or
// chunk header is read, and a file damaged after its header (cut short, a size no block or
// chunk can have) is described up to the damage, with Problem saying what and where.
SoundSummary DescribePackedWav(const std::string& path);
SoundSummary DescribePackedMusic(const std::string& path);

} // namespace packsmith
