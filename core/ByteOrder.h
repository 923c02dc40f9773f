#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace packsmith {

// Every number in the files is little-endian; the audio bit streams are read most
// significant bit first, so their windows are loaded big-endian. Unaligned accesses go
// through memcpy, which compiles to a plain load or store.

inline std::uint16_t LoadLE16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap16(v);
    return v;
}

inline std::uint32_t LoadLE32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    return v;
}

inline void StoreLE16(std::uint8_t* p, std::uint16_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap16(v);
    std::memcpy(p, &v, sizeof v);
}

inline void StoreLE32(std::uint8_t* p, std::uint32_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, sizeof v);
}

inline std::uint64_t LoadLE64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

inline void StoreLE64(std::uint8_t* p, std::uint64_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

inline std::uint64_t LoadBE64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    return v;
}

} // namespace packsmith
