// The wider unit's gathers of delay-line fields for lines that lie one struct apart (a bank's or a
// network's array): each lane's field gathered into one vector, so the checks every lane makes
// run side by side and only the run pointers are formed lane by lane.
#pragma once

#include "DelayLine.h"
#include "Gathers.h"

#if defined(QUORVANE_HAS_AVX2_KERNELS)
namespace quorvane::gathers
{

/** Gathers the 32-bit field at `field` (a member of lines[0]) of lines[lineIndex[r]] into lane r. */
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i lineField (const int32_t* field, __m256i lineIndex) noexcept
{
    static_assert (sizeof (DelayLine) % sizeof (int32_t) == 0);
    const __m256i stride = _mm256_set1_epi32 ((int) (sizeof (DelayLine) / sizeof (int32_t)));
    return _mm256_i32gather_epi32 (field, _mm256_mullo_epi32 (lineIndex, stride), 4);
}

[[gnu::always_inline]] QUORVANE_AVX2 inline __m256 lineField (const float* field, __m256i lineIndex) noexcept
{
    const __m256i stride = _mm256_set1_epi32 ((int) (sizeof (DelayLine) / sizeof (float)));
    return _mm256_i32gather_ps (field, _mm256_mullo_epi32 (lineIndex, stride), 4);
}

/** The buffers of lines lineIndex[4h] .. lineIndex[4h + 3], as 64-bit addresses. */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i buffersOfLanes (const DelayLine& line0, __m256i lineIndex) noexcept
{
    static_assert (sizeof (line0.buffer) == sizeof (float*), "the buffer's owner holds its pointer alone");
    const __m128i bytes = _mm_mullo_epi32 (halfOf<h> (lineIndex), _mm_set1_epi32 ((int) sizeof (DelayLine)));
    return _mm256_i32gather_epi64 (reinterpret_cast<const long long*> (&line0.buffer), bytes, 1);
}

/** Where the runs of lanes 4h .. 4h + 3 start (lane r: run[r] into the buffer of line
    lineIndex[r]), as addresses and stored into runs + 4h. */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i runsOfLanes (const DelayLine& line0, __m256i lineIndex,
                                                                 __m256i run, const float** runs) noexcept
{
    const __m256i at = runsAt (buffersOfLanes<h> (line0, lineIndex), halfOf<h> (run));
    _mm256_storeu_si256 (reinterpret_cast<__m256i*> (runs + 4 * h), at);
    return at;
}

/** Where each lane's tap of n samples starts in its line: (writeIndex + min (offset, size - n)) & mask,
    as readTap holds a tap longer than the line. */
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i tapRuns (const DelayLine& line0, __m256i lineIndex,
                                                             __m256i offset, int n) noexcept
{
    const __m256i w = lineField (&line0.writeIndex, lineIndex), mask = lineField (&line0.mask, lineIndex);
    const __m256i size = lineField (&line0.size, lineIndex);
    return _mm256_and_si256 (
        _mm256_add_epi32 (w, _mm256_min_epi32 (offset, _mm256_sub_epi32 (size, _mm256_set1_epi32 (n)))), mask);
}

/** The lanes whose run of n samples lies without a wrap (from run down to run - n + 1), as a bit mask. */
[[gnu::always_inline]] QUORVANE_AVX2 inline int unwrapped (__m256i run, int n) noexcept
{
    return _mm256_movemask_ps (_mm256_castsi256_ps (_mm256_cmpgt_epi32 (run, _mm256_set1_epi32 (n - 2))));
}

} // namespace quorvane::gathers
#endif
