#include "formats/sound/SoundReader.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <memory>
#include <sndfile.h>
#include <vector>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "platform/FileSystem.h"
#include "platform/SystemFile.h"

namespace packsmith {

namespace {

struct SndfileClose {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SndfileClose>;

// The bytes of samples a WAV file's data chunk claims, when they are more than the file
// holds after the chunk's header (libsndfile then reads what is there, saying nothing);
// 0 otherwise. The file is read at offsets, its position left alone.
std::uint64_t OverclaimedWaveData(SystemFile& file, std::uint64_t fileSize)
{
    int error = 0;
    std::uint8_t header[12];
    if (file.ReadAt(0, header, error) != sizeof header ||
        std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return 0;
    for (std::uint64_t at = 12; at + 8 <= fileSize;) {
        std::uint8_t chunk[8];
        if (file.ReadAt(static_cast<std::int64_t>(at), chunk, error) != sizeof chunk)
            return 0;
        const std::uint64_t size = LoadLE32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0)
            return size > fileSize - at - 8 ? size : 0;
        at += 8 + size + (size & 1); // chunks are padded to even sizes
    }
    return 0;
}

// Frames read at a time: between two looks at the stop request.
constexpr sf_count_t kChunkFrames = 16384;

// Why libsndfile could not read a file of fileSize bytes, in words for the user. Its texts
// for files it does not know or finds malformed say what they should; those that speak of its
// own structures and calls ("SF_INFO struct incomplete") are put in terms of the file. Its
// texts end in a full stop, which reads badly inside the brackets.
std::string SndfileCause(SNDFILE* file, std::uint64_t fileSize)
{
    std::string text = sf_strerror(file);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    const auto says = [&](const char* words) { return text.find(words) != std::string::npos; };
    if (fileSize == 0)
        return "the file is empty";
    if (says("malloc"))
        return std::strerror(ENOMEM);
    if (says("struct incomplete"))
        return "its header gives no usable sample rate, channel count or sample format";
    if (says("SF_PRIVATE field"))
        return "its header places or sizes the sound where it cannot be";
    if (says("karma") || says("seek") || says("Internal") || says("internal") || says("SF_") || says("sf_"))
        return "the file is damaged where its sound is described";
    return text;
}

[[noreturn]] void ThrowCannotRead(const std::string& path, const std::string& cause)
{
    throw PackError("Cannot read the sound file " + path + " (" + cause + ")");
}

[[noreturn]] void ThrowUnusable(const std::string& path, const std::string& what)
{
    throw PackError("The sound file " + path + " " + what);
}

std::string KindOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "8-bit";
    case SF_FORMAT_PCM_16:
        return "16-bit";
    case SF_FORMAT_PCM_24:
        return "24-bit";
    case SF_FORMAT_PCM_32:
        return "32-bit";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    default:
        break;
    }
    // The compressed kinds go by libsndfile's own names ("Vorbis", "IMA ADPCM"...).
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr)
        return info.name;
    return "compressed sound";
}

void CheckShape(const std::string& path, const SF_INFO& info)
{
    if (info.channels < 1 || info.channels > kMaxSoundChannels)
        ThrowUnusable(path, "has " + std::to_string(info.channels) + " channels (from 1 to " +
                                std::to_string(kMaxSoundChannels) + " can be packed)");
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate)
        ThrowUnusable(path, "has an unusable sample rate (" + std::to_string(info.samplerate) + " Hz)");
    if (info.frames <= 0)
        ThrowUnusable(path, "holds no sound");
    // Said before anything is allocated: a damaged or hostile header must not cost the memory
    // it claims.
    const std::uint64_t frameBytes = 2 * static_cast<std::uint64_t>(info.channels);
    if (static_cast<std::uint64_t>(info.frames) > kMaxSoundBytes / frameBytes)
        ThrowUnusable(path, "is too long to pack (" + std::to_string(info.frames) + " frames)");
}

} // namespace

Pcm16 ReadSoundFile(const std::string& path, const StopToken& stop, const Progress& progress)
{
    // Only a regular file is read: a directory opens like a file and fails only when read,
    // with a text that hides why, and a pipe or device could keep the reader waiting for
    // ever. O_NONBLOCK keeps the open of a FIFO from waiting for a writer.
    int error = 0;
    SystemFile input(path, SystemFile::Access::Read, error);
    if (error != 0)
        ThrowCannotRead(path, CauseOf(error == kNotRegularFile && KindOf(path, true) == PathKind::Directory ? EISDIR
                                                                                                          : error));
    input.ReadWaiting();
    const auto size = static_cast<std::uint64_t>(input.OpenedSize());

    SF_INFO info{};
    const LentDescriptor descriptor(input);
    const SoundFile file(sf_open_fd(descriptor.Get(), SFM_READ, &info, SF_FALSE));
    if (!file)
        ThrowCannotRead(path, SndfileCause(nullptr, size));
    CheckShape(path, info);

    Pcm16 pcm;
    pcm.Channels = info.channels;
    pcm.SampleRate = info.samplerate;
    pcm.Kind = KindOf(info.format);

    // The header's length is only a promise. Where the file is large enough to keep it (at a
    // byte a sample at least, as every uncompressed kind takes), the whole length is reserved
    // at once: growing a long sound by doubling copies it over and over, and a stop waits for
    // each copy. Otherwise start modestly and grow with what is really there.
    const auto channels = static_cast<std::size_t>(info.channels);
    const std::size_t promised = static_cast<std::size_t>(info.frames) * channels;
    const bool credible = promised <= size;
    pcm.Samples.reserve(credible ? promised : std::min(promised, std::size_t{1} << 22));

    // Doubles, because libsndfile scales every integer kind by its own full scale (0x8000 for
    // 16-bit, 0x800000 for 24-bit...) and any such sample is exact in a double: times 32768
    // gives a 16-bit file's samples back unchanged and a wider file's rounded to nearest.
    std::vector<double> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
    for (sf_count_t left = info.frames; left > 0;) {
        stop.ThrowIfStopped();
        if (progress)
            progress(static_cast<std::uint64_t>(info.frames - left), static_cast<std::uint64_t>(info.frames));
        const sf_count_t got = sf_readf_double(file.get(), chunk.data(), std::min(left, kChunkFrames));
        if (got <= 0)
            break;
        const std::size_t at = pcm.Samples.size();
        const std::size_t count = static_cast<std::size_t>(got) * channels;
        pcm.Samples.resize(at + count);
        for (std::size_t i = 0; i < count; ++i)
            pcm.Samples[at + i] = RoundToPcm16(chunk[i] * 32768.0);
        left -= got;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        ThrowCannotRead(path, SndfileCause(file.get(), size));
    if (pcm.Samples.empty())
        ThrowUnusable(path, "holds no sound");
    if (const std::uint64_t claimed = OverclaimedWaveData(input, size))
        pcm.Damage = "its data chunk claims " + std::to_string(claimed) + " bytes of sound, more than the file holds; " +
                     std::to_string(pcm.Frames()) + " frames were read";
    return pcm;
}

} // namespace packsmith
