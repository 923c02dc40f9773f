#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "decomp/ByteOrder.h"

namespace packsmith {

// The table of 64 recently used sample values of a packed music chunk, shared by the
// decoder and the encoder so both follow the same rules.
//
// A literal goes into the insert slot. Referring to an entry (by a repeat or a table
// reference) stamps it with the time of the reference; when the insert slot itself is
// referred to, the next literal goes into the entry with the oldest stamp, entries never
// referred to first, lowest index first. Only that choice searches the table, and it is
// rare next to the codes that merely stamp an entry.
class WasTable {
public:
    static constexpr unsigned kEntries = 64;

    WasTable() { Reset(); }

    void Reset()
    {
        samples_.fill(0);
        lastUse_.fill(0);
        clock_ = 0;
        insert_ = 0;
        last_ = 0;
    }

    unsigned InsertSlot() const { return insert_; }
    unsigned LastSlot() const { return last_; }
    std::int16_t SampleAt(unsigned i) const { return samples_[i]; }

    // A literal: stored in the insert slot, which produced the sample.
    std::int16_t Literal(std::int16_t sample)
    {
        samples_[insert_] = sample;
        last_ = insert_;
        return sample;
    }
    // A repeat: the sample just produced again (0 before any), from the entry that produced it.
    std::int16_t Repeat()
    {
        Refer(last_);
        return samples_[last_];
    }
    // A table reference to entry i.
    std::int16_t Reference(unsigned i)
    {
        last_ = i;
        Refer(i);
        return samples_[i];
    }

    // Decodes up to count codes into out (two bytes each) and returns how many it decoded.
    // Windows of 64 bits are loaded big-endian from bytes, which begins at the chunk's byte
    // firstByte, while the position is below stopBit; each serves PerWindow codes (at most
    // four: a window holds at least 57 valid bits, a code at most 13). The scalars live in
    // locals: kept in the object, every output store (which may alias it) would send them
    // through memory at every code.
    template <std::size_t PerWindow>
    std::size_t DecodeCodes(const std::uint8_t* bytes, std::size_t firstByte, std::uint64_t stopBit, std::uint8_t* out,
                            std::size_t count, std::uint64_t& positionInOut)
    {
        std::uint64_t position = positionInOut;
        unsigned insert = insert_;
        unsigned last = last_;
        std::uint64_t clock = clock_;
        std::size_t done = 0;
        while (done < count && position < stopBit) {
            std::uint64_t window = LoadBE64(bytes + (position / 8 - firstByte)) << (position % 8);
            const std::size_t codes = std::min(PerWindow, count - done);
            // Every code in a window starts inside the chunk when the window was loaded below
            // stopBit from the chunk itself; one code a window near its end, from the padding.
            for (std::size_t k = 0; k < codes; ++k) {
                // 0 and 12 bits: a literal; 11: a repeat; 10 and 6 bits: a reference.
                std::int16_t sample;
                unsigned length;
                if ((window >> 63) == 0) {
                    sample = static_cast<std::int16_t>(static_cast<std::uint16_t>((window >> 51) << 4));
                    samples_[insert] = sample;
                    last = insert;
                    length = 13;
                } else {
                    const bool repeat = (window >> 62) == 3;
                    last = repeat ? last : static_cast<unsigned>(window >> 56) & (kEntries - 1);
                    sample = samples_[last];
                    lastUse_[last] = ++clock;
                    if (last == insert) [[unlikely]]
                        insert = Oldest();
                    length = repeat ? 2 : 8;
                }
                position += length;
                window <<= length;
                StoreLE16(out + 2 * done++, static_cast<std::uint16_t>(sample));
            }
        }
        positionInOut = position;
        insert_ = insert;
        last_ = last;
        clock_ = clock;
        return done;
    }

private:
    void Refer(unsigned i)
    {
        lastUse_[i] = ++clock_;
        if (i == insert_)
            insert_ = Oldest();
    }

    // The entry with the oldest stamp, the lowest index among equals.
    unsigned Oldest() const
    {
        unsigned oldest = 0;
        for (unsigned i = 1; i < kEntries; ++i)
            oldest = lastUse_[i] < lastUse_[oldest] ? i : oldest;
        return oldest;
    }

    std::array<std::int16_t, kEntries> samples_;
    // 64-bit stamps: a chunk of 2 GB holds more references than 32 bits can count.
    std::array<std::uint64_t, kEntries> lastUse_;
    std::uint64_t clock_ = 0;
    unsigned insert_ = 0;
    unsigned last_ = 0;
};

} // namespace packsmith
