#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/ModeSetup.h"

#include <cmath>

namespace quorvane::lv426
{

namespace
{
constexpr int lines = 4;
constexpr int allpassesPerLine = 6;
constexpr int segments = lines * (allpassesPerLine + 1);
// Segment layout: line k is segments k, 4 + k, .., 20 + k (the allpasses, in order) and 24 + k (the delay).
constexpr int delayFirst = lines * allpassesPerLine;
constexpr int n = blockSize / 2;
constexpr float allpassGain = 0.666667f;
// The softened bass decay would still overshoot on short decays; twice the mid gain is enough.
constexpr float bassRatioLimit = 2.0f;

} // namespace

void updateLateLengths (ReverbEngine& e)
{
    // One geometric series from the longest segment down, recomputed for every size: ratio
    // 1.0961297 per segment, the last one 15987 samples at size factor 1.
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 1.8 + 0.1) * (double) e.processingRate * (1.0 / 48000.0));
    ms.normaliserBase =
        kit::setGeometricLengths (ms, segments, 1.0961297f, ms.sizeFactor, 15987.0f, e.controlBlockLength);
    kit::updateLateGains (e);
}

void updateDecayGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.segmentGain.data(), ms.segmentLength.data(), segments, e.decayTime, e.processingRate);
    ms.outputGain = 4.0f * kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
    // The loops' mid gains, which both band ratios divide by: every change of the lengths, the
    // decay or the rate passes here before the ratios are formed.
    kit::setLoopGains (ms, lines, lines, allpassesPerLine + 1, e.decayTime, e.processingRate);
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::loopGainRatios (ms.bassGain.data(), ms, lines, e.bassDecayShaped, e.decayTime, e.processingRate,
                         bassRatioLimit);
}

void updateHighGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::loopGainRatios (ms.highGain.data(), ms, lines, e.highDecayTime, e.decayTime, e.processingRate);
}

void processNetwork (ReverbEngine& e)
{
    auto& ms = e.modeState;
    // One modulator per allpass, each lengthening its allpass by up to one depth.
    float modulation[delayFirst];
    kit::stepWrapModulators (e, modulation, delayFirst, 0, 1);
    for (auto& m : modulation)
        m = (m + 1.0f) * e.lateModDepthSamples * 0.5f;
    kit::runEarlySection (e, kit::stepEarlyModulators (e, 2.0f), lines, n);

    kit::allpassStage (e, kit::AllpassRead::linear, 0, lines, modulation, allpassGain, n);
    kit::allpassStages (e, lines, allpassesPerLine - 1, lines, modulation, allpassGain, n);
    kit::splitHighThenBass (e, lines, ms.highGain.data(), nullptr, ms.bassGain.data(), n);
    kit::tapLines (e, 2, &ms.outputGain, &ms.outputGain, n);
    using kit::LineRead;
    kit::delaySegments (e, delayFirst, lines, { LineRead::tap, LineRead::tap, LineRead::tap, LineRead::tap }, nullptr,
                        ms.segmentGain.data(), n);
    kit::mixModeOutput (e, n);
    kit::ringShift (e, lines, n);
    kit::crossRotations (e, lines, n);
}

} // namespace quorvane::lv426
