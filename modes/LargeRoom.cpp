#include "LargeRoom.h"

#include "ModeRoutines.h"
#include "engine/ReverbEngine.h"

#include <cmath>

namespace quorvane::largeroom
{

namespace
{
// Late loop lengths at 48 kHz and lateSize 1: a geometric series with ratio 1.0587.
const float lateTable[32] = { 2728.5369f, 2888.692f,  3058.2473f, 3237.7551f, 3427.7996f, 3628.9988f, 3842.0076f,
                              4067.5193f, 4306.2676f, 4559.0293f, 4826.628f,  5109.933f,  5409.867f,  5727.4062f,
                              6063.584f,  6419.494f,  6796.2944f, 7195.212f,  7617.5444f, 8064.666f,  8538.032f,
                              9039.184f,  9569.75f,   10131.459f, 10726.138f, 11355.723f, 12022.262f, 12727.924f,
                              13475.006f, 14265.939f, 15103.297f, 15989.805f };

// Early stage delays (left 0..6, right 8..14) and second predelay tap offsets (7 and 15).
const float earlyTable[16] = { 118.00702f, 155.41524f, 204.68187f, 269.56604f, 355.01846f, 467.5593f,
                               615.77563f, 810.9765f,  143.81697f, 181.68245f, 229.51752f, 289.94702f,
                               366.287f,   462.72647f, 584.55743f, 738.46515f };

const float outputTapGains[16] = { 0.25f,  0.25f,  0.25f,  0.25f,  -0.25f, -0.25f, -0.25f, -0.25f,
                                   -0.25f, -0.25f, -0.25f, -0.25f, 0.25f,  0.25f,  0.25f,  0.25f };

constexpr float lnThousandth = -6.9077554f; // ln(0.001): 60 dB down after the decay time
constexpr int n = 64;
constexpr float ramp = 1.0f / 64.0f;

float decayGain (float length, float seconds, float rate) { return std::exp (lnThousandth * length / (seconds * rate)); }

void stepModulators (ReverbEngine& e, float (&lateMod)[8], float (&earlyMod)[4])
{
    for (int g = 0; g < 8; ++g)
    {
        stepBounce (e.lateModulators[(size_t) g], e.random);
        lateMod[g] = e.lateModDepthSamples * e.lateModulators[(size_t) g].value;
    }
    for (int m = 0; m < 2; ++m)
    {
        stepWrap (e.earlyModulators[(size_t) m]);
        const float t = triangle (e.earlyModulators[(size_t) m]);
        earlyMod[2 * m] = (t + 1.0f) * e.earlyModDepthSamples;
        earlyMod[2 * m + 1] = (1.0f - t) * e.earlyModDepthSamples;
    }
}

/** Predelay taps, diffuser stages, early output and the feed into the late lines. */
void earlySection (ReverbEngine& e, const float (&earlyMod)[4])
{
    auto& ms = e.modeState;
    float* aL = e.tapBlock[0].get();
    float* aR = e.tapBlock[1].get();
    float* bL = e.tapBlock[2].get();
    float* bR = e.tapBlock[3].get();
    const float pd = e.predelaySamples;

    readAllpassRamped (e.predelayLines[0], aL, pd + earlyMod[0], n, 0, ramp);
    readAllpassRamped (e.predelayLines[0], bL, ms.earlyLength[7] + pd + earlyMod[1], n, 1, ramp);
    e.diffusionMixers[14].rotate (aL, bL, n);
    readAllpassRamped (e.predelayLines[1], aR, pd + earlyMod[2], n, 0, ramp);
    readAllpassRamped (e.predelayLines[1], bR, ms.earlyLength[15] + pd + earlyMod[3], n, 1, ramp);
    e.diffusionMixers[15].rotate (aR, bR, n);

    float* directL = e.tempBlock[0].get();
    float* directR = e.tempBlock[1].get();
    readTap (e.predelayLines[0], directL, n, (int) std::trunc (pd), e.directSendGain);
    readTap (e.predelayLines[1], directR, n, (int) std::trunc (pd), e.directSendGain);

    for (int stage = 0; stage < 7; ++stage)
    {
        auto& lineL = e.earlyLines[(size_t) stage];
        writeBlock (lineL, aL, n);
        readTap (lineL, aL, n, ms.earlyLengthFloor[(size_t) stage], 1.0f);
        e.diffusionMixers[2 * (size_t) stage].rotate (aL, bL, n);

        auto& lineR = e.earlyLines[(size_t) stage + 8];
        writeBlock (lineR, aR, n);
        readTap (lineR, aR, n, ms.earlyLengthFloor[(size_t) stage + 8], 1.0f);
        e.diffusionMixers[2 * (size_t) stage + 1].rotate (aR, bR, n);

        e.earlyCrossMixers[(size_t) stage].rotate (aL, aR, n);
    }

    scaleBlock (e.earlyOutBlock[0].get(), bL, e.earlyLevel, n);
    scaleBlock (e.earlyOutBlock[1].get(), bR, e.earlyLevel, n);

    scaleAddBlock (aL, aL, e.earlySendGain, directL, n);
    scaleAddBlock (bL, bL, e.earlySendGain, directL, n);
    scaleAddBlock (aR, aR, e.earlySendGain, directR, n);
    scaleAddBlock (bR, bR, e.earlySendGain, directR, n);

    for (int g = 0; g < 8; ++g)
    {
        addBlock (e.lineBlock[4 * (size_t) g].get(), bL, n);
        addBlock (e.lineBlock[4 * (size_t) g + 1].get(), bR, n);
        addBlock (e.lineBlock[4 * (size_t) g + 2].get(), aL, n);
        addBlock (e.lineBlock[4 * (size_t) g + 3].get(), aR, n);
    }
}

/** Late delays, three-band damping and the output taps. */
void lateLines (ReverbEngine& e, const float (&lateMod)[8])
{
    auto& ms = e.modeState;
    for (size_t k = 0; k < 32; ++k)
        writeBlock (e.lateLines[k], e.lineBlock[k].get(), n);
    for (size_t g = 0; g < 8; ++g)
    {
        const size_t k = 4 * g;
        readLinearRamped (e.lateLines[k], e.lineBlock[k].get(), ms.lateLength[k] + lateMod[g], n, ramp);
        readLinearRamped (e.lateLines[k + 1], e.lineBlock[k + 1].get(), ms.lateLength[k + 1] - lateMod[g], n, ramp);
        readTap (e.lateLines[k + 2], e.lineBlock[k + 2].get(), n, (int) std::trunc (ms.lateLength[k + 2]), 1.0f);
        readTap (e.lateLines[k + 3], e.lineBlock[k + 3].get(), n, (int) std::trunc (ms.lateLength[k + 3]), 1.0f);
    }

    float* lines[32];
    for (size_t k = 0; k < 32; ++k)
        lines[k] = e.lineBlock[k].get();
    splitBandsBank (e.bassFilters.data(), e.bassSplitCoef, lines, ms.midGain.data(), ms.bassGain.data(), 32, n);
    splitBandsBank (e.highFilters.data(), e.highSplitCoef, lines, ms.highRatio.data(), nullptr, 32, n);

    for (size_t j = 0; j < 16; ++j)
    {
        accumulateBlock (e.lateSumBlock[0].get(), e.lineBlock[2 * j].get(), ms.tapGain[j], n);
        accumulateBlock (e.lateSumBlock[1].get(), e.lineBlock[2 * j + 1].get(), ms.tapGain[j], n);
    }
}

/** (X, Y) -> (X + Y, Y - X) */
void butterfly (float* __restrict x, float* __restrict y) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float a = x[i], b = y[i];
        x[i] = a + b;
        y[i] = b - a;
    }
}

/** The 32 x 32 orthogonal feedback matrix: scale, four butterfly stages, the lateCross rotations. */
void feedbackMatrix (ReverbEngine& e)
{
    for (auto& block : e.lineBlock)
        scaleBlock (block.get(), block.get(), e.matrixScale, n);
    for (int span = 16; span >= 2; span /= 2)
        for (int k = 0; k < 32; ++k)
            if ((k & span) == 0)
                butterfly (e.lineBlock[(size_t) k].get(), e.lineBlock[(size_t) (k + span)].get());
    for (size_t m = 0; m < 16; ++m)
        e.lateCrossMixers[m].rotate (e.lineBlock[2 * m].get(), e.lineBlock[2 * m + 1].get(), n);
}
} // namespace

void configureMode (ReverbEngine& e)
{
    beginConfigure (e, 0);
    updateLateLengths (e);
    updateEarlyLengths (e);
    updateDecayGains (e);
    updateBassGains (e);
    updateHighGains (e);
    endConfigure (e);
    for (size_t j = 0; j < 16; ++j)
        e.modeState.tapGain[j] = outputTapGains[j];
}

void updateDecayGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    for (size_t k = 0; k < 32; ++k)
        ms.midGain[k] = decayGain (ms.lateLength[k], e.decayTime, e.hostRate);
    ms.midNormaliser = std::sqrt (ms.normaliserBase / (e.decayTime * e.hostRate));
}

void updateBassGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    for (size_t k = 0; k < 32; ++k)
        ms.bassGain[k] = decayGain (ms.lateLength[k], e.bassDecayTime, e.hostRate);
    ms.bassNormaliser = std::sqrt (ms.normaliserBase / (e.bassDecayTime * e.hostRate));
}

void updateHighGains (ReverbEngine& e)
{
    auto& ms = e.modeState;
    for (size_t k = 0; k < 32; ++k)
        ms.highRatio[k] = decayGain (ms.lateLength[k], e.highDecayTime, e.hostRate) / ms.midGain[k];
}

void updateLateLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 0.9 + 0.1) * (double) e.hostRate * (1.0 / 48000.0));
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    for (size_t k = 0; k < 32; ++k)
        ms.lateLength[k] = lateTable[k] * ms.sizeFactor - 64.0f;
    updateDecayGains (e);
    updateBassGains (e);
    updateHighGains (e);
    updateEarlyLengths (e);
}

void updateEarlyLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const float scale = e.getValue (param::earlySize) * e.hostRate * 3.33667e-7f;
    for (size_t j = 0; j < 16; ++j)
    {
        ms.earlyLength[j] = scale * earlyTable[j];
        ms.earlyLengthFloor[j] = (int32_t) std::floor (ms.earlyLength[j]);
    }
}

void processNetwork (ReverbEngine& e)
{
    float lateMod[8];
    float earlyMod[4];
    stepModulators (e, lateMod, earlyMod);
    earlySection (e, earlyMod);
    lateLines (e, lateMod);
    feedbackMatrix (e);

    auto& ms = e.modeState;
    alignas (16) float band[n];
    for (size_t ch = 0; ch < 2; ++ch)
    {
        float* sum = e.lateSumBlock[ch].get();
        e.outputBassFilters[ch].process (e.bassSplitCoef, sum, band, n);
        bandGainBlock (sum, band, ms.midNormaliser, ms.bassNormaliser, n);
        scaleAddBlock (e.ioBlock[ch].get(), sum, e.lateLevel, e.earlyOutBlock[ch].get(), n);
    }

    for (auto& line : e.lateLines)
        advance (line, n);
    for (auto& line : e.earlyLines)
        advance (line, n);
}

} // namespace quorvane::largeroom
