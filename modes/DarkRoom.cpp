#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/LengthTables.h"
#include "toolkit/ModeSetup.h"

#include <algorithm>

namespace quorvane::darkroom
{

namespace
{
constexpr int lines = 8;
constexpr int segmentsPerLine = 4;
constexpr int n = blockSize / 2;

// Segment layout: line k is segments k (modulated allpass), 8 + k and 16 + k (fixed allpasses)
// and 24 + k (the plain delay).
constexpr int delayFirst = 3 * lines;

// A short decay with a long bass multiplier would otherwise ask for a bass gain far above 1.
constexpr float bassRatioLimit = 50.0f;

float loop (const ModeState& ms, int k) { return kit::loopLength (ms, k, lines, segmentsPerLine); }
} // namespace

void configureMode (ReverbEngine& e) { kit::configureStandard (e); }

void setLengths (ReverbEngine& e, float sizeFactor)
{
    auto& ms = e.modeState;
    ms.sizeFactor = sizeFactor;
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, kit::roomLengths, lines * segmentsPerLine, ms.sizeFactor, e.controlBlockLength);
    kit::updateGainsAndEarlyLengths (e);
}

void updateLateLengths (ReverbEngine& e)
{
    const double s = e.getValue (param::lateSize);
    setLengths (e, (float) ((s * 0.9 + 0.1) * (double) e.processingRate * (1.0 / 48000.0)));
}

void updateDecayGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.segmentGain.data(), ms.segmentLength.data(), lines * segmentsPerLine, e.decayTime,
                     e.processingRate);
    ms.outputGain = 2.0f * kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    for (int k = 0; k < lines; ++k)
        ms.bassGain[(size_t) k] =
            std::min (bassRatioLimit, kit::bandRatio (loop (ms, k), e.bassDecayTime, e.decayTime, e.processingRate));
}

void updateHighGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    for (int k = 0; k < lines; ++k)
        ms.highGain[(size_t) k] = kit::bandRatio (loop (ms, k), e.highDecayTime, e.decayTime, e.processingRate);
}

void runNetwork (ReverbEngine& e, const float* lineModulation, const kit::EarlyModulation& early, float allpassGain,
                 Feedback feedback)
{
    auto& ms = e.modeState;
    kit::runEarlySection (e, early, lines, n);

    kit::allpassStage (e, kit::AllpassRead::quantised, 0, lines, lineModulation, allpassGain, n);
    kit::fixedAllpassStage (e, lines, lines, allpassGain);
    kit::fixedAllpassStage (e, 2 * lines, lines, allpassGain);
    kit::splitHigh (e, lines, ms.highGain.data(), n);
    // Only the first pair of lines is heard; the others reach the output through the feedback.
    accumulateBlock (e.lateSumBlock[0].get(), e.lineBlock[0].get(), ms.outputGain, n);
    accumulateBlock (e.lateSumBlock[1].get(), e.lineBlock[1].get(), ms.outputGain, n);
    using kit::LineRead;
    kit::delaySegments (e, delayFirst, lines, { LineRead::tap, LineRead::tap, LineRead::tap, LineRead::tap }, nullptr,
                        ms.segmentGain.data(), n);
    kit::splitBass (e, lines, nullptr, ms.bassGain.data(), n);
    kit::mixModeOutput (e, n);

    if (feedback == Feedback::matrix)
        kit::butterflyMatrix (e, lines, n);
    else
    {
        kit::ringShift (e, lines, n);
        kit::crossRotations (e, lines, n);
    }
}

void processNetwork (ReverbEngine& e)
{
    // Every third late modulator, each moving its allpass from the nominal length up to four depths longer.
    float modulation[lines];
    kit::stepWrapModulators (e, modulation, lines, 0, 3);
    for (auto& m : modulation)
        m = (m + 1.0f) * e.lateModDepthSamples * 2.0f;
    runNetwork (e, modulation, kit::stepEarlyModulators (e, 1.0f), e.auxDiffuserGain, Feedback::matrix);
}

} // namespace quorvane::darkroom
