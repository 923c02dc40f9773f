#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace packsmith::test {

// The bytes as a string, as TempDir::Write and ReadFileBytes take and give them.
inline std::string AsString(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

// n bytes, each the low eight bits of one draw of rng.
std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n);

// n bytes drawn bit by bit, the first bit drawn the top one of the first byte, each bit a one
// with the given chance in percent: for coded streams that should lean to one kind of code.
// Its sequence differs from RandomBytes' for the same rng even at 50.
std::vector<std::uint8_t> RandomBits(std::mt19937& rng, std::size_t n, unsigned onesPercent = 50);

} // namespace packsmith::test
