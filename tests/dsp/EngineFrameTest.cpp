#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

using namespace quorvane;
using namespace quorvane::testing;


TEST (EngineParameters, TypeValuesSelectModesThroughTheStoredProduct)
{
    const auto& type = parameterInfo (param::type);
    EXPECT_EQ (modeForTypeValue (toPhysical (type, 0.58333331f)), 6);
    EXPECT_EQ (modeForTypeValue (toPhysical (type, 0.0f)), 0);
    EXPECT_EQ (modeForTypeValue (toPhysical (type, 0.1f)), 0);
    EXPECT_EQ (modeForTypeValue (toPhysical (type, 1.0f)), 11);
    EXPECT_EQ (modeForTypeValue (toPhysical (type, 13.0f / 12.0f)), 0);
    EXPECT_EQ (modeForTypeValue (std::nanf ("")), 0);
    for (int m = 0; m < modeCount; ++m)
        EXPECT_EQ (modeForTypeValue (toPhysical (type, typeNormalisedForMode (m))), m);
    EXPECT_EQ (defaultNormalised (type), 0.083333336f);
    EXPECT_EQ (displayText (parameterInfo (param::decay), toPhysical (parameterInfo (param::decay), 0.0f)), "0.10 s ");
}

TEST (EngineFrame, WetSignalLeavesAfterTheBlockAndThePredelay)
{
    for (float predelayMs : { 0.0f, 10.0f, 123.0f })
    {
        auto engine = makeEngine();
        setPhysical (*engine, param::predelay, predelayMs);
        settle (*engine);
        const auto ir = impulseResponse (*engine, 48000);
        const int onset = std::min (firstAudible (ir.left), firstAudible (ir.right));
        const int expected = 64 + (int) engine->predelaySamples;
        EXPECT_GE (onset, 64);
        EXPECT_NEAR (onset, expected, 2) << predelayMs;
    }
}

TEST (EngineFrame, MixZeroPassesTheInputFromTheFirstSampleAndLaterChangesGlide)
{
    auto engine = makeEngine();
    setPhysical (*engine, param::mix, 0.0f);
    const auto in = noise (4800);
    const auto out = run (*engine, in);
    for (size_t i = 0; i < in.left.size(); ++i)
    {
        ASSERT_EQ (out.left[i], in.left[i]) << i;
        ASSERT_EQ (out.right[i], in.right[i]) << i;
    }
    // Once running, a new mix glides over tens of milliseconds instead of jumping.
    setPhysical (*engine, param::mix, 100.0f);
    run (*engine, Stereo { std::vector<float> (48), std::vector<float> (48) });
    EXPECT_GT (engine->dryGain, 0.9f);
    EXPECT_LT (engine->dryGain, 1.0f);

    // Gliding back, the dry gain lands exactly on 1 (its steps near the target round to nothing),
    // whatever the host's block sizes; the wet gain shrinks geometrically towards 0.
    setPhysical (*engine, param::mix, 0.0f);
    for (int blockSize : { 7, 256, 1 })
        run (*engine, noise (9600, (unsigned) blockSize), blockSize);
    EXPECT_EQ (engine->dryGain, 1.0f);
    EXPECT_LT (engine->wetGain, 1e-6f);
}

TEST (EngineFrame, ClearThenSilenceGivesSilence)
{
    auto engine = makeEngine();
    run (*engine, noise (9600));
    engine->clear();
    Stereo silence { std::vector<float> (4800), std::vector<float> (4800) };
    const auto out = run (*engine, silence);
    for (size_t i = 0; i < out.left.size(); ++i)
        ASSERT_LT (std::fabs (out.left[i]) + std::fabs (out.right[i]), 1e-12f);
}

TEST (EngineFrame, SilenceAfterABurstDecaysWithoutDenormalsOrNaN)
{
    auto engine = makeEngine();
    setPhysical (*engine, param::decay, 0.5f);
    run (*engine, noise (4800));
    Stereo silence { std::vector<float> (48000 * 6), std::vector<float> (48000 * 6) };
    const auto out = run (*engine, silence);
    for (size_t i = 0; i < out.left.size(); ++i)
        for (float v : { out.left[i], out.right[i] })
            ASSERT_TRUE (std::isfinite (v) && (v == 0.0f || std::fabs (v) >= FLT_MIN)) << i;
    EXPECT_LT (std::fabs (out.left.back()), 1e-9f);
}

TEST (EngineFrame, NonFiniteInputNeverPoisonsTheTail)
{
    auto engine = makeEngine();
    auto in = noise (4800);
    in.left[1000] = std::nanf ("");
    in.right[2000] = INFINITY;
    in.left[3000] = -INFINITY;
    in.right[3500] = 1e30f;
    run (*engine, in);
    const auto out = run (*engine, noise (48000, 9));
    for (size_t i = 0; i < out.left.size(); ++i)
        ASSERT_TRUE (std::isfinite (out.left[i]) && std::isfinite (out.right[i])) << i;
}

TEST (EngineFrame, TinyHostBlocksAndInPlaceBuffersMixAndAdmitInputAsLongOnesDo)
{
    // Blocks of a few samples take the engine's shortest paths, and hosts that process in place
    // pass the input as the output; with finite, out-of-range and non-finite input, and a mix
    // change, a mode change (which clears) and a restart with new settings while running, they
    // must give the very same samples. Block size 0 stands for sizes that keep changing.
    auto in = noise (12000);
    const float odd[] = { NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 1e6f, -1e6f, 1.0000001e6f, -0.0f, 1e-40f };
    for (size_t k = 0; k < 300; ++k)
    {
        in.left[k * 29 + 7] = odd[k % 10];
        in.right[k * 23 + 11] = odd[(k + 3) % 10];
    }
    const auto render = [&] (int blockSize, bool inPlace) {
        auto engine = makeEngine();
        setPhysical (*engine, param::mix, 70.0f);
        Stereo out { std::vector<float> (in.left.size()), std::vector<float> (in.left.size()) };
        if (inPlace)
            out = in;
        const Stereo& source = inPlace ? out : in;
        const int changing[] = { 1, 1, 5, 1, 1, 1, 64, 2, 1, 17, 1, 1, 130, 1, 3 };
        // Every rendering cuts a block at each change, so a change lands on the same sample;
        // none of them falls on a block boundary, and the first two come while the gains are
        // settled (a mix change glides for longer than the rest of the input).
        const size_t changes[] = { 4100, 6000, 9030, in.left.size() };
        size_t next = 0, calls = 0;
        for (size_t done = 0; done < in.left.size();)
        {
            if (done == changes[next])
            {
                if (next == 0)
                    selectMode (*engine, 8);
                if (next == 1)
                {
                    engine->restart();
                    setPhysical (*engine, param::lateSize, 0.8f);
                }
                if (next == 2)
                    setPhysical (*engine, param::mix, 30.0f);
                ++next;
            }
            const int size = blockSize > 0 ? blockSize : changing[calls++ % std::size (changing)];
            const int n = (int) std::min ((size_t) size, changes[next] - done);
            engine->process (out.left.data() + done, out.right.data() + done, source.left.data() + done,
                             source.right.data() + done, n);
            done += (size_t) n;
        }
        return out;
    };
    const auto expected = render (512, false);
    for (const auto& [blockSize, inPlace] : { std::pair (1, false), std::pair (3, false), std::pair (15, false),
                                              std::pair (0, false), std::pair (512, true), std::pair (37, true),
                                              std::pair (1, true) })
    {
        const auto out = render (blockSize, inPlace);
        for (size_t i = 0; i < out.left.size(); ++i)
        {
            ASSERT_EQ (std::memcmp (&out.left[i], &expected.left[i], sizeof (float)), 0)
                << blockSize << (inPlace ? " in place" : "") << " at " << i;
            ASSERT_EQ (std::memcmp (&out.right[i], &expected.right[i], sizeof (float)), 0)
                << blockSize << (inPlace ? " in place" : "") << " at " << i;
        }
    }
}

TEST (EngineFrame, SampleRateChangesResizeTheLinesAndClear)
{
    auto engine = makeEngine();
    EXPECT_EQ (engine->lateLines[0].size, 16384);
    EXPECT_EQ (engine->lateLines[16].size, 32768);
    EXPECT_EQ (engine->predelayLines[0].size, 65536);

    run (*engine, noise (4800));
    engine->setSampleRate (48000); // unchanged: nothing happens
    EXPECT_NE (engine->ioBlock[0][0], 0.0f);

    engine->setSampleRate (44100);
    EXPECT_EQ (engine->hostRate, 44100.0f);
    EXPECT_EQ (engine->ioBlock[0][0], 0.0f);
    EXPECT_EQ (engine->lateLines[0].size, 16384);
    EXPECT_FLOAT_EQ (engine->predelaySamples, 44100.0f * 10.0f * 0.001f + 2.0f);

    engine->prepare (96000);
    EXPECT_EQ (engine->lateLines[0].size, 32768);
    engine->prepare (48000);
    EXPECT_EQ (engine->lateLines[0].size, 16384);
}

TEST (EngineFrame, EveryRateFrom22To192KilohertzGivesTheComputedDelays)
{
    // The longest settings: every segment (segment k runs in late line k in every mode) must fit
    // its line, which would otherwise hold it at its longest delay.
    for (int mode : allModes())
        for (int rate : { 22050, 44100, 88200, 96000, 176400, 192000 })
        {
            auto engine = makeEngine();
            engine->prepare (rate);
            selectMode (*engine, mode);
            setPhysical (*engine, param::lateSize, 1.0f);
            setPhysical (*engine, param::earlySize, 1000.0f);
            setPhysical (*engine, param::predelay, 500.0f);
            setPhysical (*engine, param::lateModDepth, 1.0f);
            setPhysical (*engine, param::earlyModDepth, 1.0f);
            const auto& ms = engine->modeState;
            const float block = engine->controlBlockLength;
            for (size_t k = 0; k < 32; ++k)
                ASSERT_LT (ms.segmentLength[k] + 2.0f * engine->lateModDepthSamples + block,
                           (float) engine->lateLines[k].size)
                    << "mode " << mode << " at " << rate;
            for (size_t j = 0; j < 16; ++j)
                if (j % 8 != 7)
                {
                    ASSERT_LT (ms.earlyLength[j] + block, (float) engine->earlyLines[j].size) << rate;
                }
            const float longestTap = ms.earlyLength[7] + engine->predelaySamples + 4.0f * engine->earlyModDepthSamples;
            ASSERT_LT (longestTap + block, (float) engine->predelayLines[0].size) << rate;

            // And the onset of the wet signal still follows the predelay.
            setPhysical (*engine, param::earlyModDepth, 0.0f);
            settle (*engine);
            const auto ir = impulseResponse (*engine, rate * 3 / 4);
            const int onset = std::min (firstAudible (ir.left), firstAudible (ir.right));
            EXPECT_NEAR (onset, expectedOnset (*engine), engine->isHalfRate() ? 4 : 2)
                << "mode " << mode << " at " << rate;
        }
}

TEST (EngineFrame, ARateFirstSeenWhileProcessingKeepsTheMemoryAndStaysFinite)
{
    // A host that never prepares at its rate: no line is reallocated on the audio thread, and
    // the delays that do not fit are held at the longest the lines hold, so the output stays a
    // finite reverb until the next prepare sizes the lines.
    for (int mode : allModes())
    {
        auto engine = makeEngine();
        selectMode (*engine, mode);
        setPhysical (*engine, param::lateSize, 1.0f);
        setPhysical (*engine, param::earlySize, 1000.0f);
        setPhysical (*engine, param::predelay, 500.0f);
        const auto* memory = engine->lateLines[31].buffer;
        const int size = engine->lateLines[31].size;
        engine->setSampleRate (192000);
        EXPECT_EQ (engine->lateLines[31].buffer, memory);
        EXPECT_EQ (engine->lateLines[31].size, size);
        const auto out = run (*engine, noise (192000));
        float peak = 0.0f;
        for (size_t i = 0; i < out.left.size(); ++i)
        {
            ASSERT_TRUE (std::isfinite (out.left[i]) && std::isfinite (out.right[i])) << "mode " << mode;
            peak = std::max ({ peak, std::fabs (out.left[i]), std::fabs (out.right[i]) });
        }
        EXPECT_LT (peak, 4.0f) << "mode " << mode;
        engine->prepare (192000);
        EXPECT_GT (engine->lateLines[31].size, size);
    }
}

TEST (EngineFrame, HighCutStaysStableAtLowHostRates)
{
    auto engine = makeEngine (22050);
    setPhysical (*engine, param::highCut, 15000.0f);
    const auto out = run (*engine, noise (22050));
    for (size_t i = 0; i < out.left.size(); ++i)
        ASSERT_LT (std::fabs (out.left[i]), 10.0f) << i;
}

TEST (EngineFrame, TypeChangesClearAndUnknownModesRunLargeRoom)
{
    auto engine = makeEngine();
    run (*engine, noise (4800));
    engine->setNormalised (param::type, 0.0f); // mode 0 again, but still a change: clears
    EXPECT_EQ (engine->mode, 0);
    EXPECT_EQ (engine->ioBlock[0][0], 0.0f);
    engine->setNormalised (param::type, 2.0f); // value 24: beyond the modes
    EXPECT_EQ (engine->mode, 0);
    EXPECT_EQ (engine->processingRate, 48000.0f);
    const auto ir = impulseResponse (*engine, 9600);
    EXPECT_GT (firstAudible (ir.left), 0);
}

TEST (EngineFrame, DerivedQuantitiesFollowTheirParameters)
{
    auto engine = makeEngine();
    setPhysical (*engine, param::mix, 100.0f);
    EXPECT_NEAR (engine->dryTarget, -4.37e-8f, 1e-8f);
    setPhysical (*engine, param::earlyLateMix, 0.0f);
    EXPECT_NEAR (engine->lateLevel, 1.6e-5f, 1e-6f);
    setPhysical (*engine, param::earlyLateMix, 100.0f);
    EXPECT_NEAR (engine->earlyLevel, 0.0031f, 1e-4f);
    setPhysical (*engine, param::decay, 2.0f);
    setPhysical (*engine, param::rtBassMultiply, 2.0f);
    EXPECT_FLOAT_EQ (engine->bassDecayTime, 4.0f);
    EXPECT_NEAR (engine->bassDecayShaped, 2.83f, 0.01f);
    setPhysical (*engine, param::rtBassMultiply, 0.5f);
    EXPECT_FLOAT_EQ (engine->bassDecayTime, 1.0f);
    EXPECT_FLOAT_EQ (engine->bassDecayShaped, 1.0f);
}
