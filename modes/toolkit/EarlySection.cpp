#include "EarlySection.h"

#include "engine/ReverbEngine.h"

#include <cmath>

namespace quorvane::kit
{

namespace
{
constexpr int stages = 7;
}

void runEarlySection (ReverbEngine& e, const EarlyModulation& modulation, int lineCount, int n)
{
    const auto& ms = e.modeState;
    float* aL = e.tapBlock[0].get();
    float* aR = e.tapBlock[1].get();
    float* bL = e.tapBlock[2].get();
    float* bR = e.tapBlock[3].get();
    const float pd = e.predelaySamples;
    const float ramp = 1.0f / (float) n;

    readAllpassRamped (e.predelayLines[0], aL, pd + modulation.tap[0], n, 0, ramp);
    readAllpassRamped (e.predelayLines[0], bL, ms.earlyLength[7] + pd + modulation.tap[1], n, 1, ramp);
    e.diffusionMixers[14].rotate (aL, bL, n);
    readAllpassRamped (e.predelayLines[1], aR, pd + modulation.tap[2], n, 0, ramp);
    readAllpassRamped (e.predelayLines[1], bR, ms.earlyLength[15] + pd + modulation.tap[3], n, 1, ramp);
    e.diffusionMixers[15].rotate (aR, bR, n);

    float* directL = e.tempBlock[0].get();
    float* directR = e.tempBlock[1].get();
    readTap (e.predelayLines[0], directL, n, (int) std::trunc (pd), e.directSendGain);
    readTap (e.predelayLines[1], directR, n, (int) std::trunc (pd), e.directSendGain);

    for (size_t stage = 0; stage < stages; ++stage)
    {
        auto& lineL = e.earlyLines[stage];
        writeBlock (lineL, aL, n);
        readTap (lineL, aL, n, ms.earlyFloor[stage], 1.0f);
        e.diffusionMixers[2 * stage].rotate (aL, bL, n);

        auto& lineR = e.earlyLines[stage + 8];
        writeBlock (lineR, aR, n);
        readTap (lineR, aR, n, ms.earlyFloor[stage + 8], 1.0f);
        e.diffusionMixers[2 * stage + 1].rotate (aR, bR, n);

        e.earlyCrossMixers[stage].rotate (aL, aR, n);
    }

    scaleBlock (e.earlyOutBlock[0].get(), bL, e.earlyLevel, n);
    scaleBlock (e.earlyOutBlock[1].get(), bR, e.earlyLevel, n);

    scaleAddBlock (aL, aL, e.earlySendGain, directL, n);
    scaleAddBlock (bL, bL, e.earlySendGain, directL, n);
    scaleAddBlock (aR, aR, e.earlySendGain, directR, n);
    scaleAddBlock (bR, bR, e.earlySendGain, directR, n);

    const float* feed[4] = { bL, bR, aL, aR };
    for (size_t k = 0; k < (size_t) lineCount; ++k)
        addBlock (e.lineBlock[k].get(), feed[k % 4], n);
}

} // namespace quorvane::kit
