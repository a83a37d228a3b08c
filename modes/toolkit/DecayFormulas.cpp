#include "DecayFormulas.h"

#include "engine/Exponential.h"

#include <algorithm>

namespace quorvane::kit
{

namespace
{
/** out[k] = ratioToMid (lengths[k], bandSeconds, mid[k], seconds, rate) where out[k] holds the
    band's gain already: the quotient, or for a mid gain below the smallest float the ratio from
    the exponents (rare; one value at a time). */
void ratiosFromBandGains (float* __restrict out, const float* __restrict lengths, const float* __restrict mid,
                          int count, float bandSeconds, float seconds, float rate)
{
    // Every quotient first (they vectorise; a mid gain of 0 gives a value replaced below), then
    // the rare ratios from exponents where a mid gain vanished.
    int vanished = 0;
    for (int k = 0; k < count; ++k)
    {
        out[k] = out[k] / mid[k];
        vanished |= mid[k] > 0.0f ? 0 : 1;
    }
    if (vanished != 0)
        for (int k = 0; k < count; ++k)
            if (! (mid[k] > 0.0f))
                out[k] = ratioToMid (lengths[k], bandSeconds, mid[k], seconds, rate);
}
} // namespace

void decayGains (float* out, const float* lengths, int count, float seconds, float rate)
{
    for (int k = 0; k < count; ++k)
        out[k] = decayExponent (lengths[k], seconds, rate);
    exponentials (out, out, count);
}

void decayBandGains (float* __restrict mid, float* __restrict bass, float* __restrict high,
                     const float* __restrict lengths, int count, float seconds, float bassSeconds, float highSeconds,
                     float rate)
{
    for (int k = 0; k < count; ++k)
    {
        const float length = lengths[k];
        mid[k] = decayExponent (length, seconds, rate);
        bass[k] = decayExponent (length, bassSeconds, rate);
        high[k] = decayExponent (length, highSeconds, rate);
    }
    exponentials (mid, mid, count);
    exponentials (bass, bass, count);
    exponentials (high, high, count);
    ratiosFromBandGains (high, lengths, mid, count, highSeconds, seconds, rate);
}

void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate)
{
    // The lengths are read again for the rare ratio from exponents: out must not be lengths here.
    decayGains (out, lengths, count, bandSeconds, rate);
    ratiosFromBandGains (out, lengths, mid, count, bandSeconds, seconds, rate);
}

void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate, float limit)
{
    bandRatios (out, lengths, mid, count, bandSeconds, seconds, rate);
    for (int k = 0; k < count; ++k)
        out[k] = std::min (limit, out[k]);
}

} // namespace quorvane::kit
