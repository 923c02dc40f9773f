#include "platform/RandomBits.h"

#include <atomic>
#include <chrono>

#include "platform/windows/Win32.h"

#include <bcrypt.h>

namespace packsmith {

std::uint64_t RandomBits()
{
    std::uint64_t bits = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits, BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0)
        return bits;
    // The names need to be unlikely to clash, not unpredictable, and a clash is retried.
    static std::atomic<std::uint64_t> counter{0};
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    bits ^= (std::uint64_t{GetCurrentProcessId()} << 32) ^ (++counter * 0x9E3779B97F4A7C15ull);
    bits ^= bits >> 31;
    bits *= 0xBF58476D1CE4E5B9ull;
    return bits ^ (bits >> 29);
}

} // namespace packsmith
