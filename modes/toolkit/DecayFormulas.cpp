#include "DecayFormulas.h"

namespace quorvane::kit
{

void decayGains (float* out, const float* lengths, int count, float seconds, float rate)
{
    for (int k = 0; k < count; ++k)
        out[k] = decayGain (lengths[k], seconds, rate);
}

void decayBandGains (float* mid, float* bass, float* high, const float* lengths, int count, float seconds,
                     float bassSeconds, float highSeconds, float rate)
{
    for (int k = 0; k < count; ++k)
    {
        const float length = lengths[k];
        mid[k] = decayGain (length, seconds, rate);
        bass[k] = decayGain (length, bassSeconds, rate);
        high[k] = ratioToMid (length, highSeconds, mid[k], seconds, rate);
    }
}

void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate)
{
    for (int k = 0; k < count; ++k)
        out[k] = ratioToMid (lengths[k], bandSeconds, mid[k], seconds, rate);
}

} // namespace quorvane::kit
