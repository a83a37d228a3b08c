#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/LengthTables.h"
#include "toolkit/ModeSetup.h"
#include "toolkit/Modulation.h"

namespace quorvane::darkspace
{

void updateLateLengths (ReverbEngine& e)
{
    // Large Room's lines at half the rate, each about 1.9 times as long in time.
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 0.9 + 0.1) * (double) e.processingRate * 3.958333283662796e-05);
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, kit::roomLengths, 32, ms.sizeFactor, e.controlBlockLength);
    kit::updateLateGains (e);
}

void processNetwork (ReverbEngine& e)
{
    float groupModulation[8];
    darkchamber::stepLateModulators (e, groupModulation);
    largeroom::runNetwork (e, groupModulation, kit::stepEarlyModulators (e, 2.0f), blockSize / 2, {});
}

} // namespace quorvane::darkspace
