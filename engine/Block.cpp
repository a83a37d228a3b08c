#include "Block.h"

namespace quorvane
{

// Each loop is element-wise with restrict-free but non-overlapping-or-identical operands, which the
// compiler vectorises four floats at a time; the order of operations per element is fixed.

void scaleBlock (float* out, const float* a, float g, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] * g;
}

void scaleAddBlock (float* out, const float* a, float g, const float* b, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] * g + b[i];
}

void addBlock (float* out, const float* a, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = out[i] + a[i];
}

void accumulateBlock (float* out, const float* a, float g, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        out[i] = out[i] + a[i] * g;
}

void bandGainBlock (float* x, const float* low, float highGain, float lowGain, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        x[i] = (x[i] - low[i]) * highGain + low[i] * lowGain;
}

} // namespace quorvane
