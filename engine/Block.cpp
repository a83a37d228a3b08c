#include "Block.h"

#include "Lanes.h"
#include "VectorUnit.h"

namespace quorvane
{

// Each kernel is element-wise over operands that are either the same block or do not overlap,
// four floats at a time on the baseline and eight in the AVX2 copies below; the order of
// operations per element is fixed.

namespace
{
/** out[i] = op (i) for every element: whole vectors of V as far as they go, then the rest one
    by one, each element with the same operations either way. */
template <typename V, typename Vector, typename Scalar>
[[gnu::always_inline]] inline void elementWise (float* out, int n, Vector&& vector, Scalar&& scalar) noexcept
{
    constexpr int W = laneCount<V>;
    const int whole = n - n % W;
    forEachVector<W> (whole, [&] (int i) { storeLanes (out + i, vector (i)); });
    for (int i = whole; i < n; ++i)
        out[i] = scalar (i);
}

template <typename V>
[[gnu::always_inline]] inline void scaleLoop (float* out, const float* a, float g, int n) noexcept
{
    const V gv = broadcast<V> (g);
    elementWise<V> (
        out, n, [&] (int i) { return loadLanes<V> (a + i) * gv; }, [&] (int i) { return a[i] * g; });
}

template <typename V>
[[gnu::always_inline]] inline void scaleAddLoop (float* out, const float* a, float g, const float* b, int n) noexcept
{
    const V gv = broadcast<V> (g);
    elementWise<V> (
        out, n, [&] (int i) { return loadLanes<V> (a + i) * gv + loadLanes<V> (b + i); },
        [&] (int i) { return a[i] * g + b[i]; });
}

template <typename V>
[[gnu::always_inline]] inline void scaleTwiceAddLoop (float* out, const float* a, float g, float h, const float* b,
                                                      int n) noexcept
{
    const V gv = broadcast<V> (g), hv = broadcast<V> (h);
    elementWise<V> (
        out, n, [&] (int i) { return loadLanes<V> (a + i) * gv * hv + loadLanes<V> (b + i); },
        [&] (int i) { return a[i] * g * h + b[i]; });
}

template <typename V>
[[gnu::always_inline]] inline void addLoop (float* out, const float* a, int n) noexcept
{
    elementWise<V> (
        out, n, [&] (int i) { return loadLanes<V> (out + i) + loadLanes<V> (a + i); },
        [&] (int i) { return out[i] + a[i]; });
}

template <typename V>
[[gnu::always_inline]] inline void accumulateLoop (float* out, const float* a, float g, int n) noexcept
{
    const V gv = broadcast<V> (g);
    elementWise<V> (
        out, n, [&] (int i) { return loadLanes<V> (out + i) + loadLanes<V> (a + i) * gv; },
        [&] (int i) { return out[i] + a[i] * g; });
}

template <typename V>
[[gnu::always_inline]] inline void bandGainScaleAddLoop (float* out, const float* x, const float* low, float highGain,
                                                         float lowGain, float g, const float* b, int n) noexcept
{
    const V high = broadcast<V> (highGain), lowG = broadcast<V> (lowGain), gv = broadcast<V> (g);
    elementWise<V> (
        out, n,
        [&] (int i) {
            const V l = loadLanes<V> (low + i);
            return ((loadLanes<V> (x + i) - l) * high + l * lowG) * gv + loadLanes<V> (b + i);
        },
        [&] (int i) { return ((x[i] - low[i]) * highGain + low[i] * lowGain) * g + b[i]; });
}

// Out of line, so that choosing the unit costs no register saves (see the delay line's kernels).
[[gnu::noinline]] void scaleBaseline (float* out, const float* a, float g, int n) noexcept
{
    scaleLoop<Lanes> (out, a, g, n);
}
[[gnu::noinline]] void scaleAddBaseline (float* out, const float* a, float g, const float* b, int n) noexcept
{
    scaleAddLoop<Lanes> (out, a, g, b, n);
}
[[gnu::noinline]] void scaleTwiceAddBaseline (float* out, const float* a, float g, float h, const float* b,
                                              int n) noexcept
{
    scaleTwiceAddLoop<Lanes> (out, a, g, h, b, n);
}
[[gnu::noinline]] void addBaseline (float* out, const float* a, int n) noexcept { addLoop<Lanes> (out, a, n); }
[[gnu::noinline]] void accumulateBaseline (float* out, const float* a, float g, int n) noexcept
{
    accumulateLoop<Lanes> (out, a, g, n);
}
[[gnu::noinline]] void bandGainScaleAddBaseline (float* out, const float* x, const float* low, float highGain,
                                                 float lowGain, float g, const float* b, int n) noexcept
{
    bandGainScaleAddLoop<Lanes> (out, x, low, highGain, lowGain, g, b, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void scaleAvx2 (float* out, const float* a, float g, int n) noexcept { scaleLoop<Lanes8> (out, a, g, n); }
QUORVANE_AVX2 void scaleAddAvx2 (float* out, const float* a, float g, const float* b, int n) noexcept
{
    scaleAddLoop<Lanes8> (out, a, g, b, n);
}
QUORVANE_AVX2 void scaleTwiceAddAvx2 (float* out, const float* a, float g, float h, const float* b, int n) noexcept
{
    scaleTwiceAddLoop<Lanes8> (out, a, g, h, b, n);
}
QUORVANE_AVX2 void addAvx2 (float* out, const float* a, int n) noexcept { addLoop<Lanes8> (out, a, n); }
QUORVANE_AVX2 void accumulateAvx2 (float* out, const float* a, float g, int n) noexcept
{
    accumulateLoop<Lanes8> (out, a, g, n);
}
QUORVANE_AVX2 void bandGainScaleAddAvx2 (float* out, const float* x, const float* low, float highGain, float lowGain,
                                         float g, const float* b, int n) noexcept
{
    bandGainScaleAddLoop<Lanes8> (out, x, low, highGain, lowGain, g, b, n);
}
#endif
// The wider unit from eight samples on (shorter runs gain nothing from it).
#define QUORVANE_BLOCK_KERNEL(name, ...) QUORVANE_ON_VECTOR_UNIT (n >= 8, name, __VA_ARGS__)
} // namespace

void scaleBlock (float* out, const float* a, float g, int n) noexcept { QUORVANE_BLOCK_KERNEL (scale, out, a, g, n); }

void scaleAddBlock (float* out, const float* a, float g, const float* b, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (scaleAdd, out, a, g, b, n);
}

void scaleTwiceAddBlock (float* out, const float* a, float g, float h, const float* b, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (scaleTwiceAdd, out, a, g, h, b, n);
}

void addBlock (float* out, const float* a, int n) noexcept { QUORVANE_BLOCK_KERNEL (add, out, a, n); }

void accumulateBlock (float* out, const float* a, float g, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (accumulate, out, a, g, n);
}

void bandGainScaleAddBlock (float* out, const float* x, const float* low, float highGain, float lowGain, float g,
                            const float* b, int n) noexcept
{
    QUORVANE_BLOCK_KERNEL (bandGainScaleAdd, out, x, low, highGain, lowGain, g, b, n);
}

#undef QUORVANE_BLOCK_KERNEL

} // namespace quorvane
