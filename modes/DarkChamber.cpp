#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/Modulation.h"

namespace quorvane::darkchamber
{

void stepLateModulators (ReverbEngine& e, float* groupModulation)
{
    constexpr int groups = 8;
    kit::stepWrapModulators (e, groupModulation, groups, 0, 1);
    for (int g = 0; g < groups; ++g)
        groupModulation[g] = 2.0f * groupModulation[g] * e.lateModDepthSamples;
}

void processNetwork (ReverbEngine& e)
{
    // Large Chamber's network at half the rate; its lines keep the host rate's size factor, so
    // every delay lasts twice as long.
    float groupModulation[8];
    stepLateModulators (e, groupModulation);
    largeroom::runNetwork (e, groupModulation, kit::stepEarlyModulators (e, 1.0f), blockSize / 2,
                           { largechamber::outputTaps });
}

} // namespace quorvane::darkchamber
