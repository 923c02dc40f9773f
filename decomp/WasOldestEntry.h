#pragma once

#include <cstdint>

namespace packsmith {

// The search of the music table for the entry to fill next. Each of the 64 keys is an
// entry's stamp times 64 plus its index, so keys are distinct and the smallest names the
// entry with the oldest stamp, the lowest index among equal stamps.

// The index in the smallest of keys[0..63]: with AVX2 where the machine has it, chosen at
// the first call, and otherwise with the scalar search below.
unsigned WasOldestEntry(const std::uint32_t* keys);

// The same without vector instructions: the fallback, and the measure for the tests.
unsigned WasOldestEntryScalar(const std::uint32_t* keys);

} // namespace packsmith
