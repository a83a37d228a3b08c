#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/LengthTables.h"
#include "toolkit/ModeSetup.h"

#include <tuple>

namespace quorvane::darkroom
{

namespace
{
constexpr int lines = 8;
constexpr int segmentsPerLine = 4;
constexpr int n = blockSize / 2;

// Segment layout (the same with fewer lines running): line k is segments k (modulated allpass),
// 8 + k and 16 + k (fixed allpasses) and 24 + k (the plain delay).
constexpr int stride = lines;
constexpr int delayFirst = 3 * stride;

// A short decay with a long bass multiplier would otherwise ask for a bass gain far above 1.
constexpr float bassRatioLimit = 50.0f;
} // namespace

void setLengths (ReverbEngine& e, float sizeFactor)
{
    auto& ms = e.modeState;
    ms.sizeFactor = sizeFactor;
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, kit::roomLengths, lines * segmentsPerLine, ms.sizeFactor, e.controlBlockLength);
    kit::updateLateGains (e);
}

void updateLateLengths (ReverbEngine& e)
{
    const double s = e.getValue (param::lateSize);
    setLengths (e, (float) ((s * 0.9 + 0.1) * (double) e.processingRate * (1.0 / 48000.0)));
}

void setDecayGains (ReverbEngine& e, float outputFactor, int lineCount)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.segmentGain.data(), ms.segmentLength.data(), stride * segmentsPerLine, e.decayTime,
                     e.processingRate);
    ms.outputGain = outputFactor * kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
    // The loops' lengths and mid gains, which both band ratios divide by: every change of the
    // lengths, the decay or the rate passes here before the ratios are formed.
    static_assert (lines <= (int) std::tuple_size_v<decltype (ms.loopGain)>);
    kit::setLoopGains (ms, lineCount, stride, segmentsPerLine, e.decayTime, e.processingRate);
}

void setBassRatios (ReverbEngine& e, int lineCount)
{
    auto& ms = e.modeState;
    kit::loopGainRatios (ms.bassGain.data(), ms, lineCount, e.bassDecayTime, e.decayTime, e.processingRate,
                         bassRatioLimit);
}

void setHighRatios (ReverbEngine& e, int lineCount)
{
    auto& ms = e.modeState;
    kit::loopGainRatios (ms.highGain.data(), ms, lineCount, e.highDecayTime, e.decayTime, e.processingRate);
}

void updateDecayGains (ReverbEngine& e) { setDecayGains (e, 2.0f, lines); }

void updateBassGains (ReverbEngine& e) { setBassRatios (e, lines); }

void updateHighGains (ReverbEngine& e) { setHighRatios (e, lines); }

void runNetwork (ReverbEngine& e, int lineCount, const float* lineModulation, const kit::EarlyModulation& early,
                 float allpassGain, Feedback feedback)
{
    auto& ms = e.modeState;
    kit::runEarlySection (e, early, lineCount, n);

    kit::allpassStage (e, kit::AllpassRead::quantised, 0, lineCount, lineModulation, allpassGain, n);
    kit::fixedAllpassStage (e, stride, lineCount, allpassGain);
    kit::fixedAllpassStage (e, 2 * stride, lineCount, allpassGain);
    kit::splitHigh (e, lineCount, ms.highGain.data(), n);
    // Only the first pair of lines is heard; the others reach the output through the feedback.
    kit::tapLines (e, 2, &ms.outputGain, &ms.outputGain, n);
    using kit::LineRead;
    kit::delaySegments (e, delayFirst, lineCount, { LineRead::tap, LineRead::tap, LineRead::tap, LineRead::tap },
                        nullptr, ms.segmentGain.data(), n);
    kit::splitBass (e, lineCount, nullptr, ms.bassGain.data(), n);
    kit::mixModeOutput (e, n);

    if (feedback == Feedback::matrix)
        kit::butterflyMatrix (e, lineCount, n);
    else
    {
        kit::ringShift (e, lineCount, n);
        kit::crossRotations (e, lineCount, n);
    }
}

void runRings (ReverbEngine& e, int lineCount)
{
    // Centred late modulation (two depths either way) and doubled early modulation.
    float modulation[lines];
    kit::stepWrapModulators (e, modulation, lineCount, 0, 3);
    for (int k = 0; k < lineCount; ++k)
        modulation[k] = modulation[k] * e.lateModDepthSamples * 2.0f;
    runNetwork (e, lineCount, modulation, kit::stepEarlyModulators (e, 2.0f), e.diffuserGain, Feedback::rings);
}

void processNetwork (ReverbEngine& e)
{
    // Every third late modulator, each moving its allpass from the nominal length up to four depths longer.
    float modulation[lines];
    kit::stepWrapModulators (e, modulation, lines, 0, 3);
    for (auto& m : modulation)
        m = (m + 1.0f) * e.lateModDepthSamples * 2.0f;
    runNetwork (e, lines, modulation, kit::stepEarlyModulators (e, 1.0f), e.auxDiffuserGain, Feedback::matrix);
}

} // namespace quorvane::darkroom
