#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "concurrency/Pipeline.h"
#include "io/BufferedReader.h"
#include "io/ByteBuffer.h"
#include "io/OutputFile.h"
#include "jobs/DecodedSink.h"
#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

// What the two packed wave handlers share: the input read front to back, the ".wav" of the
// same name in the target directory, the header copied from offset 8, and the decoded
// samples written through a buffer. Unless the run keeps a job to its own thread, full
// buffers are written on a thread of their own while the next ones are decoded. The
// status line names the input, and the "Extracted" count moves as the buffers are written.
//
// The ".wav" gets its name only when the job is done, so an earlier file of the name is
// replaced only by a complete one with the same bytes; one with other bytes stays, and the
// output takes the next free name (chord_0000.wav). A job that fails keeps what it
// decoded, as the tool always has, with a header that gives the size written, but only
// where no earlier file of the name was there: an earlier file is never destroyed by a
// failed job, and the message says that it was kept. A stopped job, and one that failed
// before it wrote anything, leave nothing.
class WaveJob final : public DecodedSink {
public:
    WaveJob(const std::string& inputPath, RunContext& run, JobHost& host);
    WaveJob(const WaveJob&) = delete;
    WaveJob& operator=(const WaveJob&) = delete;

    BufferedReader& Input() { return input_; }
    const std::string& InputPath() const { return inputPath_; }

    // Runs decode, which reads the input and appends to the output, writes what it
    // appended, and settles what is left of the output when it fails.
    void Decode(const std::function<void()>& decode);
    // Reads the 8 + 44 bytes in front of the samples ("Stream read error" when the file
    // ends first); valid until the next read.
    std::span<const std::uint8_t> ReadFront();
    // Writes the wave header that front holds at offset 8.
    void CopyWaveHeader(std::span<const std::uint8_t> front);
    void Append(std::span<const std::uint8_t> bytes);
    // The next count bytes of the output, for the caller to fill before its next call.
    // Everything that can fail before they are filled must be done before asking for them,
    // or a failure would leave them unfilled in the output.
    std::span<std::uint8_t> Extend(std::uint64_t count) override;
    void Put(ByteBuffer&& bytes) override;
    // Puts the finished output in place and reports it to the run.
    void Finish();

private:
    // Full buffers, written on a worker and handed back for the next ones.
    using Writing = Pipeline<ByteBuffer, ByteBuffer>;

    void Flush();
    [[noreturn]] void KeepPartial();
    void DescribeSamplesWritten();

    JobHost& host_;
    std::string inputPath_;
    std::string outputPath_;
    BufferedReader input_;
    OutputFile output_;
    PipelineLimits limits_;
    Writing::Steps steps_;
    Writing* writing_ = nullptr; // while Decode runs
    bool writeFailed_ = false;
    ByteBuffer buffer_;
    std::uint64_t handed_ = 0;  // bytes handed to the writer
    std::uint64_t written_ = 0; // of which written
    std::vector<ByteBuffer> spare_; // written buffers, for the next ones
};

} // namespace packsmith
