#include "Block.h"

#include "VectorUnit.h"

namespace quorvane
{

// Each loop is element-wise with restrict-free but non-overlapping-or-identical operands, which the
// compiler vectorises four floats at a time on the baseline and eight in the AVX2 copies below;
// the order of operations per element is fixed.

namespace
{
[[gnu::always_inline]] inline void scaleLoop (float* out, const float* a, float g, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] * g;
}

[[gnu::always_inline]] inline void scaleAddLoop (float* out, const float* a, float g, const float* b, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] * g + b[i];
}

[[gnu::always_inline]] inline void addLoop (float* out, const float* a, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = out[i] + a[i];
}

[[gnu::always_inline]] inline void accumulateLoop (float* out, const float* a, float g, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = out[i] + a[i] * g;
}

[[gnu::always_inline]] inline void bandGainLoop (float* x, const float* low, float highGain, float lowGain, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        x[i] = (x[i] - low[i]) * highGain + low[i] * lowGain;
}

// Out of line, so that choosing the unit costs no register saves (see the delay line's kernels).
[[gnu::noinline]] void scaleBaseline (float* out, const float* a, float g, int n) noexcept { scaleLoop (out, a, g, n); }
[[gnu::noinline]] void scaleAddBaseline (float* out, const float* a, float g, const float* b, int n) noexcept
{
    scaleAddLoop (out, a, g, b, n);
}
[[gnu::noinline]] void addBaseline (float* out, const float* a, int n) noexcept { addLoop (out, a, n); }
[[gnu::noinline]] void accumulateBaseline (float* out, const float* a, float g, int n) noexcept
{
    accumulateLoop (out, a, g, n);
}
[[gnu::noinline]] void bandGainBaseline (float* x, const float* low, float highGain, float lowGain, int n) noexcept
{
    bandGainLoop (x, low, highGain, lowGain, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void scaleAvx2 (float* out, const float* a, float g, int n) noexcept { scaleLoop (out, a, g, n); }
QUORVANE_AVX2 void scaleAddAvx2 (float* out, const float* a, float g, const float* b, int n) noexcept
{
    scaleAddLoop (out, a, g, b, n);
}
QUORVANE_AVX2 void addAvx2 (float* out, const float* a, int n) noexcept { addLoop (out, a, n); }
QUORVANE_AVX2 void accumulateAvx2 (float* out, const float* a, float g, int n) noexcept { accumulateLoop (out, a, g, n); }
QUORVANE_AVX2 void bandGainAvx2 (float* x, const float* low, float highGain, float lowGain, int n) noexcept
{
    bandGainLoop (x, low, highGain, lowGain, n);
}
#define QUORVANE_BLOCK_KERNEL(name, ...)                                                                               \
    if (n >= 8 && wideVectors())                                                                                       \
        return name##Avx2 (__VA_ARGS__);                                                                               \
    name##Baseline (__VA_ARGS__)
#else
#define QUORVANE_BLOCK_KERNEL(name, ...) name##Baseline (__VA_ARGS__)
#endif
} // namespace

void scaleBlock (float* out, const float* a, float g, int n) noexcept { QUORVANE_BLOCK_KERNEL (scale, out, a, g, n); }

void scaleAddBlock (float* out, const float* a, float g, const float* b, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (scaleAdd, out, a, g, b, n);
}

void addBlock (float* out, const float* a, int n) noexcept { QUORVANE_BLOCK_KERNEL (add, out, a, n); }

void accumulateBlock (float* out, const float* a, float g, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (accumulate, out, a, g, n);
}

void bandGainBlock (float* x, const float* low, float highGain, float lowGain, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (bandGain, x, low, highGain, lowGain, n);
}

#undef QUORVANE_BLOCK_KERNEL

} // namespace quorvane
