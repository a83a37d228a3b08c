#include "engine/RandomLfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
