#pragma once

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace packsmith::bench {

// The floor to compare a decoder against: copying as many bytes as it produces.
inline void MemcpyBaseline(benchmark::State& state, std::size_t bytes)
{
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

} // namespace packsmith::bench
