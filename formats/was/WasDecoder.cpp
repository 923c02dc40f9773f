#include "formats/was/WasDecoder.h"

#include <algorithm>
#include <array>

#include "core/ByteOrder.h"
#include "formats/AudioBitReader.h"
#include "formats/was/WasTable.h"

namespace packsmith {

void DecodeWasChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output, const StopToken& stop)
{
    WasTable table;
    table.DecodeChunk(coded, output, stop);
}

void WasTable::DecodeChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output, const StopToken& stop)
{
    // Samples between two looks at the stop request: about a millisecond of decoding.
    constexpr std::size_t kPieceSamples = std::size_t{1} << 20;
    Reset();
    const AudioBitSource source(coded);
    AudioBitReader reader;
    const std::uint64_t endBit = 8 * std::uint64_t{coded.size()};
    const std::size_t whole = output.size() / 2;
    std::size_t samples = 0;
    for (;;) {
        const std::size_t piece = std::min(kPieceSamples, whole - samples);
        const std::size_t done = DecodeCodes(source, reader, endBit, output.data() + 2 * samples, piece);
        samples += done;
        if (done < piece || samples == whole)
            break;
        stop.ThrowIfStopped();
    }
    std::size_t written = 2 * samples;
    // An odd size takes the low byte of the sample that straddles its end.
    if (samples == whole && output.size() % 2 == 1) {
        std::array<std::uint8_t, 2> last{};
        if (DecodeCodes(source, reader, endBit, last.data(), 1) == 1)
            output[written++] = last[0];
    }
    std::fill(output.begin() + static_cast<std::ptrdiff_t>(written), output.end(), 0);
}

std::size_t WasTable::DecodeCodes(const AudioBitSource& source, AudioBitReader& readerInOut, std::uint64_t stopBit,
                                  std::uint8_t* out, std::size_t count)
{
    // The state lives in locals: kept in the object, every output store (which may alias
    // it) would send it through memory at every code. The insert slot's sample, the one a
    // literal overwrites, is held in a register and written back when the slot moves.
    AudioBitReader reader = readerInOut;
    std::uint8_t* const newer = newer_.data();
    std::uint8_t* const older = older_.data();
    std::uint16_t* const samples = samples_.data();
    unsigned newest = newest_;
    unsigned insert = insert_;
    unsigned last = last_;
    std::uint32_t pending = samples[insert];
    std::uint32_t previous = samples[last];

    // 0 and 12 bits: a literal; 11: a repeat; 10 and 6 bits: a reference. Each kind takes
    // its own way: making every code pay for every kind, without jumps, costs more than the
    // jumps mispredicted where the kinds change (measured on coded speech, music and noise,
    // and on random bytes).
    const auto decodeOne = [&] {
        const std::uint64_t window = reader.Window;
        if (static_cast<std::int64_t>(window) >= 0) {
            pending = static_cast<std::uint32_t>(window >> 47) & 0xFFF0;
            last = insert;
            reader.Skip(13);
            return previous = pending;
        }
        const bool repeat = (window >> 62) == 3;
        const auto index = static_cast<unsigned>(window >> 56) & (kEntries - 1);
        const std::uint32_t referred = index == insert ? pending : samples[index];
        last = repeat ? last : index;
        previous = repeat ? previous : referred;
        MakeNewest(newer, older, newest, last);
        if (last == insert) [[unlikely]] {
            samples[insert] = static_cast<std::uint16_t>(pending);
            insert = newer[kEntries];
            pending = samples[insert];
        }
        const std::uint64_t afterReference = window << 8, afterRepeat = window << 2;
        reader.Count -= repeat ? 2 : 8;
        reader.Window = repeat ? afterRepeat : afterReference;
        return previous;
    };

    std::size_t done = 0;
    // Four codes of at most 13 bits a refill, with no test of the end: while 8 bytes
    // remain at the refill, all the bits in the window lie inside the chunk.
    constexpr std::size_t kCodesPerRefill = 4;
    while (done + kCodesPerRefill <= count && reader.Next + 8 <= source.Size()) {
        reader.Refill(source);
        const std::uint32_t s0 = decodeOne();
        const std::uint32_t s1 = decodeOne();
        StoreLE32(out + 2 * done, s0 | s1 << 16);
        const std::uint32_t s2 = decodeOne();
        const std::uint32_t s3 = decodeOne();
        StoreLE32(out + 2 * done + 4, s2 | s3 << 16);
        done += kCodesPerRefill;
    }
    // Near the end, one code at a time while one starts before stopBit.
    while (done < count) {
        reader.Refill(source);
        if (reader.Position() >= stopBit)
            break;
        StoreLE16(out + 2 * done++, static_cast<std::uint16_t>(decodeOne()));
    }

    samples[insert] = static_cast<std::uint16_t>(pending);
    readerInOut = reader;
    newest_ = newest;
    insert_ = insert;
    last_ = last;
    return done;
}

} // namespace packsmith
