#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/DecayFormulas.h"
#include "toolkit/EarlySection.h"
#include "toolkit/ModeSetup.h"

#include <cmath>
#include <limits>

namespace quorvane::largechamber
{

namespace
{
constexpr int lines = 32;
constexpr int taps = 15;

// Line lengths at 48 kHz and size factor 1: the room series' ratio (1.0587) from a shorter start.
const float chamberLengths[lines] = { 1624.129f,  1719.4595f, 1820.3854f, 1927.2352f, 2040.3568f, 2160.1182f,
                                      2286.9092f, 2421.1423f, 2563.2544f, 2713.708f,  2872.9927f, 3041.6267f,
                                      3220.159f,  3409.1704f, 3609.2761f, 3821.1274f, 4045.4133f, 4282.8643f,
                                      4534.2524f, 4800.3965f, 5082.162f,  5380.4663f, 5696.28f,   6030.6304f,
                                      6384.606f,  6759.359f,  7156.108f,  7576.145f,  8020.837f,  8491.631f,
                                      8990.058f,  9517.741f };

// Tap positions (before the size factor) and signs: left taps read the even lines, right taps the
// odd ones, at positions that interleave between the channels.
const float leftPositions[taps] = { 154,  456,  744,  1068, 1466, 1761, 2160, 2495,
                                    2840, 3194, 3477, 3827, 4186, 4493, 4855 };
const float rightPositions[taps] = { 336,  601,  915,  1222, 1683, 1971, 2339, 2633,
                                     2995, 3372, 3655, 4014, 4327, 4678, 5002 };
const float leftSigns[taps] = { -0.25f, 0.25f, 0.25f, -0.25f, 0.25f, -0.25f, 0.25f, 0.25f,
                                -0.25f, 0.25f, -0.25f, 0.25f, 0.25f, -0.25f, 0.25f };
const float rightSigns[taps] = { 0.25f, -0.25f, 0.25f, -0.25f, 0.25f, 0.25f, -0.25f, 0.25f,
                                 0.25f, 0.25f,  0.25f, -0.25f, 0.25f, -0.25f, 0.25f };

/** A tap gain, with the subnormal ones that the repeated squaring ends in set to zero: they are far
    below the resolution of the sum, and multiplying by them would only drag denormals in. */
float audible (float gain) { return std::fabs (gain) < std::numeric_limits<float>::min() ? 0.0f : gain; }

/** The size factor, in single precision; at the network rate `rate`. */
float sizeFactor (const ReverbEngine& e, float rate)
{
    return (e.getValue (param::lateSize) * 1.4f + 0.1f) * rate * 2.0833333e-5f;
}
} // namespace

void updateLateLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    // The lines keep the host rate's size factor whatever rate they run at.
    ms.sizeFactor = sizeFactor (e, e.hostRate);
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, chamberLengths, lines, ms.sizeFactor, e.controlBlockLength);
    for (size_t t = 0; t < taps; ++t)
    {
        ms.leftTapOffset[t] = kit::floorToInt (leftPositions[t] * ms.sizeFactor * 1.4f);
        ms.rightTapOffset[t] = kit::floorToInt (rightPositions[t] * ms.sizeFactor * 1.4f);
    }
    kit::updateLateGains (e);
}

namespace
{
void updateTapGains (ReverbEngine& e)
{
    // The decay over 340 size-factor samples, squared from each tap to the next: the first few
    // taps carry the late output, the later ones fade out steeply.
    auto& ms = e.modeState;
    const float b = sizeFactor (e, e.processingRate);
    float factor = std::exp (kit::lnThousandth * 340.0f * b / (e.decayTime * e.processingRate));
    for (size_t t = 0; t < taps; ++t)
    {
        ms.leftTapGain[t] = audible (leftSigns[t] * factor * 1.414f);
        ms.rightTapGain[t] = audible (rightSigns[t] * factor * 1.414f);
        factor = factor * factor;
    }
}
} // namespace

void updateDecayGains (ReverbEngine& e)
{
    largeroom::updateDecayGains (e);
    updateTapGains (e);
}

void updateAllGains (ReverbEngine& e)
{
    largeroom::updateAllGains (e);
    updateTapGains (e);
}

void outputTaps (ReverbEngine& e, int n)
{
    // Left taps read the even lines, right taps the odd ones; a faded tap (gain 0) adds nothing
    // but time, and is left out.
    const auto& ms = e.modeState;
    const TapSet channels[2] = {
        { e.lateLines.data(), ms.leftTapOffset.data(), ms.leftTapGain.data(), e.lateSumBlock[0].get() },
        { e.lateLines.data() + 1, ms.rightTapOffset.data(), ms.rightTapGain.data(), e.lateSumBlock[1].get() }
    };
    readTapsAdded (channels, 2, 2, taps, n);
}

void processNetwork (ReverbEngine& e)
{
    float groupModulation[lines / 4];
    kit::stepBounceModulators (e, groupModulation, lines / 4);
    largeroom::runNetwork (e, groupModulation, kit::stepEarlyModulators (e, 1.0f), blockSize, { outputTaps });
}

} // namespace quorvane::largechamber
