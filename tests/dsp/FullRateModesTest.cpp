// What sets the full-rate modes apart: their lengths, bounds, split filters and tap gains.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace quorvane;
using namespace quorvane::testing;

namespace
{
std::unique_ptr<ReverbEngine> engineIn (int mode, int rate, float lateSize)
{
    auto engine = makeEngine (rate);
    selectMode (*engine, mode);
    setPhysical (*engine, param::lateSize, lateSize);
    return engine;
}
} // namespace

TEST (MediumRoom, EachLineIsAnAllpassThenADelayFillingItsLoop)
{
    auto small = engineIn (1, 44100, 0.0f);
    const auto& ms = small->modeState;
    EXPECT_FLOAT_EQ (ms.sizeFactor, 0.091875f);
    EXPECT_NEAR (ms.segmentLength[0], 417.8f, 0.1f);  // the allpass of line 0
    EXPECT_NEAR (ms.segmentLength[16], 558.9f, 0.1f); // its delay segment
    // Allpass plus delay plus the block the scheme adds is the whole loop.
    EXPECT_NEAR (ms.segmentLength[0] + ms.segmentLength[16] + 64.0f, 11327.157f * ms.sizeFactor, 0.01f);

    auto large = engineIn (1, 96000, 1.0f);
    EXPECT_NEAR (large->modeState.segmentLength[31], 31837.0f, 1.0f);
    EXPECT_LT (large->modeState.segmentLength[31] + 64.0f, (float) large->lateLines[31].size);
}

TEST (BrightRoom, SplitFiltersTiltTheNetworkAndTheOutputHalfUndoesIt)
{
    auto engine = engineIn (2, 48000, 0.5f);
    // Steady gain of a filter (a copy, so the engine is untouched) for DC and for the Nyquist tone.
    auto gain = [] (FirstOrderFilter f, bool nyquist) {
        float x[64], y[64];
        for (int i = 0; i < 64; ++i)
            x[i] = nyquist && (i % 2) ? -1.0f : 1.0f;
        for (int block = 0; block < 50; ++block)
            f.process (64, x, y);
        return std::fabs (y[63]);
    };
    EXPECT_NEAR (gain (engine->inputSplitFilters[0], false), 0.244f, 0.002f);
    EXPECT_NEAR (gain (engine->inputSplitFilters[0], true), 1.756f, 0.002f);
    EXPECT_NEAR (1.0f / gain (engine->outputSplitFilters[0], false), 0.244f, 0.002f);
    EXPECT_NEAR (1.0f / gain (engine->outputSplitFilters[0], true), 1.756f, 0.002f);
}

TEST (BrightRoom, AllpassesNeverReadBelowTheirOwnBlock)
{
    // 22.05 kHz, lateSize 0: the shortest allpass is 2728.5 x 0.0459 - 64 = 61 samples, and deep
    // modulation pulls it further; an allpass reads its block before writing it, so the delay is
    // held at 64.
    auto engine = engineIn (2, 22050, 0.0f);
    setPhysical (*engine, param::lateModDepth, 1.0f);
    EXPECT_LT (engine->modeState.segmentLength[0], 64.0f);
    run (*engine, noise (22050));
    for (size_t k = 0; k < 24; ++k)
        EXPECT_GE (engine->lateLines[k].tapDelay[0], 64.0f) << k;
}

TEST (LargeChamber, TapGainsFallBySquaringTheDecayFactor)
{
    auto engine = engineIn (3, 48000, 0.5f);
    setPhysical (*engine, param::decay, 2.0f);
    const auto& ms = engine->modeState;
    EXPECT_FLOAT_EQ (ms.sizeFactor, 0.8f);
    const double expected[] = { 0.98, 0.96, 0.92, 0.86, 0.73, 0.53, 0.29, 0.082, 0.0067, 0.000044 };
    for (size_t t = 0; t < std::size (expected); ++t)
    {
        const double factor = std::fabs (ms.leftTapGain[t]) / (0.25 * 1.414);
        EXPECT_NEAR (factor / expected[t], 1.0, 0.06) << t;
        EXPECT_FLOAT_EQ (std::fabs (ms.rightTapGain[t]), std::fabs (ms.leftTapGain[t])) << t;
    }
    EXPECT_EQ (ms.leftTapGain[14], 0.0f); // e^16384 is far below any audible contribution
    EXPECT_EQ (ms.leftTapOffset[0], (int32_t) (154.0f * 0.8f * 1.4f));
}

TEST (LargeChamber, LinesAreShorterAndTapsStayInsideTheLoops)
{
    auto small = engineIn (3, 44100, 0.0f);
    EXPECT_NEAR (small->modeState.segmentLength[0], 85.2f, 0.1f);
    for (float size : { 0.0f, 0.5f, 1.0f })
    {
        auto engine = engineIn (3, 48000, size);
        const auto& ms = engine->modeState;
        EXPECT_LT ((float) ms.leftTapOffset[14], ms.segmentLength[28]) << size;
        EXPECT_LT ((float) ms.rightTapOffset[14], ms.segmentLength[29]) << size;
    }
    auto large = engineIn (3, 96000, 1.0f);
    EXPECT_NEAR (large->modeState.segmentLength[31], 28489.0f, 1.0f);
}
