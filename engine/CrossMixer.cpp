#include "CrossMixer.h"

#include "VectorUnit.h"

#include <cmath>

namespace quorvane
{

void CrossMixer::setAngle (float t) noexcept
{
    g0 = std::sin (t);
    g1 = std::cos (t);
    g2 = -std::sin (t);
}

namespace
{
// Both outputs of an element are formed from its inputs before either is stored, so the outputs
// may be the same memory as the inputs.
[[gnu::always_inline]] inline void processLoop (const CrossMixer& m, int n, float* outA, const float* inX,
                                                const float* inY, float* outB) noexcept
{
    const float g0 = m.g0, g1 = m.g1, g2 = m.g2;
    for (int i = 0; i < n; ++i)
    {
        const float x = inX[i];
        const float y = inY[i];
        const float a = g2 * y + g1 * x;
        const float b = g1 * y + g0 * x;
        outA[i] = a;
        outB[i] = b;
    }
}

// The same arithmetic; the two blocks never overlap, so no aliasing checks.
[[gnu::always_inline]] inline void rotateLoop (const CrossMixer& m, float* __restrict x, float* __restrict y,
                                               int n) noexcept
{
    const float g0 = m.g0, g1 = m.g1, g2 = m.g2;
    for (int i = 0; i < n; ++i)
    {
        const float a = g2 * y[i] + g1 * x[i];
        const float b = g1 * y[i] + g0 * x[i];
        x[i] = a;
        y[i] = b;
    }
}

// Out of line, so that choosing the unit costs no register saves.
[[gnu::noinline]] void processBaseline (const CrossMixer& m, int n, float* outA, const float* inX, const float* inY,
                                        float* outB) noexcept
{
    processLoop (m, n, outA, inX, inY, outB);
}
[[gnu::noinline]] void rotateBaseline (const CrossMixer& m, float* __restrict x, float* __restrict y, int n) noexcept
{
    rotateLoop (m, x, y, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void processAvx2 (const CrossMixer& m, int n, float* outA, const float* inX, const float* inY,
                                float* outB) noexcept
{
    processLoop (m, n, outA, inX, inY, outB);
}
QUORVANE_AVX2 void rotateAvx2 (const CrossMixer& m, float* __restrict x, float* __restrict y, int n) noexcept
{
    rotateLoop (m, x, y, n);
}
#endif
} // namespace

void CrossMixer::process (int n, float* outA, const float* inX, const float* inY, float* outB) const noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n >= 8 && wideVectors())
        return processAvx2 (*this, n, outA, inX, inY, outB);
#endif
    processBaseline (*this, n, outA, inX, inY, outB);
}

void CrossMixer::rotate (float* __restrict x, float* __restrict y, int n) const noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n >= 8 && wideVectors())
        return rotateAvx2 (*this, x, y, n);
#endif
    rotateBaseline (*this, x, y, n);
}

} // namespace quorvane
