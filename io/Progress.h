#pragma once

#include <cstdint>
#include <functional>

namespace packsmith {

// Told how far long work has come: done of total units (bytes, frames, samples), called on
// the thread that does the work, often enough for a bar and seldom enough to cost nothing.
using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

} // namespace packsmith
