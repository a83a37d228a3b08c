#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/ModeSetup.h"

namespace quorvane::brightroom
{

namespace
{
constexpr int loops = 8;
constexpr int allpassesPerLoop = 3;
// Segment layout: loop i is segments i, i + 8, i + 16 (the allpasses) and i + 24 (the delay).
constexpr int delayFirst = loops * allpassesPerLoop;

// Each loop reaches the outputs once per pass: even loops the left sum, odd loops the right.
const float tapSigns[loops / 2] = { 1.0f, 1.0f, -1.0f, -1.0f };

} // namespace

void configureMode (ReverbEngine& e)
{
    kit::configureStandard (e);
    for (size_t j = 0; j < loops / 2; ++j)
        e.modeState.leftTapGain[j] = e.modeState.rightTapGain[j] = tapSigns[j];
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::loopGains (ms.bassGain.data(), ms, loops, loops, allpassesPerLoop + 1, e.bassDecayTime, e.processingRate);
}

void updateHighGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::loopRatios (ms.highGain.data(), ms, loops, loops, allpassesPerLoop + 1, e.highDecayTime, e.decayTime,
                     e.processingRate);
}

void processNetwork (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const int n = blockSize;
    float modulation[delayFirst];
    kit::stepBounceModulators (e, modulation, delayFirst);
    kit::runEarlySection (e, kit::stepEarlyModulators (e, 1.0f), loops, n);

    for (int s = 0; s < allpassesPerLoop; ++s)
        kit::allpassStage (e, kit::AllpassRead::allpass, s * loops, loops, modulation, e.diffuserGain, n);
    kit::tapLines (e, loops, ms.leftTapGain.data(), ms.rightTapGain.data(), n);
    using kit::LineRead;
    // The delay segment's own decay sits above the bass split; the loop's bass decay below it.
    const auto splits =
        kit::highThenBass (e, ms.highGain.data(), ms.segmentGain.data() + delayFirst, ms.bassGain.data());
    kit::delaySegments (e, delayFirst, loops, { LineRead::tap, LineRead::tap, LineRead::tap, LineRead::tap }, nullptr,
                        nullptr, n, splits);

    kit::mixScaledModeOutput (e, ms.midNormaliser, n);
    kit::butterflyMatrix (e, loops, n);
}

} // namespace quorvane::brightroom
