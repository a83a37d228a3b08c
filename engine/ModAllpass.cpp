#include "ModAllpass.h"

#include "Lanes.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
/** The stages after the delayed reads: y = d.c + (-g).x, v = x + g.y, write v, output y. Each
    element's input is read before its output is stored, so the output may be the input. */
void allpassStages (DelayLine& line, const float* input, float* output, const float* delayed, float g, int n,
                    float loss) noexcept
{
    alignas (16) float v[DelayLine::maxBlock];
    const float minusG = -g;
    if (n % 4 == 0)
    {
        const Lanes c = broadcast (loss), gv = broadcast (g), mg = broadcast (minusG);
        for (int i = 0; i < n; i += 4)
        {
            const Lanes x = loadLanes (input + i);
            const Lanes y = loadLanes (delayed + i) * c + mg * x;
            storeLanes (v + i, x + gv * y);
            storeLanes (output + i, y);
        }
    }
    else
        for (int i = 0; i < n; ++i)
        {
            const float x = input[i];
            const float y = delayed[i] * loss + minusG * x;
            v[i] = x + g * y;
            output[i] = y;
        }
    writeBlock (line, v, n);
}

} // namespace

void modAllpass (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n, float loss,
                 float rampFactor) noexcept
{
    alignas (16) float delayed[DelayLine::maxBlock];
    readAllpassRamped (line, delayed, targetDelay, n, 0, rampFactor);
    allpassStages (line, input, output, delayed, g, n, loss);
}

void modAllpassGroup (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                      const float* losses, int count, int n, float rampFactor) noexcept
{
    alignas (16) float delayed[8][DelayLine::maxBlock];
    AllpassTapRead reads[8] {};
    for (size_t k = 0; k < (size_t) count; ++k)
        reads[k] = { lines[k], 0, delayed[k], targetDelays[k] };
    readAllpassRampedGroup (reads, count, n, rampFactor);
    for (size_t k = 0; k < (size_t) count; ++k)
        allpassStages (*lines[k], blocks[k], blocks[k], delayed[k], g, n, losses[k]);
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
