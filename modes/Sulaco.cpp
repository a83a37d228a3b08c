#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/ModeSetup.h"

#include <algorithm>
#include <cmath>

namespace quorvane::sulaco
{

namespace
{
constexpr int lines = 16;
constexpr int n = blockSize / 2;
// The late output is the first matrix pair alone rather than a sum of taps; its normalisers carry
// this factor.
constexpr float outputFactor = 1.414f;
} // namespace

void updateLateLengths (ReverbEngine& e)
{
    // One geometric series computed for every size: the shortest line 1/5.86 of the longest.
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 1.8 + 0.1) * (double) e.processingRate * (1.0 / 48000.0));
    const float ratio = (float) std::pow (5.859917163848877, 0.06666667014360428);
    ms.normaliserBase = kit::setGeometricLengths (ms, lines, ratio, ms.sizeFactor, 15989.0f, e.controlBlockLength);
    kit::updateLateGains (e);
}

void updateDecayGains (ReverbEngine& e)
{
    largeroom::updateDecayGains (e);
    e.modeState.midNormaliser = e.modeState.midNormaliser * outputFactor;
}

void updateBassGains (ReverbEngine& e)
{
    largeroom::updateBassGains (e);
    e.modeState.bassNormaliser = e.modeState.bassNormaliser * outputFactor;
}

void updateAllGains (ReverbEngine& e)
{
    largeroom::updateAllGains (e);
    e.modeState.midNormaliser = e.modeState.midNormaliser * outputFactor;
    e.modeState.bassNormaliser = e.modeState.bassNormaliser * outputFactor;
}

void processNetwork (ReverbEngine& e)
{
    // The first pair of lines stays put; each later pair moves in opposite directions.
    float modulation[lines] = {};
    float triangles[lines / 2 - 1];
    kit::stepWrapModulators (e, triangles, lines / 2 - 1, 4, 4);
    for (size_t j = 1; j < (size_t) lines / 2; ++j)
    {
        modulation[2 * j] = (triangles[j - 1] + 1.0f) * e.lateModDepthSamples;
        modulation[2 * j + 1] = (1.0f - triangles[j - 1]) * e.lateModDepthSamples;
    }
    auto& ms = e.modeState;
    const auto feed = kit::runEarlySectionDeferred (e, kit::stepEarlyModulators (e, 1.0f), n);
    using kit::LineRead;
    kit::delaySegments (e, 0, lines, { LineRead::linear, LineRead::linear, LineRead::allpass, LineRead::allpass },
                        modulation, nullptr, n, feed,
                        kit::bassThenHigh (e, ms.segmentGain.data(), ms.bassGain.data(), ms.highGain.data()));
    kit::butterflyMatrix (e, lines, n);
    for (size_t c = 0; c < 2; ++c)
        std::copy_n (e.lineBlock[c].get(), n, e.lateSumBlock[c].get());
    kit::mixNormalisedLateBands (e, n);
}

} // namespace quorvane::sulaco
