#include "platform/RandomBits.h"

#include <atomic>
#include <chrono>
#include <sys/random.h>
#include <unistd.h>

namespace packsmith {

std::uint64_t RandomBits()
{
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, 0) == static_cast<ssize_t>(sizeof bits))
        return bits;
    // Only a kernel without getrandom gets here; the names need to be unlikely to clash,
    // not unpredictable, and a clash is retried anyway.
    static std::atomic<std::uint64_t> counter{0};
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    bits ^= (static_cast<std::uint64_t>(::getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ull);
    bits ^= bits >> 31;
    bits *= 0xBF58476D1CE4E5B9ull;
    return bits ^ (bits >> 29);
}

} // namespace packsmith
