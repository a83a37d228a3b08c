#include "ModAllpass.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
/** The stages after the delayed reads: y = d.c + (-g).x, v = x + g.y, write v, output y. */
void allpassStages (DelayLine& line, const float* input, float* output, const float* delayed, float g, int n,
                    float loss) noexcept
{
    alignas (16) float y[DelayLine::maxBlock];
    const float minusG = -g;
    for (int i = 0; i < n; ++i)
        y[i] = delayed[i] * loss;
    for (int i = 0; i < n; ++i)
        y[i] = y[i] + minusG * input[i];
    // v goes through the output block on its way into the line (element by element, so an output
    // that is the input is read before it is overwritten); then the output becomes y.
    for (int i = 0; i < n; ++i)
        output[i] = input[i] + g * y[i];
    writeBlock (line, output, n);
    for (int i = 0; i < n; ++i)
        output[i] = y[i];
}

} // namespace

void modAllpass (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n, float loss,
                 float rampFactor) noexcept
{
    alignas (16) float delayed[DelayLine::maxBlock];
    readAllpassRamped (line, delayed, targetDelay, n, 0, rampFactor);
    allpassStages (line, input, output, delayed, g, n, loss);
}

void modAllpassLinear (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n,
                       float loss, float rampFactor) noexcept
{
    alignas (16) float delayed[DelayLine::maxBlock];
    readLinearRamped (line, delayed, targetDelay, n, rampFactor);
    allpassStages (line, input, output, delayed, g, n, loss);
}

void modAllpass32 (DelayLine& line, const float* input, float* output, float g, float targetDelay, float loss) noexcept
{
    alignas (16) float delayed[32];
    readQuantisedRamped (line, delayed, targetDelay, 32, 1.0f / 32.0f);
    allpassStages (line, input, output, delayed, g, 32, loss);
}

void fixedAllpass32 (DelayLine& line, const float* input, float* output, float g, int length, float loss) noexcept
{
    alignas (16) float delayed[32];
    readTap (line, delayed, 32, length - 32, 1.0f);
    allpassStages (line, input, output, delayed, g, 32, loss);
}

} // namespace quorvane
