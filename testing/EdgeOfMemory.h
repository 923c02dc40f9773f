#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace packsmith::test {

// A copy of some bytes placed so that they end right before a page that cannot be read:
// a decoder that reads one byte past them crashes the test in any build, sanitizers or not.
class EdgeOfMemory {
public:
    explicit EdgeOfMemory(std::span<const std::uint8_t> content) : size_(content.size())
    {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        length_ = (size_ + page - 1) / page * page + page;
        void* base = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        base_ = static_cast<std::uint8_t*>(base);
        if (mprotect(base_ + length_ - page, page, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
        data_ = base_ + length_ - page - size_;
        std::copy(content.begin(), content.end(), data_);
    }
    ~EdgeOfMemory() { munmap(base_, length_); }
    EdgeOfMemory(const EdgeOfMemory&) = delete;
    EdgeOfMemory& operator=(const EdgeOfMemory&) = delete;

    std::span<const std::uint8_t> Span() const { return {data_, size_}; }

private:
    std::size_t size_;
    std::size_t length_ = 0;
    std::uint8_t* base_ = nullptr;
    std::uint8_t* data_ = nullptr;
};

} // namespace packsmith::test
