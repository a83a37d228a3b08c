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

void splitDelays (const float* delays, float* frac, int32_t* whole, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float t = std::trunc (delays[i]);
        frac[i] = delays[i] - t;
        whole[i] = (int32_t) t;
    }
}
} // namespace

float allpassCoefficient (int k) noexcept { return allpassTable.coef[(size_t) (k & 255)]; }

DelayLine::DelayLine()
{
    tapDelay.fill (100.0f);
    reallocate (*this, 32768);
}

void resizeFor (DelayLine& line, int requestedLength)
{
    const int newSize = powerOfTwoFor (requestedLength);
    if (newSize != line.size)
        reallocate (line, newSize);
}

void growFor (DelayLine& line, int requestedLength)
{
    if (powerOfTwoFor (requestedLength) > line.size)
        resizeFor (line, requestedLength);
}

void clearLine (DelayLine& line)
{
    std::fill_n (line.buffer.get(), line.size, 0.0f);
    line.tapState.fill (0.0f);
}

void writeBlock (DelayLine& line, const float* input, int n) noexcept
{
    float* buf = line.buffer.get();
    for (int i = 0; i < n; ++i)
        buf[(line.writeIndex - i) & line.mask] = input[i];
}

void advance (DelayLine& line, int n) noexcept { line.writeIndex = (line.writeIndex - n) & line.mask; }

void readTap (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    alignas (16) float scratch[DelayLine::maxBlock];
    const float* buf = line.buffer.get();
    int32_t idx = (line.writeIndex + offset) & line.mask;
    for (int i = 0; i < n; ++i)
    {
        scratch[i] = buf[idx];
        idx = (idx - 1) & line.mask;
    }
    for (int i = 0; i < n; ++i)
        output[i] = scratch[i] * gain;
}

void readLinearRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept
{
    alignas (16) float delays[DelayLine::maxBlock];
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    alignas (16) float y[DelayLine::maxBlock];

    rampDelays (delays, line.tapDelay[0], targetDelay, n, rampFactor);
    splitDelays (delays, frac, whole, n);

    const float* buf = line.buffer.get();
    int32_t p = line.writeIndex;
    for (int i = 0; i < n; ++i)
    {
        const int32_t j = (whole[i] + p) & line.mask;
        const float a = buf[j];
        const float b = buf[(j + 1) & line.mask];
        p = (p - 1) & line.mask;
        y[i] = (b - a) * frac[i] + a;
    }
    for (int i = 0; i < n; ++i)
        output[i] = y[i] * 1.0f;
    line.tapDelay[0] = targetDelay;
}

void readAllpassRamped (DelayLine& line, float* output, float targetDelay, int n, int tap, float rampFactor) noexcept
{
    alignas (16) float delays[DelayLine::maxBlock];
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    alignas (16) float eta[DelayLine::maxBlock];
    alignas (16) float out[DelayLine::maxBlock];

    rampDelays (delays, line.tapDelay[(size_t) tap], targetDelay, n, rampFactor);
    splitDelays (delays, frac, whole, n);
    for (int i = 0; i < n; ++i)
        eta[i] = allpassCoefficient ((int) std::trunc (frac[i] * 256.0f));

    const float* buf = line.buffer.get();
    float y = line.tapState[(size_t) tap];
    int32_t p = line.writeIndex;
    for (int i = 0; i < n; ++i)
    {
        const int32_t j = (whole[i] + p) & line.mask;
        y = (buf[j] - y) * eta[i] + buf[(j + 1) & line.mask];
        out[i] = y;
        p = (p - 1) & line.mask;
    }
    for (int i = 0; i < n; ++i)
        output[i] = out[i] * 1.0f;
    line.tapState[(size_t) tap] = y;
    line.tapDelay[(size_t) tap] = targetDelay;
}

} // namespace quorvane
