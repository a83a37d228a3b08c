#include "Modulation.h"

#include "engine/ReverbEngine.h"

namespace quorvane::kit
{

EarlyModulation stepEarlyModulators (ReverbEngine& e, float scale)
{
    EarlyModulation m {};
    const float depth = e.earlyModDepthSamples;
    for (size_t k = 0; k < 2; ++k)
    {
        stepWrap (e.earlyModulators[k]);
        const float t = triangle (e.earlyModulators[k]);
        m.tap[2 * k] = (t + 1.0f) * depth * scale;
        m.tap[2 * k + 1] = (1.0f - t) * depth * scale;
    }
    return m;
}

void stepBounceModulators (ReverbEngine& e, float* out, int count)
{
    for (size_t j = 0; j < (size_t) count; ++j)
    {
        stepBounce (e.lateModulators[j], e.random);
        out[j] = e.lateModDepthSamples * e.lateModulators[j].value;
    }
}

void stepWrapModulators (ReverbEngine& e, float* out, int count, int first, int stride)
{
    for (int j = 0; j < count; ++j)
    {
        auto& lfo = e.lateModulators[(size_t) (first + j * stride)];
        stepWrap (lfo);
        out[j] = triangle (lfo);
    }
}

} // namespace quorvane::kit
