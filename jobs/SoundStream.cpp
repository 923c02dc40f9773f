#include "jobs/SoundStream.h"

#include <algorithm>
#include <cstdint>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/was/MusicChunks.h"
#include "formats/was/WasDecoder.h"

namespace packsmith {

namespace {

// File bytes read at a time: many blocks or chunks a read, and little memory.
constexpr std::size_t kWindowBytes = std::size_t{256} << 10;

SoundSummary SummaryOf(const std::string& path, bool music)
{
    try {
        return music ? SummarisePackedMusic(path) : SummarisePackedWav(path);
    } catch (const PackError& e) {
        throw PackError(About(path, e.what()));
    }
}

} // namespace

SoundStream::SoundStream(const std::string& path, bool music)
    : path_(path), summary_(SummaryOf(path, music)),
      file_(path, FileStream::Mode::OpenRead), fileSize_(static_cast<std::uint64_t>(file_.Size()))
{
    try {
        file_.ReadAt(kWavePrefixBytes, header_);
    } catch (const PackError& e) {
        throw PackError(About(path_, e.what()));
    }
}

std::span<const std::uint8_t> SoundStream::Next(std::size_t maxBytes, const StopToken& stop)
{
    if (AtEnd() || maxBytes == 0)
        return {};
    try {
        while (unitRead_ == unitBytes_)
            DecodeNextUnit(stop);
    } catch (const PackError& e) {
        throw PackError(About(path_, e.what()));
    }
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>({maxBytes, unitBytes_ - unitRead_, summary_.DecodedBytes - position_}));
    const std::span<const std::uint8_t> piece(unit_.data() + unitRead_, count);
    unitRead_ += count;
    position_ += count;
    return piece;
}

void SoundStream::Seek(std::uint64_t position, const StopToken& stop)
{
    position = std::min(position, summary_.DecodedBytes);
    const std::uint64_t unitStart = position_ - unitRead_;
    if (position >= unitStart && position <= unitStart + unitBytes_) {
        unitRead_ = static_cast<std::size_t>(position - unitStart);
        position_ = position;
        return;
    }
    // Decoding on from here is the shorter way when no checkpoint lies between.
    const SoundCheckpoint* point = index_.Before(position);
    if (position < position_ || (point && point->Decoded > unitStart))
        StartFrom(point ? *point : SoundCheckpoint{0, kWaveDataAt, 0, {}});
    while (position_ < position) {
        const std::uint64_t left = position - position_;
        if (Next(static_cast<std::size_t>(std::min<std::uint64_t>(left, SIZE_MAX)), stop).empty())
            break;
    }
}

void SoundStream::StartFrom(const SoundCheckpoint& point)
{
    position_ = point.Decoded;
    nextOffset_ = point.Offset;
    nextUnit_ = point.Unit;
    state_ = point.State;
    unitBytes_ = 0;
    unitRead_ = 0;
}

void SoundStream::DecodeNextUnit(const StopToken& stop)
{
    index_.Offer({position_, nextOffset_, nextUnit_, state_});
    if (summary_.Chunked)
        DecodeWasUnit(stop);
    else
        DecodeWacUnit();
    unitRead_ = 0;
    ++nextUnit_;
}

void SoundStream::DecodeWacUnit()
{
    const std::string where = "block " + std::to_string(nextUnit_ + 1) + " of " + std::to_string(summary_.Units);
    if (nextUnit_ >= summary_.Units || fileSize_ - nextOffset_ < 2)
        ThrowReadError("the file ends inside " + where);
    const std::uint16_t blockSize = LoadLE16(FileBytes(nextOffset_, 2).data());
    if (fileSize_ - nextOffset_ - 2 < blockSize)
        ThrowReadError(blockSize > kWacMaxCodedBytes ? where + " gives a size of " + std::to_string(blockSize) +
                                                           " bytes, which runs past the end of the file"
                                                     : "the file ends inside " + where);
    if (unit_.size() < kWacBlockBytes)
        ResizeBuffer(unit_, kWacBlockBytes);
    DecodeWacBlock(FileBytes(nextOffset_ + 2, blockSize), std::span(unit_).first<kWacBlockBytes>(), state_);
    unitBytes_ = kWacBlockBytes;
    nextOffset_ += 2 + std::uint64_t{blockSize};
}

void SoundStream::DecodeWasUnit(const StopToken& stop)
{
    // The chunks were all there when the file was summarised; one missing now means the
    // file changed since.
    if (nextOffset_ >= fileSize_)
        ThrowReadError("the file ends before its last chunk");
    const auto headerBytes = static_cast<std::size_t>(std::min<std::uint64_t>(kMusicChunkHeaderBytes, fileSize_ - nextOffset_));
    const MusicChunk chunk = ReadMusicChunk(FileBytes(nextOffset_, headerBytes), nextOffset_, fileSize_, path_);
    if (unit_.size() < chunk.DecodedBytes)
        ResizeBuffer(unit_, chunk.DecodedBytes);
    DecodeWasChunk(FileBytes(nextOffset_ + kMusicChunkHeaderBytes, chunk.CodedBytes),
                   std::span(unit_).first(chunk.DecodedBytes), stop);
    unitBytes_ = chunk.DecodedBytes;
    nextOffset_ = chunk.End();
}

std::span<const std::uint8_t> SoundStream::FileBytes(std::uint64_t offset, std::size_t count)
{
    // The callers never ask for bytes past the end of the file.
    if (offset < windowAt_ || offset + count > windowAt_ + windowBytes_) {
        const std::size_t wanted = std::max(kWindowBytes, count);
        if (window_.size() < wanted)
            ResizeBuffer(window_, wanted);
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), fileSize_ - offset));
        windowAt_ = offset;
        windowBytes_ = 0;
        file_.ReadAt(static_cast<std::int64_t>(offset), std::span(window_).first(bytes));
        windowBytes_ = bytes;
    }
    return {window_.data() + (offset - windowAt_), count};
}

} // namespace packsmith
