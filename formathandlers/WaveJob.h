#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "FileStream.h"
#include "JobHost.h"
#include "BufferedReader.h"
#include "RunContext.h"

namespace packsmith {

// What the two packed wave handlers share: the input read front to back, the ".wav" of the
// same name in the target directory, the header copied from offset 8, and the decoded
// samples written through a buffer.
//
// The input is read before the output is created, so an input that cannot be read leaves
// an earlier output of the name alone; a job that fails later keeps what it wrote.
class WaveJob {
public:
    WaveJob(const std::string& inputPath, const RunContext& run);
    ~WaveJob();
    WaveJob(const WaveJob&) = delete;
    WaveJob& operator=(const WaveJob&) = delete;

    BufferedReader& Input() { return input_; }
    const std::string& InputPath() const { return inputPath_; }

    // Reads the 52 bytes in front of the samples and writes the wave header among them;
    // returns the first 4, which the packed wave format uses for its block count.
    std::uint32_t CopyWaveHeader();
    void Append(std::span<const std::uint8_t> bytes);
    // The next count bytes of the output, for the caller to fill before its next call.
    // Everything that can fail before they are filled must be done before asking for them,
    // or a failure would leave them unfilled in the output.
    std::span<std::uint8_t> Extend(std::uint64_t count);
    // Writes what is buffered and reports the finished output to the run.
    void Finish(JobHost& host);

private:
    void Flush();

    std::string inputPath_;
    std::string outputPath_;
    BufferedReader input_;
    FileStream output_;
    ByteBuffer buffer_;
    std::uint64_t written_ = 0;
};

} // namespace packsmith
