// The half-rate frame and what sets the first half-rate modes apart.
#include "EngineTestSupport.h"

#include "modes/toolkit/ModeSetup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>

using namespace quorvane;
using namespace quorvane::testing;

namespace
{
constexpr double pi = 3.14159265358979;

std::unique_ptr<ReverbEngine> engineIn (int mode, int rate = 48000)
{
    auto engine = makeEngine (rate);
    selectMode (*engine, mode);
    return engine;
}

/** Energy of a signal within a band of a discrete Fourier transform (by direct summation over a
    coarse grid of bins, enough for band levels). */
double bandEnergy (const std::vector<float>& x, double rate, double lowHz, double highHz)
{
    double sum = 0.0;
    const size_t n = x.size();
    for (double hz = lowHz; hz < highHz; hz += 50.0)
    {
        double re = 0.0, im = 0.0;
        const double w = 2.0 * pi * hz / rate;
        for (size_t i = 0; i < n; ++i)
        {
            re += x[i] * std::cos (w * (double) i);
            im -= x[i] * std::sin (w * (double) i);
        }
        sum += re * re + im * im;
    }
    return sum;
}
} // namespace

TEST (HalfRateFrame, ModeChangeMovesTheNetworkToHalfTheRate)
{
    auto engine = engineIn (3);
    selectMode (*engine, 4);
    EXPECT_TRUE (engine->isHalfRate());
    EXPECT_EQ (engine->processingRate, 24000.0f);
    EXPECT_EQ (engine->controlBlockLength, 32.0f);
    EXPECT_FLOAT_EQ (engine->predelaySamples, 24000.0f * 10.0f * 0.001f + 2.0f); // 10 ms: 242
    engine->prepare (96000);
    EXPECT_EQ (engine->processingRate, 48000.0f);
    selectMode (*engine, 0);
    EXPECT_FALSE (engine->isHalfRate());
    EXPECT_EQ (engine->processingRate, 96000.0f);
}

TEST (HalfRateFrame, ResampledPathAliasesNoMoreThanTheHalfbandStopBandAllows)
{
    // A sine above the network's Nyquist frequency (a quarter of the host rate) is decimated, so
    // whatever survives folds down to 24 kHz - f in the network. Measured: the aliased level
    // after decimation, relative to the sine, across the upper part of the band.
    const double rate = 48000.0;
    double worstDb = -200.0;
    for (double hz = 13000.0; hz <= 23000.0; hz += 1000.0)
    {
        HalfbandFilter down;
        std::vector<float> in (64), half;
        for (int block = 0; block < 64; ++block)
        {
            for (int i = 0; i < 64; ++i)
                in[(size_t) i] = (float) std::sin (2.0 * pi * hz * (block * 64 + i) / rate);
            float out[32];
            down.decimate (in.data(), out);
            if (block >= 16)
                half.insert (half.end(), out, out + 32);
        }
        const double alias = 24000.0 - hz;
        const double aliased = bandEnergy (half, rate / 2.0, alias - 25.0, alias + 25.0);
        std::vector<float> reference (half.size());
        for (size_t i = 0; i < reference.size(); ++i)
            reference[i] = (float) std::sin (2.0 * pi * alias * (double) i / (rate / 2.0));
        const double full = bandEnergy (reference, rate / 2.0, alias - 25.0, alias + 25.0);
        const double db = 10.0 * std::log10 (aliased / full);
        worstDb = std::max (worstDb, db);
        if (hz >= 14000.0)
        {
            EXPECT_LT (db, -40.0) << hz << " Hz";
        }
    }
    std::printf ("worst alias after decimation, 13 to 23 kHz at 48 kHz: %.1f dB\n", worstDb);
}

TEST (HalfRateModes, NetworkIsBandLimitedBelowAQuarterOfTheHostRate)
{
    // Dark Chamber is Large Chamber at half the rate: the same impulse, with the high cut open,
    // leaves almost nothing above 12 kHz, where Large Chamber still rings.
    auto upperShare = [] (int mode) {
        auto engine = engineIn (mode);
        setPhysical (*engine, param::earlyLateMix, 100.0f);
        setPhysical (*engine, param::highCut, 15000.0f);
        setPhysical (*engine, param::rtHighMultiply, 1.0f);
        setPhysical (*engine, param::rtHighXover, 15000.0f);
        setPhysical (*engine, param::lateModDepth, 0.0f);
        settle (*engine);
        auto ir = mono (impulseResponse (*engine, 9600));
        return bandEnergy (ir, 48000.0, 13000.0, 23000.0) / bandEnergy (ir, 48000.0, 1000.0, 11000.0);
    };
    const double full = upperShare (3), half = upperShare (5);
    std::printf ("energy 13 to 23 kHz over 1 to 11 kHz: Large Chamber %.1f dB, Dark Chamber %.1f dB\n",
                 10.0 * std::log10 (full), 10.0 * std::log10 (half));
    EXPECT_GT (full, 1e-3);
    EXPECT_LT (half, full * 1e-3);
}

TEST (DarkRoom, HighCutMovesGlideOverTensOfMilliseconds)
{
    auto engine = engineIn (4);
    const auto& cut = engine->highCutFilters[0];
    EXPECT_EQ (cut.current[2], cut.b0); // the mode starts at the corner set, with no fade-in
    Stereo block { std::vector<float> (64), std::vector<float> (64) };
    run (*engine, block); // running: from now on a new corner glides
    const float before = cut.current[2];

    setPhysical (*engine, param::highCut, 1000.0f);
    run (*engine, block);
    const float afterOneBlock = cut.current[2];
    EXPECT_NE (afterOneBlock, cut.b0);                                     // not one step
    EXPECT_NEAR ((afterOneBlock - before) / (cut.b0 - before), 0.0263, 0.002); // 1 - exp(-1000/37500)
    // About 50 ms for 1 / e: after 50 ms, 63 % of the way; after 300 ms, practically there.
    run (*engine, Stereo { std::vector<float> (2400 - 64), std::vector<float> (2400 - 64) });
    EXPECT_NEAR ((cut.current[2] - before) / (cut.b0 - before), 0.63, 0.03);
    run (*engine, Stereo { std::vector<float> (12000), std::vector<float> (12000) });
    EXPECT_NEAR ((cut.current[2] - before) / (cut.b0 - before), 1.0, 0.01);
}

TEST (DarkRoom, BassRatioIsLimitedAndTheHighRatioIsNot)
{
    auto engine = engineIn (4);
    const auto& ms = engine->modeState;
    setPhysical (*engine, param::lateSize, 1.0f);
    setPhysical (*engine, param::decay, 0.1f);
    setPhysical (*engine, param::rtBassMultiply, 2.0f);
    for (size_t k = 0; k < 8; ++k)
        EXPECT_EQ (ms.bassGain[k], 50.0f) << k; // unlimited it would be astronomically large
    setPhysical (*engine, param::lateSize, 0.0f);
    setPhysical (*engine, param::decay, 1.0f);
    EXPECT_LT (ms.bassGain[0], 50.0f);
    EXPECT_GT (ms.bassGain[0], 1.0f);

    setPhysical (*engine, param::rtHighMultiply, 1.0f);
    EXPECT_EQ (ms.highGain[0], 1.0f); // the top band then decays with the rest
    setPhysical (*engine, param::rtHighMultiply, 0.1f);
    for (size_t k = 0; k < 8; ++k)
    {
        EXPECT_GT (ms.highGain[k], 0.0f) << k;
        EXPECT_LT (ms.highGain[k], 0.1f) << k; // small, and used as it is: no floor
    }
}

TEST (DarkRoomFamily, BandRatiosFollowTheLoopsAsTheyAreNowWhateverChangedLast)
{
    // The ratios divide by loop gains kept from the last decay or length change: after any
    // sequence of changes they must be the ratios the current loops give, bit for bit.
    std::mt19937 rng (11);
    const param::Index changed[] = { param::decay, param::rtBassMultiply, param::rtHighMultiply, param::lateSize };
    for (const auto& [mode, loops] : { std::pair { 4, 8 }, std::pair { 7, 8 }, std::pair { 8, 4 } })
    {
        auto engine = engineIn (mode, mode == 7 ? 44100 : 48000);
        const auto& ms = engine->modeState;
        for (int step = 0; step < 60; ++step)
        {
            engine->setNormalised (changed[rng() % 4], (float) (rng() % 1000) / 999.0f);
            float bass[8], high[8];
            kit::loopRatios (bass, ms, loops, 8, 4, engine->bassDecayTime, engine->decayTime, engine->processingRate,
                             50.0f);
            kit::loopRatios (high, ms, loops, 8, 4, engine->highDecayTime, engine->decayTime, engine->processingRate);
            for (size_t k = 0; k < (size_t) loops; ++k)
            {
                ASSERT_EQ (ms.bassGain[k], bass[k]) << "mode " << mode << ", step " << step << ", loop " << k;
                ASSERT_EQ (ms.highGain[k], high[k]) << "mode " << mode << ", step " << step << ", loop " << k;
            }
        }
    }
}

TEST (DarkSpaceAndNostromo, LinesRunLongerAtHalfTheRate)
{
    auto space = engineIn (6);
    setPhysical (*space, param::lateSize, 1.0f);
    EXPECT_NEAR (space->modeState.sizeFactor, 0.95f, 1e-6f);
    EXPECT_NEAR (space->modeState.segmentLength[31], 15158.3f, 0.5f); // about 632 ms at 24 kHz

    auto nostromo = engineIn (7, 96000);
    setPhysical (*nostromo, param::lateSize, 1.0f);
    EXPECT_NEAR (nostromo->modeState.segmentLength[31], 31948.0f, 1.0f);
    EXPECT_LT (nostromo->modeState.segmentLength[31] + 64.0f, (float) nostromo->lateLines[31].size);
}

TEST (Narcissus, FourOfDarkRoomsLinesWithTwiceTheOutputGain)
{
    auto engine = engineIn (8);
    setPhysical (*engine, param::lateSize, 0.5f);
    setPhysical (*engine, param::decay, 2.0f);
    EXPECT_NEAR (engine->modeState.sizeFactor, 0.275f, 1e-6f);
    EXPECT_NEAR (engine->modeState.outputGain, 2.52f, 0.01f);
    auto dark = engineIn (4);
    setPhysical (*dark, param::lateSize, 0.5f);
    setPhysical (*dark, param::decay, 2.0f);
    for (size_t s = 0; s < 32; ++s)
        EXPECT_EQ (engine->modeState.segmentLength[s], dark->modeState.segmentLength[s]) << s;
}

TEST (Sulaco, LineLengthsFormOneGeometricSeries)
{
    auto engine = engineIn (9);
    setPhysical (*engine, param::lateSize, 0.5f);
    const auto& ms = engine->modeState;
    EXPECT_NEAR (ms.sizeFactor, 0.5f, 1e-6f);
    EXPECT_NEAR (ms.segmentLength[15], 7962.5f, 0.01f);
    EXPECT_NEAR (ms.segmentLength[0], 1332.3f, 0.2f);
    for (float size : { 0.0f, 1.0f })
    {
        setPhysical (*engine, param::lateSize, size);
        EXPECT_NEAR ((ms.segmentLength[15] + 32.0f) / (ms.segmentLength[0] + 32.0f), 5.86f, 0.01f) << size;
    }
}

TEST (Lv426, LengthsComeFromTheSeriesAndTheBassRatioIsSoftenedAndLimited)
{
    // With size factor 1 the 28 segments run from about 1309 to 15955 samples.
    auto engine = engineIn (10, 44100);
    const auto& ms = engine->modeState;
    setPhysical (*engine, param::lateSize, 0.0f);
    EXPECT_NEAR (ms.sizeFactor, 0.0459375f, 1e-7f);
    EXPECT_NEAR (ms.segmentLength[0], 29.6f, 0.1f); // below the block: its allpass is held at 32
    run (*engine, noise (22050));
    EXPECT_GE (engine->lateLines[0].tapDelay[0], 32.0f);

    auto unit = engineIn (10, 96000);
    setPhysical (*unit, param::lateSize, 1.0f);
    EXPECT_NEAR (unit->modeState.segmentLength[27], 30343.0f, 1.0f);
    EXPECT_NEAR ((unit->modeState.segmentLength[0] + 32.0f) / 1.9f, 1309.0f + 32.0f, 1.5f);

    setPhysical (*engine, param::lateSize, 0.5f);
    setPhysical (*engine, param::decay, 0.1f);
    setPhysical (*engine, param::rtBassMultiply, 2.0f);
    EXPECT_NEAR (engine->bassDecayShaped, 0.1f * std::sqrt (2.0f), 1e-6f);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ (ms.bassGain[k], 2.0f) << k;
}

TEST (DenseRoom, LateCrossReachesAQuarterTurnAndTheHighCutIsAShelf)
{
    auto engine = engineIn (11);
    setPhysical (*engine, param::lateCross, 1.0f);
    const auto& mixer = engine->lateCrossMixers[0];
    EXPECT_NEAR (mixer.g0, 1.0f, 1e-6f); // sin of pi/2: the pair is exchanged, one sign flipped
    EXPECT_NEAR (mixer.g1, 0.0f, 1e-6f);
    setPhysical (*engine, param::lateCross, 0.5f);
    EXPECT_NEAR (mixer.g0, std::sin (0.5005f * 1.5707964f), 1e-6f);

    // The shelf takes at most 40 dB off the top, where a lowpass would keep falling.
    setPhysical (*engine, param::highCut, 1000.0f);
    EXPECT_EQ (engine->highCutStage, HighCutStage::shelf);
    FirstOrderFilter shelf = engine->highCutShelves[0];
    float x[64], y[64];
    for (int i = 0; i < 64; ++i)
        x[i] = (i % 2) ? -1.0f : 1.0f;
    for (int block = 0; block < 20; ++block)
        shelf.process (64, x, y);
    EXPECT_NEAR (20.0 * std::log10 (std::fabs (y[63])), -40.0, 1.0);
}
