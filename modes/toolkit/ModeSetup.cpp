#include "ModeSetup.h"

#include "DecayFormulas.h"
#include "LengthTables.h"
#include "engine/ReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace quorvane::kit
{

void configureStandard (ReverbEngine& e)
{
    e.beginModeConfiguration();
    const auto& r = *e.routines;
    r.updateLateLengths (e);
    r.updateEarlyLengths (e);
    updateAllGains (r, e);
    e.finishModeConfiguration();
}

void updateLateGains (ReverbEngine& e) { updateAllGains (*e.routines, e); }

void setSegmentLengths (ModeState& ms, const float* table, int count, float sizeFactor, float blockLength)
{
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        ms.segmentLength[k] = table[k] * sizeFactor - blockLength;
        ms.segmentFloor[k] = floorToInt (ms.segmentLength[k]);
    }
}

float setGeometricLengths (ModeState& ms, int count, float ratio, float sizeFactor, float longest, float blockLength)
{
    float q[32];
    q[0] = 1.0f;
    for (int k = 1; k < count; ++k)
        q[k] = q[k - 1] * ratio;
    const float last = q[count - 1];
    // The lengths and floors side by side; the sum apart, as it adds in order.
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        ms.segmentLength[k] = q[k] / last * sizeFactor * longest - blockLength;
        ms.segmentFloor[k] = floorToInt (ms.segmentLength[k]);
    }
    float sum = 0.0f;
    for (size_t k = 0; k < (size_t) count; ++k)
        sum = sum + ms.segmentLength[k];
    return sum;
}

void loopGains (float* out, const ModeState& ms, int loops, int stride, int segments, float seconds, float rate)
{
    loopLengths (out, ms, loops, stride, segments);
    decayGains (out, out, loops, seconds, rate);
}

void loopRatios (float* out, const ModeState& ms, int loops, int stride, int segments, float bandSeconds,
                 float seconds, float rate, float limit)
{
    // In groups of as many loops as any mode has, each group's lengths and mid gains at hand.
    constexpr int group = 32;
    for (int first = 0; first < loops; first += group)
    {
        const int count = std::min (group, loops - first);
        float lengths[group], mid[group];
        loopLengths (lengths, ms, count, stride, segments, first);
        decayGains (mid, lengths, count, seconds, rate);
        bandRatios (out + first, lengths, mid, count, bandSeconds, seconds, rate, limit);
    }
}

void setLoopGains (ModeState& ms, int loops, int stride, int segments, float seconds, float rate)
{
    static_assert (std::tuple_size_v<decltype (ms.loopGain)> == std::tuple_size_v<decltype (ms.loopLength)>);
    loopLengths (ms.loopLength.data(), ms, loops, stride, segments);
    decayGains (ms.loopGain.data(), ms.loopLength.data(), loops, seconds, rate);
}

void loopGainRatios (float* out, const ModeState& ms, int loops, float bandSeconds, float seconds, float rate,
                     float limit)
{
    bandRatios (out, ms.loopLength.data(), ms.loopGain.data(), loops, bandSeconds, seconds, rate, limit);
}

void updateEarlyLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const float scale = e.getValue (param::earlySize) * e.processingRate * 3.33667e-7f;
    for (size_t j = 0; j < 16; ++j)
    {
        ms.earlyLength[j] = scale * earlyLengths[j];
        ms.earlyFloor[j] = floorToInt (ms.earlyLength[j]);
    }
}

} // namespace quorvane::kit
