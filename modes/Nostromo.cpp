#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/Modulation.h"

namespace quorvane::nostromo
{

void updateLateLengths (ReverbEngine& e)
{
    // Twice Dark Room's size range: the rings are long loops of four lines each.
    const double s = e.getValue (param::lateSize);
    darkroom::setLengths (e, (float) ((s * 1.8 + 0.2) * (double) e.processingRate * (1.0 / 48000.0)));
}

void processNetwork (ReverbEngine& e)
{
    // Centred late modulation (two depths either way) and doubled early modulation.
    constexpr int lines = 8;
    float modulation[lines];
    kit::stepWrapModulators (e, modulation, lines, 0, 3);
    for (auto& m : modulation)
        m = m * e.lateModDepthSamples * 2.0f;
    darkroom::runNetwork (e, lines, modulation, kit::stepEarlyModulators (e, 2.0f), e.diffuserGain,
                          darkroom::Feedback::rings);
}

} // namespace quorvane::nostromo
