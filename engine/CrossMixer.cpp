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
    alignas (16) float scratchA[64];
    alignas (16) float scratchB[64];
    for (int i = 0; i < n; ++i)
        scratchA[i] = g1 * inX[i];
    for (int i = 0; i < n; ++i)
        scratchB[i] = g2 * inY[i] + scratchA[i];
    for (int i = 0; i < n; ++i)
        scratchA[i] = g0 * inX[i];
    for (int i = 0; i < n; ++i)
        outB[i] = g1 * inY[i] + scratchA[i];
    for (int i = 0; i < n; ++i)
        outA[i] = scratchB[i];
}

} // namespace quorvane
