// The wider unit's gathers that the set-up of grouped reads shares: fields of lines and reads at
// 64-bit addresses, where a group's lines lie anywhere in memory, the halves of eight-lane masks
// and indices they take, and the runs their reads find. Intrinsics only, each helper built for
// that unit.
#pragma once

#include "VectorUnit.h"

#if defined(QUORVANE_HAS_AVX2_KERNELS)
#include <cstddef>
#include <immintrin.h>

namespace quorvane::gathers
{

/** The 32-bit lanes 4h .. 4h + 3. */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m128i halfOf (__m256i v) noexcept
{
    if constexpr (h == 0)
        return _mm256_castsi256_si128 (v);
    else
        return _mm256_extracti128_si256 (v, 1);
}

/** The 32-bit lanes 4h .. 4h + 3 of a mask as 64-bit lanes. */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i wideMask (__m256i mask) noexcept
{
    return _mm256_cvtepi32_epi64 (halfOf<h> (mask));
}

[[gnu::always_inline]] QUORVANE_AVX2 inline __m256 joined (__m128 low, __m128 high) noexcept
{
    return _mm256_insertf128_ps (_mm256_castps128_ps256 (low), high, 1);
}

/** The 32-bit field `offset` bytes into the objects at the 64-bit addresses `at`; lanes whose
    mask is clear read nothing and give 0. */
[[gnu::always_inline]] QUORVANE_AVX2 inline __m128i intsAt (__m256i at, size_t offset, __m128i mask) noexcept
{
    return _mm256_mask_i64gather_epi32 (_mm_setzero_si128(), reinterpret_cast<const int*> (offset), at, mask, 1);
}

[[gnu::always_inline]] QUORVANE_AVX2 inline __m128 floatsAt (__m256i at, size_t offset, __m128i mask) noexcept
{
    return _mm256_mask_i64gather_ps (_mm_setzero_ps(), reinterpret_cast<const float*> (offset), at,
                                     _mm_castsi128_ps (mask), 1);
}

/** Four runs' addresses: each lane's buffer (64-bit lanes) plus its index (32-bit lanes) in floats. */
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i runsAt (__m256i buffers, __m128i index) noexcept
{
    return _mm256_add_epi64 (buffers, _mm256_slli_epi64 (_mm256_cvtepi32_epi64 (index), 2));
}

/** heldRun and crossingRun of eight glides side by side, whose whole delays go from `first` to
    `last` over a block of n: `index` the run at the lower whole delay (from the write index,
    masked); `held` where the glide keeps one whole delay and its run lies within the line;
    `crossing` where its whole delays lie one apart with two samples to spare beyond that run. */
struct HeldOrCrossing
{
    __m256i low, index, held, crossing;
};

[[gnu::always_inline]] QUORVANE_AVX2 inline HeldOrCrossing heldOrCrossing (__m256i first, __m256i last,
                                                                          __m256i writeIndex, __m256i mask,
                                                                          int n) noexcept
{
    HeldOrCrossing runs;
    runs.low = _mm256_min_epi32 (first, last);
    runs.index = _mm256_and_si256 (_mm256_add_epi32 (runs.low, writeIndex), mask);
    const __m256i fits = _mm256_cmpgt_epi32 (runs.index, _mm256_set1_epi32 (n - 2));
    runs.held = _mm256_and_si256 (_mm256_cmpeq_epi32 (first, last),
                                  _mm256_and_si256 (fits, _mm256_cmpgt_epi32 (mask, runs.index)));
    const __m256i apart = _mm256_cmpeq_epi32 (_mm256_abs_epi32 (_mm256_sub_epi32 (last, first)), _mm256_set1_epi32 (1));
    runs.crossing = _mm256_and_si256 (
        apart,
        _mm256_and_si256 (fits, _mm256_cmpgt_epi32 (mask, _mm256_add_epi32 (runs.index, _mm256_set1_epi32 (1)))));
    return runs;
}

} // namespace quorvane::gathers
#endif
