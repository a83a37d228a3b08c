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
    stepBounceBank (e.lateModulators, e.random, count, e.lateModDepthSamples, out);
}

void stepWrapModulators (ReverbEngine& e, float* out, int count, int first, int stride)
{
    stepWrapBank (e.lateModulators, first, stride, count, out);
}

} // namespace quorvane::kit
