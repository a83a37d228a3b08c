// The wider vector unit against the baseline in the whole reverb: every mode, at a full and at a
// half-rate-friendly host rate, with host blocks of every length and settings moving, renders the
// same bits on both.
#include "EngineTestSupport.h"
#include "engine/VectorUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace quorvane;

namespace
{
std::vector<float> render (VectorUnit unit, int mode, int rate)
{
    selectVectorUnit (unit);
    auto engine = quorvane::testing::makeEngine (rate);
    auto& e = *engine;
    e.setNormalised (param::type, typeNormalisedForMode (mode));
    e.setNormalised (param::mix, 1.0f);
    std::mt19937 rng (40u + (uint32_t) mode);
    std::uniform_real_distribution<float> u (-0.5f, 0.5f), normalised (0.0f, 1.0f);
    std::vector<float> out;
    const int frames = rate / 2;
    std::vector<float> l (512), r (512);
    for (int done = 0; done < frames;)
    {
        const int n = std::min (frames - done, 1 + (int) (rng() % 512u));
        for (int i = 0; i < n; ++i)
        {
            l[(size_t) i] = done + i < rate / 8 ? u (rng) : 0.0f;
            r[(size_t) i] = -0.5f * l[(size_t) i];
            // Now and then what no audio holds, which the input stage limits or drops.
            if (rng() % 509u == 0)
                l[(size_t) i] = (const float[]) { NAN, INFINITY, -INFINITY, 3.0e6f, -2.0e7f, -0.0f }[rng() % 6u];
        }
        if (rng() % 3 == 0)
            e.setNormalised ((int) (rng() % (uint32_t) param::type), normalised (rng));
        e.process (l.data(), r.data(), l.data(), r.data(), n);
        out.insert (out.end(), l.begin(), l.begin() + n);
        out.insert (out.end(), r.begin(), r.begin() + n);
        done += n;
    }
    return out;
}
} // namespace

TEST (VectorUnit, EveryModeRendersTheSameBitsOnEveryUnit)
{
    if (! canRun (VectorUnit::avx2))
        GTEST_SKIP() << "this processor has no AVX2: only the baseline runs here";
    const VectorUnit previous = activeVectorUnit();
    for (int rate : { 44100, 96000 })
        for (int mode = 0; mode < modeCount; ++mode)
        {
            const auto baseline = render (VectorUnit::baseline, mode, rate);
            const auto wide = render (VectorUnit::avx2, mode, rate);
            ASSERT_EQ (baseline.size(), wide.size());
            EXPECT_EQ (std::memcmp (baseline.data(), wide.data(), baseline.size() * sizeof (float)), 0)
                << "mode " << mode << " at " << rate << " Hz";
        }
    selectVectorUnit (previous);
}

TEST (VectorUnit, AUnitTheProcessorCannotRunFallsBackToTheBaseline)
{
    const VectorUnit previous = activeVectorUnit();
    EXPECT_TRUE (canRun (VectorUnit::baseline));
    selectVectorUnit (VectorUnit::baseline);
    EXPECT_EQ (activeVectorUnit(), VectorUnit::baseline);
    selectVectorUnit (VectorUnit::avx2);
    EXPECT_EQ (activeVectorUnit(), canRun (VectorUnit::avx2) ? VectorUnit::avx2 : VectorUnit::baseline);
    selectVectorUnit (previous);
}
