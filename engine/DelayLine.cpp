#include "DelayLine.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
/** (1 - k/256) / (1 + k/256), capped at 0.99 so the interpolator's pole stays clear of the unit circle. */
struct AllpassTable
{
    std::array<float, 256> coef {};

    AllpassTable()
    {
        for (int k = 0; k < 256; ++k)
        {
            const float f = (float) k / 256.0f;
            const float c = (1.0f - f) / (1.0f + f);
            coef[(size_t) k] = c >= 0.99f ? 0.99f : c;
        }
    }
};

const AllpassTable allpassTable;

int powerOfTwoFor (int length)
{
    // Logarithms in single precision, as the line sizes have always been computed.
    const float exponent = std::ceil (std::log ((float) length) / std::log (2.0f));
    return (int) std::pow (2.0f, exponent);
}

void reallocate (DelayLine& line, int newSize)
{
    line.buffer.reset (new float[(size_t) newSize]);
    std::fill_n (line.buffer.get(), newSize, 0.0f);
    line.size = newSize;
    line.mask = newSize - 1;
    line.writeIndex = 0;
    line.tapState.fill (0.0f);
}

/** The per-sample delays of a glide: repeated addition, so the last one lands on the target. */
void rampDelays (float* delays, float start, float target, int n, float rampFactor) noexcept
{
    const float step = (target - start) * rampFactor;
    float d = start;
    for (int i = 0; i < n; ++i)
    {
        d = d + step;
        delays[i] = d;
    }
}

/** Integer part (toward zero) and fraction of each delay; the conversion truncates exactly like
    trunc for every delay a line can hold, and unlike trunc it vectorises on the x86-64 baseline. */
void splitDelays (const float* delays, float* frac, int32_t* whole, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const int32_t w = (int32_t) delays[i];
        whole[i] = w;
        frac[i] = delays[i] - (float) w;
    }
}

/** Fraction and buffer index (of the newer neighbour) of every sample of a read gliding from
    `start` to `target`; the index stages run element-wise, only the gathers that follow do not. */
void glide (const DelayLine& line, float start, float target, int n, float rampFactor, float* frac,
            int32_t* index) noexcept
{
    alignas (16) float delays[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    rampDelays (delays, start, target, n, rampFactor);
    splitDelays (delays, frac, whole, n);
    const int32_t w = line.writeIndex;
    for (int i = 0; i < n; ++i)
        index[i] = (whole[i] + w - i) & line.mask;
}
} // namespace

float allpassCoefficient (int k) noexcept { return allpassTable.coef[(size_t) (k & 255)]; }

DelayLine::DelayLine()
{
    tapDelay.fill (startDelay);
    reallocate (*this, 32768);
}

void resizeFor (DelayLine& line, int requestedLength)
{
    const int newSize = powerOfTwoFor (requestedLength);
    if (newSize != line.size)
        reallocate (line, newSize);
}

void clearLine (DelayLine& line)
{
    std::fill_n (line.buffer.get(), line.size, 0.0f);
    line.tapState.fill (0.0f);
}

void writeBlock (DelayLine& line, const float* input, int n) noexcept
{
    // Two contiguous runs (before and after the wrap) instead of a masked index per sample.
    const int32_t w = line.writeIndex;
    const int first = std::min (n, (int) w + 1);
    float* run = line.buffer.get() + w;
    for (int i = 0; i < first; ++i)
        run[-i] = input[i];
    float* wrapped = run + line.size;
    for (int i = first; i < n; ++i)
        wrapped[-i] = input[i];
}

void advance (DelayLine& line, int n) noexcept { line.writeIndex = (line.writeIndex - n) & line.mask; }

void readTap (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    alignas (16) float scratch[DelayLine::maxBlock];
    const int32_t start = (line.writeIndex + std::min (offset, line.size - n)) & line.mask;
    const int first = std::min (n, (int) start + 1);
    const float* run = line.buffer.get() + start;
    for (int i = 0; i < first; ++i)
        scratch[i] = run[-i];
    const float* wrapped = run + line.size;
    for (int i = first; i < n; ++i)
        scratch[i] = wrapped[-i];
    for (int i = 0; i < n; ++i)
        output[i] = scratch[i] * gain;
}

void readLinearRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept
{
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t index[DelayLine::maxBlock];
    targetDelay = std::min (targetDelay, longestInterpolatedDelay (line, n));
    glide (line, glideStart (line.tapDelay[0], targetDelay), targetDelay, n, rampFactor, frac, index);

    // a the newer and b the older neighbour: (b - a) x frac + a.
    const float* buf = line.buffer.get();
    for (int i = 0; i < n; ++i)
    {
        const float a = buf[index[i]];
        const float b = buf[(index[i] + 1) & line.mask];
        output[i] = (b - a) * frac[i] + a;
    }
    line.tapDelay[0] = targetDelay;
}

void readAllpassRamped (DelayLine& line, float* output, float targetDelay, int n, int tap, float rampFactor) noexcept
{
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t index[DelayLine::maxBlock];
    alignas (16) float eta[DelayLine::maxBlock];
    targetDelay = std::min (targetDelay, longestInterpolatedDelay (line, n));
    glide (line, glideStart (line.tapDelay[(size_t) tap], targetDelay), targetDelay, n, rampFactor, frac, index);
    for (int i = 0; i < n; ++i)
        eta[i] = allpassCoefficient ((int32_t) (frac[i] * 256.0f));

    // y[n] = eta.a[n] + b[n] - eta.y[n-1], a the newer and b the older neighbour.
    const float* buf = line.buffer.get();
    float y = line.tapState[(size_t) tap];
    for (int i = 0; i < n; ++i)
    {
        y = (buf[index[i]] - y) * eta[i] + buf[(index[i] + 1) & line.mask];
        output[i] = y;
    }
    line.tapState[(size_t) tap] = y;
    line.tapDelay[(size_t) tap] = targetDelay;
}

} // namespace quorvane
