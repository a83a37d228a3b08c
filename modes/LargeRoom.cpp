#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/LengthTables.h"
#include "toolkit/ModeSetup.h"

namespace quorvane::largeroom
{

namespace
{
// Even lines feed the left sum, odd lines the right, with alternating signs in groups of four so
// the sums do not favour any one delay.
const float outputTapGains[16] = { 0.25f,  0.25f,  0.25f,  0.25f,  -0.25f, -0.25f, -0.25f, -0.25f,
                                   -0.25f, -0.25f, -0.25f, -0.25f, 0.25f,  0.25f,  0.25f,  0.25f };

constexpr int lines = 32;
constexpr int groups = lines / 4;
} // namespace

void configureMode (ReverbEngine& e)
{
    kit::configureStandard (e);
    for (size_t j = 0; j < 16; ++j)
        e.modeState.leftTapGain[j] = e.modeState.rightTapGain[j] = outputTapGains[j];
}

void updateDecayGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.segmentGain.data(), ms.segmentLength.data(), e.lateLineCount, e.decayTime, e.processingRate);
    ms.midNormaliser = kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.bassGain.data(), ms.segmentLength.data(), e.lateLineCount, e.bassDecayTime, e.processingRate);
    ms.bassNormaliser = kit::lateNormaliser (ms.normaliserBase, e.bassDecayTime, e.processingRate);
}

void updateHighGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::bandRatios (ms.highGain.data(), ms.segmentLength.data(), ms.segmentGain.data(), e.lateLineCount,
                     e.highDecayTime, e.decayTime, e.processingRate);
}

void updateAllGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayBandGains (ms.segmentGain.data(), ms.bassGain.data(), ms.highGain.data(), ms.segmentLength.data(),
                         e.lateLineCount, e.decayTime, e.bassDecayTime, e.highDecayTime, e.processingRate);
    ms.midNormaliser = kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
    ms.bassNormaliser = kit::lateNormaliser (ms.normaliserBase, e.bassDecayTime, e.processingRate);
}

void updateLateLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 0.9 + 0.1) * (double) e.hostRate * (1.0 / 48000.0));
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, kit::roomLengths, lines, ms.sizeFactor, e.controlBlockLength);
    kit::updateLateGains (e);
}

void outputTaps (ReverbEngine& e, int n)
{
    kit::tapLines (e, lines, e.modeState.leftTapGain.data(), e.modeState.rightTapGain.data(), n);
}

void runNetwork (ReverbEngine& e, const float* groupModulation, const kit::EarlyModulation& early, int n,
                 const NetworkShape& shape)
{
    auto& ms = e.modeState;
    const auto feed = kit::runEarlySectionDeferred (e, early, n);

    float modulation[lines] = {};
    for (int g = 0; g < groups; ++g)
    {
        modulation[4 * g] = groupModulation[g];
        modulation[4 * g + 1] = -groupModulation[g];
    }
    using kit::LineRead;
    const auto moving = shape.modulatedRead;
    kit::delaySegments (e, 0, lines, { moving, moving, LineRead::tap, LineRead::tap }, modulation, nullptr, n, feed,
                        kit::bassThenHigh (e, ms.segmentGain.data(), ms.bassGain.data(), ms.highGain.data()));
    shape.taps (e, n);
    kit::butterflyMatrix (e, lines, n);
    if (shape.bandNormaliser)
        return kit::mixNormalisedLateBands (e, n);
    kit::mixScaledModeOutput (e, ms.midNormaliser, n);
}

void processNetwork (ReverbEngine& e)
{
    float groupModulation[groups];
    kit::stepBounceModulators (e, groupModulation, groups);
    runNetwork (e, groupModulation, kit::stepEarlyModulators (e, 1.0f), blockSize, {});
}

} // namespace quorvane::largeroom
