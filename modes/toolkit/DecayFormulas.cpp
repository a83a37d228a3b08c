#include "DecayFormulas.h"

namespace quorvane::kit
{

void decayGains (float* out, const float* lengths, int count, float seconds, float rate)
{
    for (int k = 0; k < count; ++k)
        out[k] = decayGain (lengths[k], seconds, rate);
}

void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate)
{
    for (int k = 0; k < count; ++k)
        out[k] = ratioToMid (lengths[k], bandSeconds, mid[k], seconds, rate);
}

} // namespace quorvane::kit
