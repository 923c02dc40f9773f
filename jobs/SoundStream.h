#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "concurrency/StopToken.h"
#include "formats/wac/WacDecoder.h"
#include "formats/wave/WaveFile.h"
#include "io/ByteBuffer.h"
#include "io/FileStream.h"
#include "jobs/SoundContents.h"
#include "jobs/SoundSeekIndex.h"

namespace packsmith {

// A packed sound decoded as it is read: the samples the extraction would write, handed out
// a piece at a time, from the start or from any byte of them. It holds one block or chunk
// decoded and a window of the file (grown only for a chunk larger than the window), so its
// memory is the same for a sound of any length. Passing places it remembers in a seek index,
// from which a later Seek picks up instead of decoding everything before. A file that turns
// out damaged fails with a PackError naming it.
class SoundStream {
public:
    // Summarises the file (a PackError naming it when it is not a sound of the kind).
    SoundStream(const std::string& path, bool music);

    const SoundSummary& Summary() const { return summary_; }
    // The 44-byte wave header the file stores.
    const std::array<std::uint8_t, kWaveHeaderBytes>& Header() const { return header_; }
    // Decoded bytes before the next one handed out.
    std::uint64_t Position() const { return position_; }
    bool AtEnd() const { return position_ >= summary_.DecodedBytes; }

    // The next decoded bytes, at most maxBytes and at least one unless at the end; valid
    // until the next call. Leaves with JobStopped when stop is raised inside a long chunk.
    std::span<const std::uint8_t> Next(std::size_t maxBytes, const StopToken& stop = {});
    // Goes to decoded byte position (the end at most), from the nearest checkpoint before it.
    void Seek(std::uint64_t position, const StopToken& stop = {});

    const SoundSeekIndex& Index() const { return index_; }
    // The bytes it holds besides the index: the file window and the decoded unit.
    std::size_t BufferBytes() const { return window_.capacity() + unit_.capacity(); }

private:
    void DecodeNextUnit(const StopToken& stop);
    void DecodeWacUnit();
    void DecodeWasUnit(const StopToken& stop);
    std::span<const std::uint8_t> FileBytes(std::uint64_t offset, std::size_t count);
    void StartFrom(const SoundCheckpoint& point);

    std::string path_;
    SoundSummary summary_;
    std::array<std::uint8_t, kWaveHeaderBytes> header_{};
    FileStream file_;
    std::uint64_t fileSize_ = 0;

    ByteBuffer window_;          // file bytes from windowAt_
    std::uint64_t windowAt_ = 0;
    std::size_t windowBytes_ = 0;

    ByteBuffer unit_;            // the current unit decoded
    std::size_t unitBytes_ = 0;
    std::size_t unitRead_ = 0;   // how much of it is handed out
    std::uint64_t position_ = 0; // decoded bytes before unit_[unitRead_]
    std::uint64_t nextOffset_ = kWaveDataAt; // where the next unit begins in the file
    std::uint64_t nextUnit_ = 0;
    WacDecoderState state_;
    SoundSeekIndex index_;
};

} // namespace packsmith
