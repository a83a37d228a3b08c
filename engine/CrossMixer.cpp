#include "CrossMixer.h"

#include <cmath>

namespace quorvane
{

void CrossMixer::setAngle (float t) noexcept
{
    g0 = std::sin (t);
    g1 = std::cos (t);
    g2 = -std::sin (t);
}

void CrossMixer::process (int n, float* outA, const float* inX, const float* inY, float* outB) const noexcept
{
    // Both outputs of an element are formed from its inputs before either is stored, so the
    // outputs may be the same memory as the inputs.
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

void CrossMixer::rotate (float* __restrict x, float* __restrict y, int n) const noexcept
{
    // The same arithmetic as process; the two blocks never overlap, so no aliasing checks.
    for (int i = 0; i < n; ++i)
    {
        const float a = g2 * y[i] + g1 * x[i];
        const float b = g1 * y[i] + g0 * x[i];
        x[i] = a;
        y[i] = b;
    }
}

} // namespace quorvane
