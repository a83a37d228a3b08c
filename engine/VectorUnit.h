#pragma once

#include <atomic>

namespace quorvane
{

/** The vector unit the hot kernels run on. The shipped code keeps the x86-64 baseline; where the
    processor has AVX2 the widest kernels run eight lanes at a time instead of four. Each lane
    computes the same IEEE operations in the same order either way (no fused multiply-adds), so
    both give the same samples bit for bit; only the instruction count differs. (The one kernel
    with fused operations, the batched exponentials, fuses exactly where the C library's own
    exponential does, so that its values stay the library's.) */
enum class VectorUnit
{
    baseline,
    avx2
};

/** True when this processor (and its operating system) can run the unit. */
bool canRun (VectorUnit unit) noexcept;

/** The unit in use: AVX2 where it runs, unless QUORVANE_VECTOR_UNIT=baseline is set in the
    environment when the program starts, or selectVectorUnit chose otherwise. */
VectorUnit activeVectorUnit() noexcept;

/** Chooses the unit (a unit the processor cannot run falls back to the baseline); for tests and
    measurements comparing the two. Not meant to be called while audio runs. */
void selectVectorUnit (VectorUnit unit) noexcept;

namespace detail
{
/** Set when the library starts (false until then: the baseline is always safe). */
extern std::atomic<bool> wideUnitChosen;
} // namespace detail

/** True while the kernels take their AVX2 path: one relaxed load, cheap enough for every block. */
inline bool wideVectors() noexcept { return detail::wideUnitChosen.load (std::memory_order_relaxed); }

} // namespace quorvane

#if defined(__x86_64__) && (defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12))
/** Marks a function built for AVX2 (never with fused multiply-adds: FMA is a separate feature). */
#define QUORVANE_AVX2 __attribute__ ((target ("avx2")))
#define QUORVANE_HAS_AVX2_KERNELS 1
#endif

/** name##Avx2 (...) when `fits` holds for the call and the wider unit was chosen, name##Baseline
    (...) otherwise: how every kernel with both forms is entered. */
#if defined(QUORVANE_HAS_AVX2_KERNELS)
#define QUORVANE_ON_VECTOR_UNIT(fits, name, ...)                                                                       \
    ((fits) && ::quorvane::wideVectors () ? name##Avx2 (__VA_ARGS__) : name##Baseline (__VA_ARGS__))
#else
#define QUORVANE_ON_VECTOR_UNIT(fits, name, ...) name##Baseline (__VA_ARGS__)
#endif
