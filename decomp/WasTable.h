#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "decomp/AudioBitReader.h"
#include "decomp/WasOldestEntry.h"

namespace packsmith {

// The table of 64 recently used sample values of a packed music chunk, shared by the
// decoder and the encoder so both follow the same rules.
//
// A literal goes into the insert slot. Referring to an entry (by a repeat or a table
// reference) stamps it with the time of the reference; when the insert slot itself is
// referred to, the next literal goes into the entry with the oldest stamp, entries never
// referred to first, lowest index first. Only that choice searches the table.
//
// An entry's stamp is kept as a key, the stamp times 64 plus the index: keys are distinct
// and the smallest one names the entry to choose, ties included, which a vector minimum
// finds (see WasOldestEntry). Stamps count codes, so that 32-bit keys last 2^26 codes; the
// stamps are then renumbered 1, 2, ... in their order, which keeps every choice the same.
class WasTable {
public:
    static constexpr unsigned kEntries = 64;
    static constexpr std::uint32_t kKeyStep = kEntries;
    // Keys are renumbered before the next stamp would reach this.
    static constexpr std::uint32_t kDefaultKeyLimit = 0xFFFFFFFFu - 2 * kKeyStep;

    // keyLimit below the default only to make the renumbering testable; it leaves room for
    // at least one code after a renumbering.
    explicit WasTable(std::uint32_t keyLimit = kDefaultKeyLimit)
        : keyLimit_(std::max(keyLimit, (kEntries + 2) * kKeyStep))
    {
        Reset();
    }

    void Reset()
    {
        samples_.fill(0);
        for (unsigned i = 0; i < kEntries; ++i)
            keys_[i] = i;
        nextKey_ = kKeyStep;
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
    void DecodeChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output);

private:
    void Refer(unsigned i)
    {
        keys_[i] = nextKey_ | i;
        nextKey_ += kKeyStep;
        if (i == insert_)
            insert_ = WasOldestEntry(keys_.data());
        if (nextKey_ >= keyLimit_)
            Renumber();
    }

    // Up to count codes that start before stopBit into out, two bytes each; how many.
    std::size_t DecodeCodes(const AudioBitSource& source, AudioBitReader& reader, std::uint64_t stopBit,
                            std::uint8_t* out, std::size_t count);
    void Renumber();

    std::array<std::uint16_t, kEntries> samples_;
    std::array<std::uint32_t, kEntries> keys_;
    std::uint32_t nextKey_;
    std::uint32_t keyLimit_;
    unsigned insert_;
    unsigned last_;
};

} // namespace packsmith
