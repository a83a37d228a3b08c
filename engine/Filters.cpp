#include "Filters.h"

#include <cmath>

namespace quorvane
{

// 2 pi as every coefficient design has always used it; changing it would shift every corner.
constexpr float twoPi = 6.28318f;

void FirstOrderFilter::process (int n, const float* input, float* output) noexcept
{
    float s = state;
    for (int i = 0; i < n; ++i)
    {
        const float x = input[i];
        const float y = b0 * x + s;
        s = b1 * x - a1 * y;
        output[i] = y;
    }
    state = s;
}

void FirstOrderFilter::setCoefficients (float newB0, float newB1, float newA1) noexcept
{
    b0 = newB0;
    b1 = newB1;
    a1 = newA1;
}

void OnePoleLowpass::process (float g, const float* input, float* output, int n) noexcept
{
    alignas (16) float scaled[128];
    for (int i = 0; i < n; ++i)
        scaled[i] = g * input[i];
    const float k = 1.0f - g;
    float s = state;
    for (int i = 0; i < n; ++i)
    {
        s = scaled[i] + k * s;
        output[i] = s;
    }
    state = s;
}

void splitBandsBank (OnePoleLowpass* filters, float g, float* const* blocks, const float* highGain,
                     const float* lowGain, int count, int n) noexcept
{
    const float k = 1.0f - g;
    alignas (16) float scaled[4][128];
    int first = 0;
    for (; first < count; first += 4)
    {
        const int lanes = count - first < 4 ? count - first : 4;
        float s[4] = {}, hi[4] = {}, lo[4] = {};
        float* x[4] = {};
        for (int l = 0; l < lanes; ++l)
        {
            x[l] = blocks[first + l];
            for (int i = 0; i < n; ++i)
                scaled[l][i] = g * x[l][i];
            s[l] = filters[first + l].state;
            hi[l] = highGain[first + l];
            lo[l] = lowGain != nullptr ? lowGain[first + l] : 1.0f;
        }
        if (lanes == 4)
        {
            for (int i = 0; i < n; ++i)
                for (int l = 0; l < 4; ++l)
                {
                    s[l] = scaled[l][i] + k * s[l];
                    x[l][i] = (x[l][i] - s[l]) * hi[l] + s[l] * lo[l];
                }
        }
        else
        {
            for (int l = 0; l < lanes; ++l)
                for (int i = 0; i < n; ++i)
                {
                    s[l] = scaled[l][i] + k * s[l];
                    x[l][i] = (x[l][i] - s[l]) * hi[l] + s[l] * lo[l];
                }
        }
        for (int l = 0; l < lanes; ++l)
            filters[first + l].state = s[l];
    }
}

void Biquad::process64 (float* output, const float* input) noexcept
{
    float s1 = w1, s2 = w2;
    for (int i = 0; i < 64; ++i)
    {
        const float w = input[i] - a1 * s1 - a2 * s2;
        output[i] = b0 * w + b1 * s1 + b2 * s2;
        s2 = s1;
        s1 = w;
    }
    w1 = s1;
    w2 = s2;
}

void designLowpass (Biquad& filter, float f, float fs) noexcept
{
    const float w = f * twoPi / fs;
    const float s = std::sin (w);
    const float c = std::cos (w);
    const float alpha = s / 1.4142f;
    const float norm = 1.0f + alpha;
    filter.a1 = -2.0f * c / norm;
    filter.a2 = (1.0f - alpha) / norm;
    filter.b0 = 0.5f * (1.0f - c) / norm;
    filter.b2 = filter.b0;
    filter.b1 = (1.0f - c) / norm;
}

Coefficients3 designShelf (float fc, float h, float fs) noexcept
{
    const float k = 1.0f / (fc * twoPi);
    const float d = 2.0f * fs * k;
    const float e = 2.0f * fs * k * h;
    return { (1.0f + e) / (1.0f + d), (1.0f - e) / (1.0f + d), (1.0f - d) / (1.0f + d) };
}

Coefficients3 designAllpass1 (float fc, float fs) noexcept
{
    const float c = 2.0f * fs / (fc * twoPi);
    const float d = (1.0f - c) / (1.0f + c);
    return { d, 1.0f, d };
}

Coefficients3 designDamper (float fs) noexcept
{
    const float k = 2.0f * fs / (twoPi * 9000.0f);
    return { 1.0f, 1.0f, (1.0f - k) / (1.0f + k) };
}

} // namespace quorvane
