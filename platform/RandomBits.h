#pragma once

#include <cstdint>

namespace packsmith {

// 64 bits from the system's random source; where it has none, bits unlikely to repeat
// (enough for names that must not clash, which a clash retries anyway).
std::uint64_t RandomBits();

} // namespace packsmith
