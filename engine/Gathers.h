// The wider unit's gathers that the set-up of grouped reads shares: fields of lines and reads at
// 64-bit addresses, where a group's lines lie anywhere in memory, and the halves of eight-lane
// masks and indices they take. Intrinsics only, each helper built for that unit.
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

} // namespace quorvane::gathers
#endif
