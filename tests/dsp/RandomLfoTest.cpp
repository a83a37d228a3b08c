#include "engine/RandomLfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using namespace quorvane;

TEST (RandomLfo, WrapDirectionSequenceIsFixedBySeedAlone)
{
    auto run = [] {
        RandomLfo lfo;
        lfo.period = 3;
        lfo.countdown = 0;
        std::vector<float> values;
        for (int i = 0; i < 500; ++i)
        {
            stepWrap (lfo);
            values.push_back (lfo.value);
            EXPECT_GT (lfo.value, 0.0f);
            EXPECT_LE (lfo.value, 4.0f);
        }
        return values;
    };
    EXPECT_EQ (run(), run());
}

TEST (RandomLfo, WrapReversesAboutOneDecisionInFour)
{
    RandomLfo lfo;
    lfo.period = 1;
    lfo.countdown = 0;
    int flips = 0;
    const int decisions = 40000;
    for (int i = 0; i < decisions; ++i)
    {
        const float before = lfo.step;
        stepWrap (lfo);
        flips += before != lfo.step ? 1 : 0;
    }
    EXPECT_NEAR ((double) flips / decisions, 0.25, 0.02);
    EXPECT_GE (triangle (lfo), -1.0f);
    EXPECT_LE (triangle (lfo), 1.0f);
}

TEST (RandomLfo, BounceFlipsHalfTheTime)
{
    RandomSource random;
    random.seed (7);
    RandomLfo lfo;
    lfo.rate = lfo.step = 1e-7f; // never reaches an edge
    lfo.period = 1;
    lfo.countdown = 0;
    int flips = 0;
    const int decisions = 40000;
    for (int i = 0; i < decisions; ++i)
    {
        const float before = lfo.step;
        stepBounce (lfo, random);
        flips += before != lfo.step ? 1 : 0;
    }
    EXPECT_NEAR ((double) flips / decisions, 0.5, 0.02);
}

TEST (RandomLfo, BounceSetsTheDirectionButNeverClampsTheValue)
{
    RandomSource random;
    RandomLfo lfo;
    lfo.value = 0.95f;
    lfo.rate = lfo.step = 0.1f;
    lfo.period = 1000;
    lfo.countdown = 1000;
    stepBounce (lfo, random);
    EXPECT_FLOAT_EQ (lfo.value, 1.05f); // overshoots by less than a step
    EXPECT_EQ (lfo.step, -0.1f);
    stepBounce (lfo, random);
    EXPECT_FLOAT_EQ (lfo.value, 0.95f);
    EXPECT_EQ (lfo.countdown, 998);

    // A decision right after the bounce may carry the value one more step beyond the edge.
    lfo.value = 1.05f;
    lfo.step = 0.1f;
    lfo.countdown = 0;
    lfo.period = 1;
    random.seed (1);
    float extreme = 0.0f;
    for (int i = 0; i < 1000; ++i)
    {
        stepBounce (lfo, random);
        extreme = std::max (extreme, lfo.value);
    }
    EXPECT_GT (extreme, 1.1f);
}

TEST (RandomLfo, EnginesOwnTheirGeneratorAndSeedsRepeat)
{
    RandomSource a, b;
    a.seed (42);
    b.seed (42);
    std::srand (1); // the process-wide generator plays no part
    for (int i = 0; i < 100; ++i)
    {
        const int x = a.next();
        ASSERT_EQ (x, b.next());
        ASSERT_GE (x, 0);
        ASSERT_LE (x, 32767);
    }
    RandomSource c;
    c.seed (43);
    a.seed (42);
    int same = 0;
    for (int i = 0; i < 100; ++i)
        same += a.next() == c.next() ? 1 : 0;
    EXPECT_LT (same, 10);
}

TEST (RandomLfo, ABankStepsEveryModulatorAsOneOnItsOwnWould)
{
    // Countdowns and periods short enough that decisions fall due in every lane now and then,
    // values near both ends of both ranges, and the sets the networks step: runs from the first
    // modulator, with strides, and counts that are no multiple of four.
    std::mt19937 rng (8);
    std::uniform_real_distribution<float> value (-1.2f, 4.2f), rate (0.0005f, 0.3f);
    RandomLfoBank bank;
    RandomLfo single[RandomLfoBank::size];
    for (int j = 0; j < RandomLfoBank::size; ++j)
    {
        auto& lfo = single[j];
        lfo.value = value (rng);
        lfo.rate = rate (rng);
        lfo.step = rng() % 2 == 0 ? lfo.rate : -lfo.rate;
        lfo.period = 1 + (int32_t) (rng() % 7u);
        lfo.countdown = (int32_t) (rng() % 5u);
        lfo.seed = rng();
        auto fields = bank[j];
        fields.value = lfo.value;
        fields.rate = lfo.rate;
        fields.step = lfo.step;
        fields.period = lfo.period;
        fields.countdown = lfo.countdown;
        fields.seed = lfo.seed;
    }
    RandomSource bankRandom, singleRandom;
    bankRandom.seed (3);
    singleRandom.seed (3);
    const auto same = [] (float a, float b) { return std::memcmp (&a, &b, sizeof a) == 0; };
    // Steps that land exactly on the ends of both ranges first, where >= and > part.
    {
        RandomLfoBank ends;
        RandomLfo one[8];
        const float starts[8] = { 3.5f, 0.5f, -0.5f, 0.75f, -0.75f, 3.75f, 0.25f, 1.5f };
        const float steps[8] = { 0.5f, -0.5f, 0.5f, 0.25f, -0.25f, 0.25f, -0.25f, 0.5f };
        for (int j = 0; j < 8; ++j)
        {
            one[j].value = ends.value[j] = starts[j];
            one[j].step = ends.step[j] = steps[j];
        }
        float fromBank[8];
        for (const bool wrap : { true, false })
        {
            RandomLfoBank b = ends;
            RandomLfo s[8];
            std::copy (one, one + 8, s);
            RandomSource r1, r2;
            wrap ? stepWrapBank (b, 0, 1, 8, fromBank) : stepBounceBank (b, r1, 8, 1.0f, fromBank);
            for (int j = 0; j < 8; ++j)
            {
                wrap ? stepWrap (s[j]) : stepBounce (s[j], r2);
                ASSERT_TRUE (same (fromBank[j], wrap ? triangle (s[j]) : s[j].value) && same (b.value[j], s[j].value)
                             && same (b.step[j], s[j].step))
                    << (wrap ? "wrap" : "bounce") << ", modulator " << j;
            }
        }
    }
    for (int round = 0; round < 400; ++round)
    {
        float fromBank[RandomLfoBank::size], fromSingle[RandomLfoBank::size];
        const bool wrap = round % 3 != 0;
        const int stride = wrap ? 1 + round % 4 : 1, first = wrap ? round % 5 : 0;
        const int count = std::min (1 + (round * 7) % 32, (RandomLfoBank::size - 1 - first) / stride + 1);
        if (wrap)
        {
            stepWrapBank (bank, first, stride, count, fromBank);
            for (int j = 0; j < count; ++j)
            {
                stepWrap (single[first + j * stride]);
                fromSingle[j] = triangle (single[first + j * stride]);
            }
        }
        else
        {
            stepBounceBank (bank, bankRandom, count, 0.75f, fromBank);
            for (int j = 0; j < count; ++j)
            {
                stepBounce (single[j], singleRandom);
                fromSingle[j] = 0.75f * single[j].value;
            }
        }
        for (int j = 0; j < count; ++j)
            ASSERT_TRUE (same (fromBank[j], fromSingle[j])) << "round " << round << ", modulator " << j;
        for (int j = 0; j < RandomLfoBank::size; ++j)
        {
            const auto fields = bank[j];
            ASSERT_TRUE (same (fields.value, single[j].value) && same (fields.step, single[j].step)
                         && fields.countdown == single[j].countdown && fields.seed == single[j].seed)
                << "round " << round << ", modulator " << j;
        }
    }
}
