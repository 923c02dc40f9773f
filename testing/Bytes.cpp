#include "testing/Bytes.h"

namespace packsmith::test {

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

std::vector<std::uint8_t> RandomBits(std::mt19937& rng, std::size_t n, unsigned onesPercent)
{
    std::bernoulli_distribution one(onesPercent / 100.0);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        for (int bit = 0; bit < 8; ++bit)
            b = static_cast<std::uint8_t>((b << 1) | (one(rng) ? 1 : 0));
    return bytes;
}

} // namespace packsmith::test
