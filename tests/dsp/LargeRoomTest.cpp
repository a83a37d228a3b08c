#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace quorvane;
using namespace quorvane::testing;

namespace
{
/** A steep enough band filter for decay measurements: four cascaded one-pole sections. */
std::vector<float> band (const std::vector<float>& x, double rate, double hz, bool high)
{
    const double a = std::exp (-2.0 * 3.14159265358979 * hz / rate);
    std::vector<double> y (x.begin(), x.end());
    for (int pass = 0; pass < 4; ++pass)
    {
        double state = 0.0;
        for (auto& v : y)
        {
            state = (1.0 - a) * v + a * state;
            v = high ? v - state : state;
        }
    }
    return std::vector<float> (y.begin(), y.end());
}

struct BandDecays
{
    double low, mid, high;
};

/** T30 of the late reverberation alone in a low band (below 60 Hz), a mid band (700 to 1400 Hz)
    and a high band (above 12 kHz). */
BandDecays measureDecays (float decay, float bassMultiply, float highMultiply, float highXover)
{
    const int rate = 48000;
    auto engine = makeEngine (rate);
    setPhysical (*engine, param::earlyLateMix, 100.0f); // the late section alone
    setPhysical (*engine, param::decay, decay);
    setPhysical (*engine, param::rtBassMultiply, bassMultiply);
    setPhysical (*engine, param::rtHighMultiply, highMultiply);
    setPhysical (*engine, param::rtXover, 200.0f);
    setPhysical (*engine, param::rtHighXover, highXover);
    setPhysical (*engine, param::highCut, 15000.0f);
    const double seconds = 1.0 + 0.8 * decay * std::max (1.0f, bassMultiply);
    const auto ir = mono (impulseResponse (*engine, (int) (seconds * rate)));
    return { t30Seconds (band (ir, rate, 60.0, false), rate),
             t30Seconds (band (band (ir, rate, 700.0, true), rate, 1400.0, false), rate),
             t30Seconds (band (ir, rate, 12000.0, true), rate) };
}
} // namespace

TEST (LargeRoom, MeasuredDecayFollowsTheDecayParameter)
{
    for (float decay : { 0.5f, 1.0f, 2.0f, 5.0f, 20.0f })
    {
        const double t30 = measureDecays (decay, 1.0f, 1.0f, 4000.0f).mid;
        EXPECT_NEAR (t30 / decay, 1.0, 0.06) << "decay " << decay << " measured " << t30;
    }
}

TEST (LargeRoom, BassMultiplierScalesTheLowBandDecayOnly)
{
    const float decay = 1.5f;
    for (float multiply : { 0.5f, 2.0f })
    {
        const auto t = measureDecays (decay, multiply, 1.0f, 4000.0f);
        EXPECT_NEAR (t.low / (decay * multiply), 1.0, 0.1) << multiply;
        EXPECT_NEAR (t.mid / decay, 1.0, 0.06) << multiply;
    }
}

TEST (LargeRoom, HighMultiplierShortensTheHighBandDecayOnly)
{
    const float decay = 1.5f;
    const auto flat = measureDecays (decay, 1.0f, 1.0f, 1000.0f);
    const auto damped = measureDecays (decay, 1.0f, 0.25f, 1000.0f);
    // Half the lines read through interpolation, which drains the top octave a little faster still.
    EXPECT_NEAR (flat.high / decay, 1.0, 0.25);
    EXPECT_NEAR (damped.high / (decay * 0.25), 1.0, 0.25);
    EXPECT_LT (damped.high, 0.45 * flat.high);
    EXPECT_NEAR (damped.low / flat.low, 1.0, 0.05);
}

TEST (LargeRoom, SizeScalesTheEchoDensityButNotTheDecay)
{
    for (float size : { 0.0f, 1.0f })
    {
        auto engine = makeEngine();
        setPhysical (*engine, param::lateSize, size);
        setPhysical (*engine, param::decay, 1.0f);
        const auto ir = mono (impulseResponse (*engine, 72000));
        EXPECT_NEAR (t30Seconds (ir, 48000.0) / 1.0, 1.0, 0.06) << size;
        EXPECT_NEAR (engine->modeState.lateLength[0], 2728.5369f * engine->modeState.sizeFactor - 64.0f, 1e-3f);
    }
}

TEST (LargeRoom, BothChannelsReverberateAMonoFeedAndTheEarlySectionIsHeard)
{
    auto engine = makeEngine();
    setPhysical (*engine, param::earlyLateMix, 100.0f); // early section alone
    Stereo in { std::vector<float> (24000), std::vector<float> (24000) };
    in.left[0] = 1.0f;
    const auto out = run (*engine, in);
    double left = 0.0, right = 0.0;
    for (size_t i = 0; i < out.left.size(); ++i)
    {
        left += (double) out.left[i] * out.left[i];
        right += (double) out.right[i] * out.right[i];
    }
    EXPECT_GT (left, 1e-4);
    EXPECT_GT (right, 1e-6); // earlyCross leaks into the other side
}
