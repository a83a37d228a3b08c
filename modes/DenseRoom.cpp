#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/ModeSetup.h"
#include "toolkit/Modulation.h"

namespace quorvane::denseroom
{

namespace
{
constexpr int lines = 32;

// Line lengths at 48 kHz and size factor 1: geometric with ratio 1.0893, starting lower than the
// room series, so the 32 lines pack the echoes closer together.
const float denseLengths[lines] = { 1127.127808f, 1227.807373f, 1337.480103f, 1456.949341f, 1587.089966f,
                                    1728.855225f, 1883.283569f, 2051.506104f, 2234.755127f, 2434.372314f,
                                    2651.820557f, 2888.691895f, 3146.721436f, 3427.799561f, 3733.984375f,
                                    4067.519043f, 4430.84668f,  4826.62793f,  5257.761719f, 5727.40625f,
                                    6239.001465f, 6796.294434f, 7403.367188f, 8064.666016f, 8785.035156f,
                                    9569.75f,     10424.558594f, 11355.722656f, 12370.061523f, 13475.005859f,
                                    14678.648438f, 15989.804688f };
} // namespace

void updateLateLengths (ReverbEngine& e)
{
    auto& ms = e.modeState;
    const double s = e.getValue (param::lateSize);
    ms.sizeFactor = (float) ((s * 0.8 + 0.2) * (double) e.processingRate * 3.958333283662796e-05);
    ms.normaliserBase = e.lateNormaliser * ms.sizeFactor;
    kit::setSegmentLengths (ms, denseLengths, lines, ms.sizeFactor, e.controlBlockLength);
    kit::updateLateGains (e);
}

void processNetwork (ReverbEngine& e)
{
    float groupModulation[lines / 4];
    darkchamber::stepLateModulators (e, groupModulation);
    // The late sums get one gain, the mid normaliser, after the matrix.
    largeroom::runNetwork (e, groupModulation, kit::stepEarlyModulators (e, 2.0f), blockSize / 2,
                           { largeroom::outputTaps, kit::LineRead::allpass, false });
}

} // namespace quorvane::denseroom
