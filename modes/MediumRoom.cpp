#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/LateNetwork.h"
#include "toolkit/ModeSetup.h"

#include <cmath>

namespace quorvane::mediumroom
{

namespace
{
constexpr int lines = 16;

// Allpass segments, then whole loops, at 48 kHz and size factor 1: together one geometric series
// of 32 values (ratio about 1.0587), so each line's allpass is shorter than any line's loop.
const float allpassLengths[lines] = { 4547.561523f, 4814.486328f, 5097.079102f, 5396.258789f,
                                      5712.999023f, 6048.331055f, 6403.345703f, 6779.19873f,
                                      7177.112305f, 7598.382324f, 8044.379395f, 8516.554688f,
                                      9016.445312f, 9545.677734f, 10105.973633f, 10699.15625f };
const float loopLengths[lines] = { 11327.157227f, 11992.019531f, 12695.907227f, 13441.110352f,
                                   14230.053711f, 15065.305664f, 15949.583008f, 16885.763672f,
                                   17876.896484f, 18926.205078f, 20037.103516f, 21213.207031f,
                                   22458.34375f,  23776.564453f, 25172.162109f, 26649.675781f };

// Output tap signs; the right channel's alternate within each group so the two sums decorrelate.
const float leftSigns[lines] = { 0.25f,  0.25f,  0.25f,  0.25f,  -0.25f, -0.25f, -0.25f, -0.25f,
                                 -0.25f, -0.25f, -0.25f, -0.25f, 0.25f,  0.25f,  0.25f,  0.25f };
const float rightSigns[lines] = { 0.25f,  -0.25f, 0.25f, -0.25f, -0.25f, 0.25f, -0.25f, 0.25f,
                                  -0.25f, 0.25f,  -0.25f, 0.25f, 0.25f,  -0.25f, 0.25f, -0.25f };

// Segment layout in the mode state: allpass k is segment k, the delay after it segment 16 + k.
constexpr int delayFirst = lines;
} // namespace

void configureMode (ReverbEngine& e)
{
    kit::configureStandard (e);
    // The tap gains are constants: set with the mode, not again with every decay.
    auto& ms = e.modeState;
    for (size_t j = 0; j < (size_t) lines; ++j)
    {
        ms.leftTapGain[j] = leftSigns[j] * 1.414f;
        ms.rightTapGain[j] = rightSigns[j] * 1.414f;
    }
}

void updateLateLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 0.9 + 0.1) * (double) e.processingRate * (1.0 / 48000.0));
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    for (size_t k = 0; k < (size_t) lines; ++k)
    {
        const float a = allpassLengths[k] * ms.sizeFactor;
        const float d = loopLengths[k] * ms.sizeFactor - e.controlBlockLength - a;
        ms.segmentLength[k] = a;
        ms.segmentLength[k + delayFirst] = d;
        ms.segmentFloor[k] = kit::floorToInt (a);
        ms.segmentFloor[k + delayFirst] = kit::floorToInt (d);
    }
    kit::updateLateGains (e);
}

void updateDecayGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::decayGains (ms.segmentGain.data(), ms.segmentLength.data(), 2 * lines, e.decayTime, e.processingRate);
    ms.midNormaliser = kit::lateNormaliser (ms.normaliserBase, e.decayTime, e.processingRate);
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    kit::loopGains (ms.bassGain.data(), ms, lines, delayFirst, 2, e.bassDecayTime, e.processingRate);
    ms.bassNormaliser = kit::lateNormaliser (ms.normaliserBase, e.bassDecayTime, e.processingRate);
}

void updateHighGains (ReverbEngine& e)
{
    // The ratio is taken to the allpass segment's gain, not to the whole loop's.
    auto& ms = e.modeState;
    float* const high = ms.highGain.data();
    kit::loopGains (high, ms, lines, delayFirst, 2, e.highDecayTime, e.processingRate);
    for (int k = 0; k < lines; ++k)
        high[k] = high[k] / ms.segmentGain[(size_t) k];
}

void processNetwork (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const int n = blockSize;
    float modulation[lines];
    kit::stepBounceModulators (e, modulation, lines);
    kit::runEarlySection (e, kit::stepEarlyModulators (e, 1.0f), lines, n);

    kit::allpassStage (e, kit::AllpassRead::linear, 0, lines, modulation, e.diffuserGain, n);
    // Half the taps before the delay segments, half after the corrections.
    const size_t half = lines / 2;
    kit::tapLines (e, lines, ms.leftTapGain.data(), ms.rightTapGain.data(), n);
    using kit::LineRead;
    const auto splits =
        kit::bassThenHigh (e, ms.segmentGain.data() + delayFirst, ms.bassGain.data(), ms.highGain.data());
    kit::delaySegments (e, delayFirst, lines, { LineRead::tap, LineRead::tap, LineRead::tap, LineRead::tap }, nullptr,
                        nullptr, n, splits);
    kit::tapLines (e, lines, ms.leftTapGain.data() + half, ms.rightTapGain.data() + half, n);

    kit::mixNormalisedLateBands (e, n);
    kit::butterflyMatrix (e, lines, n);
}

} // namespace quorvane::mediumroom
