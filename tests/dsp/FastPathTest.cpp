// The vectorised and fused stages against plain scalar references of the same arithmetic: each
// must give the same bits, on every path it can take (contiguous or wrapped reads, whole vectors
// or leftovers, every line count) and on every vector unit this processor runs.
#include "EngineTestSupport.h"
#include "engine/Block.h"
#include "engine/DelayLine.h"
#include "engine/Filters.h"
#include "engine/HalfbandFilter.h"
#include "engine/LineBank.h"
#include "engine/ModAllpass.h"
#include "engine/VectorUnit.h"
#include "modes/toolkit/LateNetwork.h"
#include "modes/toolkit/ModeSetup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

using namespace quorvane;

namespace
{
bool sameBits (const float* a, const float* b, int n) { return std::memcmp (a, b, sizeof (float) * (size_t) n) == 0; }

/** The interpolated reads sample by sample: the glide by repeated addition, a masked index per
    neighbour. */
struct ReferenceRead
{
    static void delays (float start, float target, int n, float ramp, std::vector<float>& d)
    {
        const float step = (target - start) * ramp;
        float x = start;
        for (int i = 0; i < n; ++i)
            d[(size_t) i] = x = x + step;
    }

    /** With `quantised` the fraction is rounded down to a multiple of 1/32. */
    static void linear (const DelayLine& line, float start, float target, int n, float ramp, float* out,
                        bool quantised = false)
    {
        std::vector<float> d ((size_t) n);
        delays (start, target, n, ramp, d);
        for (int i = 0; i < n; ++i)
        {
            const auto w = (int32_t) d[(size_t) i];
            float f = d[(size_t) i] - (float) w;
            if (quantised)
                f = (float) (int32_t) (f * 32.0f) * 0.03125f;
            const int32_t j = (w + line.writeIndex - i) & line.mask;
            const float a = line.buffer[(size_t) j], b = line.buffer[(size_t) ((j + 1) & line.mask)];
            out[i] = (b - a) * f + a;
        }
    }

    static void allpass (const DelayLine& line, float start, float target, int n, float ramp, float y, float* out)
    {
        std::vector<float> d ((size_t) n);
        delays (start, target, n, ramp, d);
        for (int i = 0; i < n; ++i)
        {
            const auto w = (int32_t) d[(size_t) i];
            const float eta = allpassCoefficient ((int32_t) ((d[(size_t) i] - (float) w) * 256.0f));
            const int32_t j = (w + line.writeIndex - i) & line.mask;
            y = (line.buffer[(size_t) j] - y) * eta + line.buffer[(size_t) ((j + 1) & line.mask)];
            out[i] = y;
        }
    }
};

void fillRandom (std::mt19937& rng, float* x, int n)
{
    std::uniform_real_distribution<float> u (-1.0f, 1.0f);
    for (int i = 0; i < n; ++i)
        x[i] = u (rng);
}

/** The stereo filters' recursions sample by sample, each operation in the order of its definition. */
struct PlainRecursion
{
    static void firstOrder (float b0, float b1, float a1, float& s, float* x, int n)
    {
        for (int i = 0; i < n; ++i)
        {
            const float y = b0 * x[i] + s;
            s = b1 * x[i] - a1 * y;
            x[i] = y;
        }
    }

    static void onePole (float g, float& s, float* x, int n)
    {
        const float k = 1.0f - g;
        for (int i = 0; i < n; ++i)
        {
            const float scaled = g * x[i];
            s = scaled + k * s;
            x[i] = s;
        }
    }

    /** Direct form II over 64 samples with c = a1, a2, b0, b1, b2. */
    static void biquad (const std::array<float, 5>& c, float& w1, float& w2, float* x)
    {
        for (int i = 0; i < 64; ++i)
        {
            const float w = x[i] - c[0] * w1 - c[1] * w2;
            const float y = c[2] * w + c[3] * w1 + c[4] * w2;
            w2 = w1;
            w1 = w;
            x[i] = y;
        }
    }
};

/** Block lengths for the stereo filters: the engine's two, lengths that leave every remainder of
    the eight-frame groups (and none), and runs of them so that states carry across calls. */
constexpr int pairedLengths[] = { 64, 32, 7, 1, 8, 13, 63, 0, 4, 31, 12, 64, 2, 19, 5, 32, 22, 57, 3, 64 };

/** Two channels' blocks of up to 64 samples, each followed by guard samples that must survive a
    call, and the reference copies. */
struct StereoBlocks
{
    static constexpr int guard = 9;
    static constexpr float guardValue = 1234.5f;
    std::mt19937 rng;
    float l[64 + guard], r[64 + guard], refL[64], refR[64];

    explicit StereoBlocks (uint32_t seed) : rng (seed) {}

    /** Noise, or now and then silence (block `round`). */
    void fill (int round)
    {
        fillRandom (rng, l, 64);
        fillRandom (rng, r, 64);
        if (round % 5 == 3)
            std::fill_n (l, 64, 0.0f);
        std::fill_n (l + 64, guard, guardValue);
        std::fill_n (r + 64, guard, guardValue);
        std::copy_n (l, 64, refL);
        std::copy_n (r, 64, refR);
    }

    /** Runs process (inL, inR) on copies of the blocks as inputs of their own, the blocks (its
        outputs) holding other samples until it writes them. */
    template <typename Process>
    void fromOwnInputs (int n, Process&& process)
    {
        float inL[64], inR[64];
        std::copy_n (l, 64, inL);
        std::copy_n (r, 64, inR);
        std::fill_n (l, n, -7.0f);
        std::fill_n (r, n, -7.0f);
        process (inL, inR);
    }

    /** Both blocks as the reference copies (which the reference changed only where the filters
        should have), and the guards untouched. */
    bool matches() const
    {
        auto untouched = [] (const float* g)
        { return std::all_of (g, g + guard, [] (float x) { return x == guardValue; }); };
        return sameBits (l, refL, 64) && sameBits (r, refR, 64) && untouched (l + 64) && untouched (r + 64);
    }
};

/** Eight lines of noise for the grouped reads, and per read a random write position and glide:
    mostly small moves (the whole delay often holds over the block), every seventh round jumps. */
struct ReadGroupSetup
{
    std::mt19937 rng;
    std::vector<DelayLine> lines;
    std::uniform_real_distribution<float> delay { 0.0f, 500.0f }, nudge { -1.2f, 1.2f };

    SharedLineMemory memory;

    /** Eight lines of memory of their own, or sharing one block as an engine's lines do. */
    explicit ReadGroupSetup (uint32_t seed, bool shared = false) : rng (seed), lines (8)
    {
        std::vector<DelayLine*> all;
        for (auto& line : lines)
        {
            resizeFor (line, 2048);
            all.push_back (&line);
        }
        if (shared)
        {
            const std::vector<int> lengths (8, 2048);
            resizeShared (all.data(), lengths.data(), 8, memory);
        }
        for (auto& line : lines)
        {
            fillRandom (rng, line.buffer, line.size);
            line.written = true;
        }
    }

    /** Moves the line's write position and returns the glide's start and target. */
    std::pair<float, float> glideFor (DelayLine& line, int round)
    {
        line.writeIndex = (int32_t) (rng() & (uint32_t) line.mask);
        const float start = delay (rng);
        const float target = round % 7 == 0 ? delay (rng) : std::max (0.0f, start + nudge (rng) * 0.05f);
        return { start, target };
    }
};

/** Runs each test once per vector unit, with that unit's kernels selected. */
class FastPaths : public ::testing::TestWithParam<VectorUnit>
{
protected:
    void SetUp() override
    {
        if (! canRun (GetParam()))
            GTEST_SKIP() << "this processor cannot run that vector unit";
        previous = activeVectorUnit();
        selectVectorUnit (GetParam());
    }
    void TearDown() override { selectVectorUnit (previous); }

private:
    VectorUnit previous = VectorUnit::baseline;
};
} // namespace

INSTANTIATE_TEST_SUITE_P (EveryVectorUnit, FastPaths, ::testing::Values (VectorUnit::baseline, VectorUnit::avx2),
                          [] (const auto& info) { return info.param == VectorUnit::avx2 ? "avx2" : "baseline"; });

TEST_P (FastPaths, InterpolatedReadsMatchTheSampleBySampleReference)
{
    std::mt19937 rng (11);
    DelayLine line (4096);
    fillRandom (rng, line.buffer, line.size);
    line.written = true;
    std::uniform_real_distribution<float> delay (0.0f, 300.0f), nudge (-1.5f, 1.5f);
    int wrapped = 0;
    for (int round = 0; round < 3000; ++round)
    {
        // Write positions all around the buffer, so runs both stay clear of the wrap and cross it.
        line.writeIndex = (int32_t) (rng() & (uint32_t) line.mask);
        const int n = round % 3 == 0 ? 32 : 64;
        const float ramp = 1.0f / (float) n;
        const float start = delay (rng);
        // Mostly small moves (the whole delay often holds over the block), some large ones.
        const float target = round % 5 == 0 ? delay (rng) : std::max (0.0f, start + nudge (rng) * 0.1f);
        wrapped += line.writeIndex + (int) target + 1 >= line.size || line.writeIndex + (int) start < n;

        float expected[64], actual[64];
        line.tapDelay[0] = start;
        ReferenceRead::linear (line, start, target, n, ramp, expected);
        readLinearRamped (line, actual, target, n, ramp);
        ASSERT_TRUE (sameBits (expected, actual, n)) << "linear, round " << round;

        const float y0 = 0.25f;
        line.tapDelay[3] = start;
        line.tapState[3] = y0;
        ReferenceRead::allpass (line, start, target, n, ramp, y0, expected);
        readAllpassRamped (line, actual, target, n, 3, ramp);
        ASSERT_TRUE (sameBits (expected, actual, n)) << "allpass, round " << round;
        ASSERT_EQ (line.tapState[3], expected[n - 1]);
    }
    EXPECT_GT (wrapped, 20); // the wrapped path was exercised too
}

TEST_P (FastPaths, TwoBandSplitsInOnePassMatchTwoScalarSplits)
{
    std::mt19937 rng (5);
    for (int count : { 1, 3, 4, 7, 8, 12, 16, 32 })
        for (int n : { 32, 64, 60, 62 })
            for (bool nullGains : { false, true })
            {
                std::vector<std::vector<float>> blocks ((size_t) count, std::vector<float> (64));
                std::vector<float> hiA ((size_t) count), loA ((size_t) count), hiB ((size_t) count);
                std::vector<OnePoleLowpass> fa ((size_t) count), fb ((size_t) count);
                for (size_t k = 0; k < (size_t) count; ++k)
                {
                    fillRandom (rng, blocks[k].data(), 64);
                    hiA[k] = 0.5f + 0.01f * (float) k;
                    loA[k] = 0.9f - 0.01f * (float) k;
                    hiB[k] = 0.3f + 0.02f * (float) k;
                    fa[k].state = 0.1f * (float) k;
                    fb[k].state = -0.05f * (float) k;
                }
                auto expected = blocks;
                auto refA = fa, refB = fb;
                const float gA = 0.02f, gB = 0.6f;
                for (size_t k = 0; k < (size_t) count; ++k)
                    for (auto [g, f, hi, lo] : { std::tuple { gA, &refA[k], nullGains ? 1.0f : hiA[k], loA[k] },
                                                 std::tuple { gB, &refB[k], hiB[k], 1.0f } })
                    {
                        float s = f->state;
                        for (int i = 0; i < n; ++i)
                        {
                            float& x = expected[k][(size_t) i];
                            s = g * x + (1.0f - g) * s;
                            x = (x - s) * hi + s * lo;
                        }
                        f->state = s;
                    }

                std::vector<float*> pointers;
                for (auto& b : blocks)
                    pointers.push_back (b.data());
                splitTwoBandsBank ({ fa.data(), gA, nullGains ? nullptr : hiA.data(), loA.data() },
                                   { fb.data(), gB, hiB.data(), nullptr }, pointers.data(), count, n);
                for (size_t k = 0; k < (size_t) count; ++k)
                {
                    ASSERT_TRUE (sameBits (expected[k].data(), blocks[k].data(), n)) << count << " lines, line " << k;
                    ASSERT_EQ (fa[k].state, refA[k].state);
                    ASSERT_EQ (fb[k].state, refB[k].state);
                }
            }
}

TEST_P (FastPaths, FusedMatrixAndTapsMatchTheStageByStageReference)
{
    std::mt19937 rng (9);
    auto engine = quorvane::testing::makeEngine();
    auto& e = *engine;
    for (size_t m = 0; m < e.lateCrossMixers.size(); ++m)
        e.lateCrossMixers[m].setAngle (0.1f + 0.37f * (float) m);
    for (int count : { 4, 8, 16, 32 })
        for (int n : { 32, 40, 64 }) // 40: runs of four vectors and of one on the wider unit
        {
            std::vector<std::vector<float>> expected ((size_t) count, std::vector<float> (64));
            for (size_t k = 0; k < (size_t) count; ++k)
            {
                fillRandom (rng, e.lineBlock[k].get(), 64);
                std::copy_n (e.lineBlock[k].get(), 64, expected[k].data());
            }
            // Taps: sum += line x gain, tap by tap.
            float gains[2][16];
            fillRandom (rng, gains[0], 16);
            fillRandom (rng, gains[1], 16);
            std::vector<float> sums[2] = { std::vector<float> (64, 0.5f), std::vector<float> (64, -0.5f) };
            for (size_t c = 0; c < 2; ++c)
            {
                std::fill_n (e.lateSumBlock[c].get(), 64, c == 0 ? 0.5f : -0.5f);
                for (size_t j = 0; j < (size_t) count / 2; ++j)
                    for (int i = 0; i < n; ++i)
                        sums[c][(size_t) i] = sums[c][(size_t) i] + expected[2 * j + c][(size_t) i] * gains[c][j];
            }
            kit::tapLines (e, count, gains[0], gains[1], n);
            for (size_t c = 0; c < 2; ++c)
                ASSERT_TRUE (sameBits (sums[c].data(), e.lateSumBlock[c].get(), n)) << count << " lines, sum " << c;

            // Matrix: scale, butterflies from the widest span down, rotations of neighbours.
            for (auto& b : expected)
                for (int i = 0; i < n; ++i)
                    b[(size_t) i] = b[(size_t) i] * e.matrixScale;
            for (int span = count / 2; span >= 2; span /= 2)
                for (int k = 0; k < count; ++k)
                    if ((k & span) == 0)
                        for (int i = 0; i < n; ++i)
                        {
                            const float a = expected[(size_t) k][(size_t) i],
                                        b = expected[(size_t) (k + span)][(size_t) i];
                            expected[(size_t) k][(size_t) i] = a + b;
                            expected[(size_t) (k + span)][(size_t) i] = b - a;
                        }
            for (size_t m = 0; m < (size_t) count / 2; ++m)
                e.lateCrossMixers[m].rotate (expected[2 * m].data(), expected[2 * m + 1].data(), n);
            kit::butterflyMatrix (e, count, n);
            for (size_t k = 0; k < (size_t) count; ++k)
                ASSERT_TRUE (sameBits (expected[k].data(), e.lineBlock[k].get(), n)) << count << " lines, line " << k;
        }
}

TEST_P (FastPaths, QuantisedReadMatchesTheSampleBySampleReference)
{
    std::mt19937 rng (3);
    DelayLine line (2048);
    fillRandom (rng, line.buffer, line.size);
    std::uniform_real_distribution<float> delay (32.0f, 400.0f), nudge (-0.2f, 0.2f);
    for (int round = 0; round < 2000; ++round)
    {
        line.writeIndex = (int32_t) (rng() & (uint32_t) line.mask);
        const float start = delay (rng);
        const float target = round % 4 == 0 ? delay (rng) : start + nudge (rng);
        // Reference: the fraction rounded down to 1/32 sample by sample, a masked index per neighbour.
        float expected[32], actual[32];
        const float step = (target - start) * (1.0f / 32.0f);
        float d = start;
        for (int i = 0; i < 32; ++i)
        {
            d = d + step;
            const float whole = std::trunc (d);
            const float frac = std::trunc ((d - whole) * 32.0f) * 0.03125f;
            const int32_t j = ((int32_t) whole + line.writeIndex - i) & line.mask;
            const float a = line.buffer[(size_t) j], b = line.buffer[(size_t) ((j + 1) & line.mask)];
            expected[i] = (b - a) * frac + a;
        }
        line.tapDelay[0] = start;
        readQuantisedRamped (line, actual, target, 32, 1.0f / 32.0f);
        ASSERT_TRUE (sameBits (expected, actual, 32)) << "round " << round;
    }
}

TEST_P (FastPaths, StereoPairedFiltersMatchEachChannelOnItsOwn)
{
    std::mt19937 rng (4);
    float l[64], r[64], refL[64], refR[64];
    auto fresh = [&] {
        fillRandom (rng, l, 64);
        fillRandom (rng, r, 64);
        std::copy_n (l, 64, refL);
        std::copy_n (r, 64, refR);
    };

    for (int sections : { 4, 0, 1, 6 })
    {
        HalfbandFilter dl, dr, il, ir;
        for (auto* f : { &dl, &dr, &il, &ir })
        {
            f->sectionCount = sections;
            for (auto& s : f->sections)
            {
                s.state = 0.01f * (float) (&s - f->sections.data());
                s.a = 0.1f + 0.05f * (float) (&s - f->sections.data());
            }
        }
        auto rdl = dl, rdr = dr, ril = il, rir = ir;
        for (int block = 0; block < 3; ++block)
        {
            fresh();
            float outL[64], outR[64], expL[64], expR[64];
            decimateStereo (dl, dr, l, r, outL, outR);
            rdl.decimate (refL, expL);
            rdr.decimate (refR, expR);
            ASSERT_TRUE (sameBits (outL, expL, 32) && sameBits (outR, expR, 32))
                << sections << " sections, decimate, block " << block;
            interpolateStereo (il, ir, l, r, outL, outR);
            ril.interpolate (refL, expL);
            rir.interpolate (refR, expR);
            ASSERT_TRUE (sameBits (outL, expL, 64) && sameBits (outR, expR, 64))
                << sections << " sections, interpolate, block " << block;
        }
        // Every section's state and anti-denormal offset, and the delayed sample, move on alike.
        const std::pair<const HalfbandFilter*, const HalfbandFilter*> pairs[] = {
            { &dl, &rdl }, { &dr, &rdr }, { &il, &ril }, { &ir, &rir }
        };
        for (const auto& [paired, alone] : pairs)
        {
            for (size_t k = 0; k < 12; ++k)
            {
                ASSERT_TRUE (sameBits (&paired->sections[k].state, &alone->sections[k].state, 1)) << sections;
                ASSERT_EQ (paired->sections[k].offset, alone->sections[k].offset) << sections;
            }
            ASSERT_TRUE (sameBits (&paired->lastSample, &alone->lastSample, 1)) << sections;
        }
    }

    for (int n : { 64, 32, 7 })
    {
        OnePoleLowpass pl, pr;
        pl.state = 0.3f;
        pr.state = -0.2f;
        auto rpl = pl, rpr = pr;
        fresh();
        processPair (pl, pr, 0.07f, l, r, l, r, n);
        rpl.process (0.07f, refL, refL, n);
        rpr.process (0.07f, refR, refR, n);
        ASSERT_TRUE (sameBits (l, refL, n) && sameBits (r, refR, n)) << "one-pole, " << n << " samples";
        ASSERT_EQ (pl.state, rpl.state);
        ASSERT_EQ (pr.state, rpr.state);
    }

    FirstOrderFilter fl, fr;
    fl.setCoefficients (0.3f, -0.7f, 0.45f);
    fr.setCoefficients (1.0f, 0.2f, -0.6f);
    fl.state = 0.1f;
    auto rfl = fl, rfr = fr;
    fresh();
    processPair (fl, fr, 64, l, r);
    rfl.process (64, refL, refL);
    rfr.process (64, refR, refR);
    ASSERT_TRUE (sameBits (l, refL, 64) && sameBits (r, refR, 64));

    for (bool smoothed : { false, true })
    {
        Biquad bl, br;
        designLowpass (bl, 2000.0f, 48000.0f);
        designLowpass (br, 9000.0f, 48000.0f);
        bl.w1 = 0.2f;
        br.w2 = -0.1f;
        auto rbl = bl, rbr = br;
        fresh();
        processPair64 (bl, br, l, r, smoothed, 0.05f);
        if (smoothed)
        {
            rbl.processSmoothed64 (refL, refL, 0.05f);
            rbr.processSmoothed64 (refR, refR, 0.05f);
        }
        else
        {
            rbl.process64 (refL, refL);
            rbr.process64 (refR, refR);
        }
        ASSERT_TRUE (sameBits (l, refL, 64) && sameBits (r, refR, 64)) << (smoothed ? "smoothed" : "plain");
        ASSERT_EQ (bl.current, rbl.current);
    }
}

TEST_P (FastPaths, PairedFirstOrderFiltersMatchThePlainRecursion)
{
    StereoBlocks blocks (31);
    std::uniform_real_distribution<float> corner (20.0f, 20000.0f), shelfGain (0.05f, 1.0f),
        coefficient (-0.99f, 0.99f);
    FirstOrderFilter fl, fr;
    fl.state = 0.25f;
    fr.state = -0.5f;
    float sl = fl.state, sr = fr.state;
    int round = 0;
    for (int pass = 0; pass < 3; ++pass)
        for (int n : pairedLengths)
        {
            // The forms the engine loads (a shelf, a whole allpass, its two halves), then arbitrary
            // ones; the channels always unalike.
            auto& rng = blocks.rng;
            if (round % 8 == 0)
            {
                const auto shelf = designShelf (corner (rng), shelfGain (rng), 48000.0f);
                const auto allpass = designAllpass1 (corner (rng), 48000.0f);
                fl.setCoefficients (shelf.x, shelf.y, shelf.z);
                fr.setCoefficients (allpass.x, allpass.y, allpass.z);
            }
            else if (round % 8 == 3)
            {
                const float d = designAllpass1 (corner (rng), 48000.0f).x;
                fl.setCoefficients (d, 1.0f, 0.0f);
                fr.setCoefficients (1.0f, 0.0f, d);
            }
            else if (round % 8 == 6)
            {
                fl.setCoefficients (2.0f * coefficient (rng), 2.0f * coefficient (rng), coefficient (rng));
                fr.setCoefficients (2.0f * coefficient (rng), 2.0f * coefficient (rng), coefficient (rng));
            }
            blocks.fill (round);
            if (round % 2 == 1)
                blocks.fromOwnInputs (n, [&] (float* inL, float* inR) {
                    processPair (fl, fr, n, inL, inR, blocks.l, blocks.r);
                });
            else
                processPair (fl, fr, n, blocks.l, blocks.r);
            PlainRecursion::firstOrder (fl.b0, fl.b1, fl.a1, sl, blocks.refL, n);
            PlainRecursion::firstOrder (fr.b0, fr.b1, fr.a1, sr, blocks.refR, n);
            ASSERT_TRUE (blocks.matches()) << n << " samples, round " << round;
            ASSERT_TRUE (sameBits (&fl.state, &sl, 1) && sameBits (&fr.state, &sr, 1))
                << n << " samples, round " << round;
            ++round;
        }
}

TEST_P (FastPaths, PairedOnePoleLowpassesMatchThePlainRecursion)
{
    StereoBlocks blocks (32);
    std::uniform_real_distribution<float> factor (0.001f, 1.0f);
    OnePoleLowpass pl, pr;
    pl.state = 0.75f;
    pr.state = -0.125f;
    float sl = pl.state, sr = pr.state;
    int round = 0;
    for (int pass = 0; pass < 3; ++pass)
        for (int n : pairedLengths)
        {
            // Factor 1 leaves no memory (1 - g = 0): the state is the last input.
            const float g = round % 7 == 2 ? 1.0f : factor (blocks.rng);
            blocks.fill (round);
            if (round % 2 == 1)
                blocks.fromOwnInputs (n, [&] (float* inL, float* inR) {
                    processPair (pl, pr, g, inL, inR, blocks.l, blocks.r, n);
                });
            else
                processPair (pl, pr, g, blocks.l, blocks.r, blocks.l, blocks.r, n);
            PlainRecursion::onePole (g, sl, blocks.refL, n);
            PlainRecursion::onePole (g, sr, blocks.refR, n);
            ASSERT_TRUE (blocks.matches()) << n << " samples, round " << round;
            ASSERT_TRUE (sameBits (&pl.state, &sl, 1) && sameBits (&pr.state, &sr, 1))
                << n << " samples, round " << round;
            ++round;
        }
}

TEST_P (FastPaths, PairedBiquadsMatchThePlainDirectFormAndKeepTheirHistory)
{
    constexpr float corners[] = { 4000.0f, 9000.0f, 6500.0f, 12000.0f, 5000.0f };
    constexpr float smoothing = 0.05f;
    /** One channel: its filter, and what the plain form runs with and keeps. */
    struct Channel
    {
        Biquad filter;
        std::array<float, 5> current;
        float w1, w2;
        float input[64];
    };
    for (bool smoothed : { false, true })
    {
        StereoBlocks blocks (smoothed ? 34u : 33u);
        Channel left, right;
        designLowpass (left.filter, 3000.0f, 48000.0f);
        designLowpass (right.filter, 11000.0f, 48000.0f);
        for (auto* c : { &left, &right })
        {
            c->filter.snapToTargets();
            c->current = c->filter.current;
        }
        left.filter.w1 = left.w1 = 0.5f;
        left.filter.w2 = left.w2 = -0.25f;
        right.filter.w1 = right.w1 = -1.5f;
        right.filter.w2 = right.w2 = 2.0f;
        for (int round = 0; round < 40; ++round)
        {
            if (round % 6 == 5)
            {
                designLowpass (left.filter, corners[(round / 6) % 5], 48000.0f);
                designLowpass (right.filter, corners[(round / 6 + 2) % 5], 48000.0f);
            }
            blocks.fill (round);
            std::copy_n (blocks.l, 64, left.input);
            std::copy_n (blocks.r, 64, right.input);
            processPair64 (left.filter, right.filter, blocks.l, blocks.r, smoothed, smoothing);

            for (auto [c, ref] : { std::pair { &left, blocks.refL }, std::pair { &right, blocks.refR } })
            {
                const Biquad& f = c->filter;
                const std::array<float, 5> target { f.a1, f.a2, f.b0, f.b1, f.b2 };
                if (smoothed)
                {
                    const float sumBefore = c->current[2] + c->current[3] + c->current[4];
                    for (size_t k = 0; k < 5; ++k)
                        c->current[k] = c->current[k] + (target[k] - c->current[k]) * smoothing;
                    // These corners never glide so far in one step that the state restarts from
                    // the output's level, which the plain form here leaves out.
                    const float sumAfter = c->current[2] + c->current[3] + c->current[4];
                    ASSERT_FALSE (sumAfter > 2.0f * sumBefore && sumBefore > 0.0f) << "round " << round;
                }
                PlainRecursion::biquad (smoothed ? c->current : target, c->w1, c->w2, ref);
            }
            ASSERT_TRUE (blocks.matches()) << (smoothed ? "smoothed" : "plain") << ", round " << round;
            for (const auto* c : { &left, &right })
            {
                const Biquad& f = c->filter;
                const float* out = c == &left ? blocks.l : blocks.r;
                const float kept[] = { f.w1, f.w2, f.x1, f.x2, f.y1, f.y2 };
                const float expected[] = { c->w1, c->w2, c->input[63], c->input[62], out[63], out[62] };
                ASSERT_TRUE (sameBits (kept, expected, 6)) << (smoothed ? "smoothed" : "plain") << ", round " << round;
                ASSERT_EQ (f.current, c->current) << "round " << round;
            }
        }
    }
}

TEST_P (FastPaths, GroupedAllpassReadsMatchEachReadOnItsOwn)
{
    // Lines sharing one block of memory, as an engine's do, take the gathers that reach them all.
    for (bool shared : { false, true })
    {
        ReadGroupSetup setup (21, shared);
        auto& lines = setup.lines;
        for (int round = 0; round < 600; ++round)
        {
            const int count = 2 + round % 7, n = round % 2 == 0 ? 64 : 32;
            const float ramp = 1.0f / (float) n;
            // Every fifth round every read holds its delay (a read near the line's wrap among them
            // now and then): those take their coefficients once per block. Every seventh, every
            // read moves across many samples, as after a change of size.
            const bool held = round % 5 == 3;
            float expected[8][64], actual[8][64];
            AllpassTapRead reads[8];
            for (size_t r = 0; r < (size_t) count; ++r)
            {
                auto& line = lines[r];
                const auto [start, glideTarget] = setup.glideFor (line, round);
                const float target = held ? start : glideTarget;
                const int tap = (int) r % 2;
                line.tapDelay[(size_t) tap] = start;
                line.tapState[(size_t) tap] = 0.1f * (float) r;
                ReferenceRead::allpass (line, start, target, n, ramp, line.tapState[(size_t) tap], expected[r]);
                reads[r] = { &line, tap, actual[r], target };
            }
            readAllpassRampedGroup (reads, count, n, ramp);
            for (size_t r = 0; r < (size_t) count; ++r)
            {
                ASSERT_TRUE (sameBits (expected[r], actual[r], n))
                    << (shared ? "shared memory" : "own memory") << ", round " << round << ", read " << r;
                ASSERT_EQ (lines[r].tapState[(size_t) reads[r].tap], expected[r][n - 1]);
            }
        }
    }
}

TEST_P (FastPaths, GroupedAllpassReadsTakeTheirLinesLimitsAndFirstReadsAsSingleReads)
{
    // Lines of four sizes, so a target may lie beyond one line's longest delay and not another's;
    // reads new to their taps (no delay yet); two reads of one line on different taps. The group
    // must leave every read and line as the single reads do.
    std::mt19937 rng (23);
    constexpr int lineCount = 7;
    std::array<DelayLine, lineCount> lines, singles;
    for (size_t k = 0; k < lineCount; ++k)
    {
        resizeFor (lines[k], 128 << (k % 4));
        resizeFor (singles[k], 128 << (k % 4));
        fillRandom (rng, lines[k].buffer, lines[k].size);
        std::copy_n (lines[k].buffer, lines[k].size, singles[k].buffer);
    }
    std::uniform_real_distribution<float> delay (0.0f, 1300.0f), nudge (-1.5f, 1.5f);
    for (int round = 0; round < 300; ++round)
    {
        const int count = 2 + round % 7, n = round % 3 == 0 ? 64 : 32;
        const float ramp = 1.0f / (float) n;
        for (size_t k = 0; k < lineCount; ++k)
            singles[k].writeIndex = lines[k].writeIndex = (int32_t) (rng() & (uint32_t) lines[k].mask);
        float expected[8][64], actual[8][64];
        AllpassTapRead reads[8];
        for (size_t r = 0; r < (size_t) count; ++r)
        {
            // Read 7 shares line 0 with read 0, on a tap of its own.
            const size_t k = r % lineCount;
            const int tap = r == 7 ? 5 : (int) (r % 3);
            auto& line = lines[k];
            const float last = line.tapDelay[(size_t) tap];
            if (round % 11 == (int) r)
                line.tapDelay[(size_t) tap] = DelayLine::startDelay;
            else if (! std::isnan (last) && round % 4 != 0)
                line.tapDelay[(size_t) tap] = std::max (0.0f, last + nudge (rng));
            else
                line.tapDelay[(size_t) tap] = delay (rng);
            singles[k].tapDelay[(size_t) tap] = line.tapDelay[(size_t) tap];
            singles[k].tapState[(size_t) tap] = line.tapState[(size_t) tap] = 0.05f * (float) round - (float) r;
            const float target =
                round % 5 == 0 ? delay (rng) : std::max (0.0f, line.tapDelay[(size_t) tap] + nudge (rng));
            reads[r] = { &line, tap, actual[r], std::isnan (target) ? delay (rng) : target };
        }
        for (size_t r = 0; r < (size_t) count; ++r)
            readAllpassRamped (singles[r % lineCount], expected[r], reads[r].targetDelay, n, reads[r].tap, ramp);
        readAllpassRampedGroup (reads, count, n, ramp);
        for (size_t r = 0; r < (size_t) count; ++r)
        {
            const size_t k = r % lineCount, tap = (size_t) reads[r].tap;
            ASSERT_TRUE (sameBits (expected[r], actual[r], n)) << "round " << round << ", read " << r;
            ASSERT_TRUE (sameBits (&singles[k].tapDelay[tap], &lines[k].tapDelay[tap], 1)) << "round " << round;
            ASSERT_TRUE (sameBits (&singles[k].tapState[tap], &lines[k].tapState[tap], 1)) << "round " << round;
        }
    }
}

TEST_P (FastPaths, BlockWritesAndTapReadsMatchAMaskedIndexPerSample)
{
    std::mt19937 rng (17);
    DelayLine line (256), reference (256);
    for (int round = 0; round < 400; ++round)
    {
        const int n = (int[]) { 64, 32, 8, 62, 5 }[round % 5];
        // Write positions near the wrap as often as clear of it.
        line.writeIndex = round % 2 == 0 ? (int32_t) (rng() % (uint32_t) n) : (int32_t) (rng() & (uint32_t) line.mask);
        reference.writeIndex = line.writeIndex;
        float a[64], b[64], sum[64];
        fillRandom (rng, a, 64);
        fillRandom (rng, b, 64);
        const bool summed = round % 3 == 0;
        for (int i = 0; i < n; ++i)
        {
            sum[i] = summed ? a[i] + b[i] : a[i];
            reference.buffer[(size_t) ((reference.writeIndex - i) & reference.mask)] = sum[i];
        }
        summed ? writeBlockSum (line, a, b, n) : writeBlock (line, a, n);
        ASSERT_TRUE (sameBits (reference.buffer, line.buffer, line.size)) << "write, round " << round;

        const int offset = (int) (rng() % 300u); // beyond the line, held at the longest run it has
        const float gain = 0.5f + 0.001f * (float) round;
        float expected[64], actual[64];
        const int held = std::min (offset, line.size - n);
        for (int i = 0; i < n; ++i)
            expected[i] = line.buffer[(size_t) ((line.writeIndex + held - i) & line.mask)] * gain;
        readTap (line, actual, n, offset, gain);
        ASSERT_TRUE (sameBits (expected, actual, n)) << "tap, round " << round;

        // The same tap added to what a block holds: the sum of each sample with it.
        float sums[64], expectedSums[64];
        fillRandom (rng, sums, n);
        for (int i = 0; i < n; ++i)
            expectedSums[i] = sums[i] + expected[i];
        readTapAdded (line, sums, n, offset, gain);
        ASSERT_TRUE (sameBits (expectedSums, sums, n)) << "added tap, round " << round;
    }
}

TEST_P (FastPaths, BlocksWrittenTogetherMatchAMaskedIndexPerSample)
{
    std::mt19937 rng (19);
    std::array<DelayLine, 6> lines, references;
    for (size_t k = 0; k < lines.size(); ++k)
    {
        resizeFor (lines[k], 128 << (k % 3));
        resizeFor (references[k], 128 << (k % 3));
    }
    alignas (16) float blocks[6][64], feeds[4][64];
    for (int round = 0; round < 120; ++round)
    {
        const int n = (int[]) { 64, 32, 8, 62, 5 }[round % 5];
        const int count = 1 + round % 6;
        const bool fed = round % 3 != 1;
        for (auto& block : blocks)
            fillRandom (rng, block, 64);
        for (auto& feed : feeds)
            fillRandom (rng, feed, 64);
        for (int k = 0; k < count; ++k)
        {
            // Some lines take the block across their wrap.
            auto& line = lines[(size_t) k];
            line.writeIndex =
                rng() % 2 == 0 ? (int32_t) (rng() % (uint32_t) n) : (int32_t) (rng() & (uint32_t) line.mask);
            auto& reference = references[(size_t) k];
            reference.writeIndex = line.writeIndex;
            for (int i = 0; i < n; ++i)
                reference.buffer[(size_t) ((reference.writeIndex - i) & reference.mask)] =
                    fed ? blocks[k][i] + feeds[k % 4][i] : blocks[k][i];
        }
        const float* const feedBlocks[4] = { feeds[0], feeds[1], feeds[2], feeds[3] };
        writeBlocks (lines.data(), blocks[0], 64, fed ? feedBlocks : nullptr, count, n);
        for (int k = 0; k < 6; ++k)
            ASSERT_TRUE (sameBits (references[(size_t) k].buffer, lines[(size_t) k].buffer,
                                   lines[(size_t) k].size))
                << "round " << round << ", line " << k << " of " << count;
    }
}

TEST_P (FastPaths, TapsAddedTogetherMatchEachTapAddedOnItsOwn)
{
    // Every other line of eight (a stride of two), some tapped across their wrap or beyond their
    // length, some taps faded to 0 (left out, so a -0 sum stays -0 and a non-finite sample adds
    // nothing).
    std::mt19937 rng (23);
    std::array<DelayLine, 32> lines;
    for (size_t k = 0; k < lines.size(); ++k)
    {
        resizeFor (lines[k], 128 << (k % 3));
        fillRandom (rng, lines[k].buffer, lines[k].size);
    }
    lines[5].buffer[3] = std::numeric_limits<float>::infinity();
    for (int round = 0; round < 300; ++round)
    {
        const int n = (int[]) { 64, 32, 8, 62, 5, 16 }[round % 6];
        const int count = 1 + round % 16;
        int32_t offsets[16];
        float gains[16];
        for (int t = 0; t < count; ++t)
        {
            auto& line = lines[(size_t) (2 * t + 1)];
            line.writeIndex =
                rng() % 3 == 0 ? (int32_t) (rng() % (uint32_t) n) : (int32_t) (rng() & (uint32_t) line.mask);
            offsets[t] = (int32_t) (rng() % 600u);
            gains[t] = rng() % 4 == 0 ? 0.0f : 0.001f * (float) (rng() % 2000u) - 1.0f;
        }
        alignas (32) float expected[64], actual[64];
        fillRandom (rng, expected, 64);
        expected[0] = -0.0f;
        std::copy_n (expected, 64, actual);
        for (int t = 0; t < count; ++t)
            if (gains[t] != 0.0f)
                readTapAdded (lines[(size_t) (2 * t + 1)], expected, n, offsets[t], gains[t]);
        if (round % 2 == 0)
        {
            const TapSet set { lines.data() + 1, offsets, gains, actual };
            readTapsAdded (&set, 1, 2, count, n);
            ASSERT_TRUE (sameBits (expected, actual, 64)) << "round " << round << ", " << count << " taps of " << n;
            continue;
        }
        // A second set on the other lines, in the same call, as the two channels of a network.
        int32_t otherOffsets[16];
        float otherGains[16];
        for (int t = 0; t < count; ++t)
        {
            otherOffsets[t] = offsets[(t + 5) % count];
            otherGains[t] = gains[(t + 3) % count] * 0.5f;
        }
        alignas (32) float otherExpected[64], otherActual[64];
        fillRandom (rng, otherExpected, 64);
        std::copy_n (otherExpected, 64, otherActual);
        for (int t = 0; t < count; ++t)
            if (otherGains[t] != 0.0f)
                readTapAdded (lines[(size_t) (2 * t)], otherExpected, n, otherOffsets[t], otherGains[t]);
        const TapSet sets[2] = { { lines.data() + 1, offsets, gains, actual },
                                 { lines.data(), otherOffsets, otherGains, otherActual } };
        readTapsAdded (sets, 2, 2, count, n);
        ASSERT_TRUE (sameBits (expected, actual, 64) && sameBits (otherExpected, otherActual, 64))
            << "round " << round << ", two sets of " << count << " taps of " << n;
    }
}

TEST_P (FastPaths, GroupedLinearReadsMatchEachReadOnItsOwn)
{
    ReadGroupSetup setup (23);
    auto& lines = setup.lines;
    for (int round = 0; round < 800; ++round)
    {
        // Every other round the fractions are quantised (as the 32-sample allpasses read them).
        const bool quantised = round % 2 == 1;
        const int count = 1 + (round / 2) % 8, n = round % 3 == 0 ? 32 : 64;
        const float ramp = 1.0f / (float) n;
        float expected[8][64], actual[8][64];
        LinearTapRead reads[8];
        for (size_t r = 0; r < (size_t) count; ++r)
        {
            auto& line = lines[r];
            const auto [start, target] = setup.glideFor (line, round);
            line.tapDelay[0] = start;
            ReferenceRead::linear (line, start, target, n, ramp, expected[r], quantised);
            reads[r] = { &line, actual[r], target };
        }
        quantised ? readQuantisedRampedGroup (reads, count, n, ramp) : readLinearRampedGroup (reads, count, n, ramp);
        for (size_t r = 0; r < (size_t) count; ++r)
        {
            ASSERT_TRUE (sameBits (expected[r], actual[r], n))
                << "round " << round << ", read " << r << (quantised ? ", quantised" : "");
            ASSERT_EQ (lines[r].tapDelay[0], reads[r].targetDelay);
        }
    }
}

/** One line of a bank test: its memory twice (the kernel's and the reference's) and what it reads. */
struct BankLine
{
    DelayLine reference { 1024 };
    alignas (32) float expected[128];
};

TEST_P (FastPaths, ReadAndSplitBankMatchesEachReadThenBothSplits)
{
    using Kind = BankReads::Kind;
    std::mt19937 rng (31);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    std::vector<BankLine> bank (32);
    std::array<DelayLine, 32> lines;
    for (auto& line : lines)
        resizeFor (line, 1024);
    constexpr int stride = BankReads::blockStride;
    alignas (32) static float blocks[32 * stride];
    const Kind patterns[][4] = { { Kind::linear, Kind::linear, Kind::tap, Kind::tap },
                                 { Kind::tap, Kind::tap, Kind::linear, Kind::linear },
                                 { Kind::linear, Kind::linear, Kind::ready, Kind::ready },
                                 { Kind::ready, Kind::ready, Kind::tap, Kind::tap },
                                 { Kind::tap, Kind::tap, Kind::tap, Kind::tap },
                                 { Kind::allpass, Kind::allpass, Kind::tap, Kind::tap },
                                 { Kind::linear, Kind::linear, Kind::allpass, Kind::allpass } };
    for (int round = 0; round < 300; ++round)
    {
        const int count = (int[]) { 32, 16, 8, 12, 5, 24 }[round % 6], n = (int[]) { 64, 32, 16, 4, 6 }[round % 5];
        const float ramp = 1.0f / (float) n;
        Kind kinds[32];
        int32_t offsets[32];
        float gains[32], targets[32] {}, lastRead[32] {};
        // Taps of unit gain in some rounds (a group of them forms no products), one odd one out
        // in some of those, and no gains at all (every one 1) in others.
        const bool noGains = round % 8 == 2;
        for (int k = 0; k < count; ++k)
        {
            auto& b = bank[(size_t) k];
            auto& line = lines[(size_t) k];
            float* const block = blocks + k * stride;
            fillRandom (rng, line.buffer, line.size);
            std::copy_n (line.buffer, line.size, b.reference.buffer);
            // Write positions near the start of the memory half the time, so runs wrap.
            line.writeIndex = b.reference.writeIndex = (int32_t) (round % 2 == 0 ? rng() % 80u : rng() % 1024u);
            const Kind kind = round % 7 == 6 ? (Kind) (rng() % 4u) : patterns[(round / 2) % 7][k % 4];
            kinds[k] = kind;
            gains[k] = noGains || (round % 4 == 2 && (round % 8 != 6 || k != 3)) ? 1.0f : 0.5f + unit (rng);
            offsets[k] = (int32_t) (rng() % 1100u);
            if (kind == Kind::tap)
            {
                const int32_t start = b.reference.writeIndex + std::min (offsets[k], b.reference.size - n);
                for (int i = 0; i < n; ++i)
                    b.expected[i] = b.reference.buffer[(size_t) ((start - i) & b.reference.mask)] * gains[k];
            }
            else if (kind == Kind::linear || kind == Kind::allpass)
            {
                // Held, crossing one whole sample, or moving far; from the target at a first read.
                // An allpass read's delay holds exactly now and then too.
                const float whole = (float) (rng() % 900u), shape = unit (rng);
                const float start = whole + (shape < 0.4f ? 0.3f : 0.9f);
                const float target = shape < 0.1f && kind == Kind::allpass ? start
                                     : shape < 0.4f                        ? whole + 0.6f
                                     : shape < 0.8f                        ? whole + 1.4f
                                                                           : 1000.0f * unit (rng);
                targets[k] = target;
                const float held = std::min (target, longestInterpolatedDelay (b.reference, n));
                const bool first = round % 5 == 3;
                line.tapDelay[0] = first ? DelayLine::startDelay : start;
                if (kind == Kind::linear)
                    ReferenceRead::linear (b.reference, first ? held : start, held, n, ramp, b.expected);
                else
                {
                    line.tapState[0] = unit (rng) - 0.5f;
                    ReferenceRead::allpass (b.reference, first ? held : start, held, n, ramp, line.tapState[0],
                                            b.expected);
                    // The read's state is its last sample, before the splits.
                    lastRead[k] = b.expected[n - 1];
                }
                b.reference.tapDelay[0] = held;
            }
            else
            {
                fillRandom (rng, block, n);
                std::copy_n (block, n, b.expected);
            }
        }
        const BankReads reads { kinds, lines.data(), blocks, offsets, noGains ? nullptr : gains, targets };
        OnePoleLowpass filters[2][32], expectedFilters[2][32];
        float splitGains[4][32];
        for (auto& g : splitGains)
            fillRandom (rng, g, 32);
        for (int k = 0; k < 32; ++k)
            for (int f = 0; f < 2; ++f)
                filters[f][k].state = expectedFilters[f][k].state = unit (rng) - 0.5f;
        const bool unitLow = round % 3 == 0;
        const BandSplit first { filters[0], 0.3f, splitGains[0], unitLow ? nullptr : splitGains[1] };
        const BandSplit second { filters[1], 0.05f + 0.01f * (float) (round % 9),
                                 round % 4 == 1 ? nullptr : splitGains[2], round % 2 == 0 ? nullptr : splitGains[3] };
        for (int k = 0; k < count; ++k)
            for (int f = 0; f < 2; ++f)
            {
                const BandSplit& split = f == 0 ? first : second;
                const float g = split.g, c = 1.0f - g;
                const float hi = split.highGain != nullptr ? split.highGain[k] : 1.0f;
                const float lo = split.lowGain != nullptr ? split.lowGain[k] : 1.0f;
                float& state = expectedFilters[f][k].state;
                for (int i = 0; i < n; ++i)
                {
                    float& x = bank[(size_t) k].expected[i];
                    state = g * x + c * state;
                    x = (x - state) * hi + state * lo;
                }
            }

        readAndSplitBank (reads, count, first, second, n, ramp);
        for (int k = 0; k < count; ++k)
        {
            const auto& b = bank[(size_t) k];
            ASSERT_TRUE (sameBits (b.expected, reads.block (k), n))
                << "round " << round << ", line " << k << " of " << count << ", " << n << " samples, kind "
                << (int) kinds[k];
            ASSERT_EQ (filters[0][k].state, expectedFilters[0][k].state) << "round " << round << ", line " << k;
            ASSERT_EQ (filters[1][k].state, expectedFilters[1][k].state) << "round " << round << ", line " << k;
            if (kinds[k] == Kind::linear || kinds[k] == Kind::allpass)
            {
                ASSERT_EQ (lines[(size_t) k].tapDelay[0], b.reference.tapDelay[0]);
            }
            if (kinds[k] == Kind::allpass)
            {
                ASSERT_EQ (lines[(size_t) k].tapState[0], lastRead[k]) << "round " << round << ", line " << k;
            }
        }
    }
}

TEST_P (FastPaths, BlockHelpersMatchTheirFormulaPerElement)
{
    std::mt19937 rng (29);
    for (int n : { 64, 32, 8, 5, 1, 37, 100 })
    {
        alignas (16) float a[128], b[128], x[128], expected[128], actual[128];
        fillRandom (rng, a, n);
        fillRandom (rng, b, n);
        fillRandom (rng, x, n);
        const float g = 0.37f, h = -1.25f;
        const auto check = [&] (const char* what, auto formula, auto kernel) {
            for (int i = 0; i < n; ++i)
                expected[i] = formula (i);
            std::copy (x, x + n, actual);
            kernel();
            ASSERT_TRUE (sameBits (expected, actual, n)) << what << ", n = " << n;
        };
        // The in-place forms: the output is also the first operand.
        check ("scale", [&] (int i) { return a[i] * g; }, [&] { scaleBlock (actual, a, g, n); });
        check ("scaleAdd", [&] (int i) { return a[i] * g + b[i]; }, [&] { scaleAddBlock (actual, a, g, b, n); });
        check ("scaleTwiceAdd", [&] (int i) { return a[i] * g * h + b[i]; },
               [&] { scaleTwiceAddBlock (actual, a, g, h, b, n); });
        check ("add", [&] (int i) { return x[i] + a[i]; }, [&] { addBlock (actual, a, n); });
        check ("accumulate", [&] (int i) { return x[i] + a[i] * g; }, [&] { accumulateBlock (actual, a, g, n); });
        check ("bandGainScaleAdd", [&] (int i) { return ((x[i] - a[i]) * h + a[i] * g) * 0.6f + b[i]; },
               [&] { bandGainScaleAddBlock (actual, actual, a, h, g, 0.6f, b, n); });
        check ("scale in place", [&] (int i) { return x[i] * g; }, [&] { scaleBlock (actual, actual, g, n); });
    }
}

TEST_P (FastPaths, FixedAllpassInOnePassMatchesItsStagesOneByOne)
{
    std::mt19937 rng (31);
    DelayLine line (256), reference (256);
    fillRandom (rng, line.buffer, line.size);
    std::copy_n (line.buffer, line.size, reference.buffer);
    const float g = 0.62f, loss = 0.97f;
    for (int round = 0; round < 300; ++round)
    {
        // Lengths whose reads overlap the block being written (below 64) or run past the line,
        // and write positions near and across the wrap.
        const int length = (int[]) { 33, 40, 63, 64, 65, 130, 240, 300 }[round % 8];
        line.writeIndex = round % 3 == 0 ? (int32_t) (rng() % 32u) : (int32_t) (rng() & (uint32_t) line.mask);
        reference.writeIndex = line.writeIndex;
        float input[32], expected[32], actual[32], v[32];
        fillRandom (rng, input, 32);
        const int held = std::min (length - 32, reference.size - 32);
        for (int i = 0; i < 32; ++i)
        {
            const float delayed =
                reference.buffer[(size_t) ((reference.writeIndex + held - i) & reference.mask)] * 1.0f;
            expected[i] = delayed * loss + -g * input[i];
            v[i] = input[i] + g * expected[i];
        }
        for (int i = 0; i < 32; ++i)
            reference.buffer[(size_t) ((reference.writeIndex - i) & reference.mask)] = v[i];
        fixedAllpass32 (line, input, actual, g, length, loss);
        ASSERT_TRUE (sameBits (expected, actual, 32)) << "output, round " << round << ", length " << length;
        ASSERT_TRUE (sameBits (reference.buffer, line.buffer, line.size)) << "line, round " << round;
        advance (line, 32);
        advance (reference, 32);
    }
}

TEST (LengthFloors, MatchTheLibraryFloor)
{
    std::mt19937 rng (37);
    std::uniform_real_distribution<float> length (-300.0f, 70000.0f);
    std::vector<float> values { 0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 63.0f, 65535.0f, -64.0f };
    for (float v : { 1.0f, 64.0f, 1000.0f, -1.0f, -64.0f })
        values.insert (values.end(), { std::nextafter (v, 0.0f), std::nextafter (v, 2.0f * v) });
    for (int k = 0; k < 20000; ++k)
        values.push_back (length (rng));
    for (float v : values)
        ASSERT_EQ (kit::floorToInt (v), (int32_t) std::floor (v)) << v;
}

TEST_P (FastPaths, EarlyStagesDoNotDependOnWhereTheirLinesWrite)
{
    // The early stages write and read in one pass unless a run wraps or a tap reaches into the
    // block being written; two engines whose early lines start at other write positions (all
    // zeros, so the same history) take those paths at different blocks and must agree throughout.
    // The second pattern puts the first stages' lines (both channels alike) one and two samples
    // short of a whole block from the bottom of their buffers, just in and just out of the one pass.
    std::mt19937 rng (41);
    for (int pattern = 0; pattern < 2; ++pattern)
    for (int mode : { 0, 4 })
    {
        auto a = quorvane::testing::makeEngine(), b = quorvane::testing::makeEngine();
        for (auto* e : { a.get(), b.get() })
            quorvane::testing::setPhysical (*e, param::type, (float) mode);
        for (size_t k = 0; k < b->earlyLines.size(); ++k)
        {
            auto& line = b->earlyLines[k];
            const int32_t shift = pattern == 0 ? 13 * (int32_t) k : 63 - (int32_t) (k % 8);
            line.writeIndex = (line.writeIndex + line.size / 2 + shift) & line.mask;
        }
        std::vector<float> l (256), r (256), la (256), ra (256), lb (256), rb (256);
        for (int block = 0; block < 300; ++block)
        {
            // Early sizes down to the smallest, whose taps reach into the block being written.
            const float size = block % 50 < 25 ? 0.0f : 0.02f * (float) (block % 50);
            for (auto* e : { a.get(), b.get() })
                e->setNormalised (param::earlySize, size);
            fillRandom (rng, l.data(), 256);
            fillRandom (rng, r.data(), 256);
            a->process (la.data(), ra.data(), l.data(), r.data(), 256);
            b->process (lb.data(), rb.data(), l.data(), r.data(), 256);
            ASSERT_TRUE (sameBits (la.data(), lb.data(), 256) && sameBits (ra.data(), rb.data(), 256))
                << "pattern " << pattern << ", mode " << mode << ", block " << block;
        }
    }
}

TEST_P (FastPaths, FixedAllpassGroupMatchesEachAllpassOnItsOwn)
{
    // Lines that take the one pass and lines that do not (a read into the block being written, a
    // run across the wrap) in one group.
    std::mt19937 rng (43);
    for (int round = 0; round < 200; ++round)
    {
        const int count = 1 + round % 8;
        std::vector<DelayLine> lines, reference;
        DelayLine* pointers[8];
        float blocks[8][32], expected[8][32];
        float* blockPointers[8];
        int lengths[8];
        float losses[8];
        for (int k = 0; k < count; ++k)
        {
            lines.emplace_back (256);
            reference.emplace_back (256);
        }
        for (int k = 0; k < count; ++k)
        {
            fillRandom (rng, lines[(size_t) k].buffer, 256);
            std::copy_n (lines[(size_t) k].buffer, 256, reference[(size_t) k].buffer);
            lines[(size_t) k].writeIndex = reference[(size_t) k].writeIndex = (int32_t) (rng() & 255u);
            lengths[k] = (int[]) { 40, 64, 65, 130, 240, 300 }[rng() % 6];
            losses[k] = 0.9f + 0.01f * (float) k;
            fillRandom (rng, blocks[k], 32);
            std::copy_n (blocks[k], 32, expected[k]);
            pointers[k] = &lines[(size_t) k];
            blockPointers[k] = blocks[k];
        }
        fixedAllpass32Group (pointers, blockPointers, 0.62f, lengths, losses, count);
        for (int k = 0; k < count; ++k)
        {
            fixedAllpass32 (reference[(size_t) k], expected[k], expected[k], 0.62f, lengths[k], losses[k]);
            ASSERT_TRUE (sameBits (expected[k], blocks[k], 32)) << "round " << round << ", line " << k;
            ASSERT_TRUE (sameBits (reference[(size_t) k].buffer, lines[(size_t) k].buffer, 256))
                << "round " << round << ", line " << k;
        }
    }
}
