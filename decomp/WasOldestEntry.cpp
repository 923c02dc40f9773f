#include "decomp/WasOldestEntry.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PACKSMITH_WAS_AVX2 1
#endif

namespace packsmith {

namespace {

constexpr unsigned kKeys = 64;

#ifdef PACKSMITH_WAS_AVX2
__attribute__((target("avx2"))) unsigned OldestAvx2(const std::uint32_t* keys)
{
    __m256i v[8];
    for (unsigned i = 0; i < 8; ++i)
        v[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys + 8 * i));
    const __m256i m = _mm256_min_epu32(_mm256_min_epu32(_mm256_min_epu32(v[0], v[1]), _mm256_min_epu32(v[2], v[3])),
                                       _mm256_min_epu32(_mm256_min_epu32(v[4], v[5]), _mm256_min_epu32(v[6], v[7])));
    __m128i h = _mm_min_epu32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    h = _mm_min_epu32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(1, 0, 3, 2)));
    h = _mm_min_epu32(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<unsigned>(_mm_cvtsi128_si32(h)) & (kKeys - 1);
}

using Search = unsigned (*)(const std::uint32_t*);

Search PickVector() { return __builtin_cpu_supports("avx2") ? OldestAvx2 : WasOldestEntryScalar; }
#endif

} // namespace

unsigned WasOldestEntryScalar(const std::uint32_t* keys)
{
    std::uint32_t smallest = keys[0];
    for (unsigned i = 1; i < kKeys; ++i)
        smallest = keys[i] < smallest ? keys[i] : smallest;
    return smallest & (kKeys - 1);
}

unsigned WasOldestEntry(const std::uint32_t* keys)
{
#ifdef PACKSMITH_WAS_AVX2
    static const Search search = PickVector();
    return search(keys);
#else
    return WasOldestEntryScalar(keys);
#endif
}

} // namespace packsmith
