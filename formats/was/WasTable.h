#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "concurrency/StopToken.h"
#include "formats/AudioBitReader.h"

namespace packsmith {

// The table of 64 recently used sample values of a packed music chunk, shared by the
// decoder and the encoder so both follow the same rules.
//
// A literal goes into the insert slot. Referring to an entry (by a repeat or a table
// reference) stamps it with the time of the reference; when the insert slot itself is
// referred to, the next literal goes into the entry with the oldest stamp, entries never
// referred to first, lowest index first.
//
// Stamps only ever grow, so the entries in the order of their stamps are the order of their
// last use: a list kept in that order, an entry moved to its newest end when referred to,
// has the entry to choose at its oldest end, with no search and no stamps to run out. It
// starts in index order, as entries never referred to are taken lowest index first.
class WasTable {
public:
    static constexpr unsigned kEntries = 64;

    WasTable() { Reset(); }

    void Reset()
    {
        samples_.fill(0);
        // Entry kEntries closes the ring: newer_ of it is the oldest entry.
        for (unsigned i = 0; i <= kEntries; ++i) {
            newer_[i] = static_cast<std::uint8_t>(i == kEntries ? 0 : i + 1);
            older_[i] = static_cast<std::uint8_t>(i == 0 ? kEntries : i - 1);
        }
        newest_ = kEntries - 1;
        insert_ = 0;
        last_ = 0;
    }

    unsigned InsertSlot() const { return insert_; }
    unsigned LastSlot() const { return last_; }
    std::int16_t SampleAt(unsigned i) const { return static_cast<std::int16_t>(samples_[i]); }

    // A literal: stored in the insert slot, which produced the sample.
    std::int16_t Literal(std::int16_t sample)
    {
        samples_[insert_] = static_cast<std::uint16_t>(sample);
        last_ = insert_;
        return sample;
    }
    // A repeat: the sample just produced again (0 before any), from the entry that produced it.
    std::int16_t Repeat()
    {
        Refer(last_);
        return SampleAt(last_);
    }
    // A table reference to entry i.
    std::int16_t Reference(unsigned i)
    {
        last_ = i;
        Refer(i);
        return SampleAt(i);
    }

    // Decodes one coded chunk into output from a fresh table, as DecodeWasChunk says.
    void DecodeChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output, const StopToken& stop);

private:
    // Moves entry i to the newest end of the list. The newest entry is held apart (in a
    // register, in the decoder's loop) rather than read back from the list at every code;
    // the link out of the newest entry is left as it was, as nothing reads it. (Moving the
    // newest onto itself without the jump measured slower.)
    static void MakeNewest(std::uint8_t* newer, std::uint8_t* older, unsigned& newest, unsigned i)
    {
        if (i == newest)
            return;
        const unsigned before = older[i], after = newer[i];
        newer[before] = static_cast<std::uint8_t>(after);
        older[after] = static_cast<std::uint8_t>(before);
        newer[newest] = static_cast<std::uint8_t>(i);
        older[i] = static_cast<std::uint8_t>(newest);
        newest = i;
    }

    void Refer(unsigned i)
    {
        MakeNewest(newer_.data(), older_.data(), newest_, i);
        if (i == insert_)
            insert_ = newer_[kEntries];
    }

    // Up to count codes that start before stopBit into out, two bytes each; how many.
    std::size_t DecodeCodes(const AudioBitSource& source, AudioBitReader& reader, std::uint64_t stopBit,
                            std::uint8_t* out, std::size_t count);

    std::array<std::uint16_t, kEntries> samples_;
    std::array<std::uint8_t, kEntries + 1> newer_; // the next entry referred to later
    std::array<std::uint8_t, kEntries + 1> older_; // the next entry referred to earlier
    unsigned newest_;
    unsigned insert_;
    unsigned last_;
};

} // namespace packsmith
