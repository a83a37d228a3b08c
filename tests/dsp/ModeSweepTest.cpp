// Mode changes during playback with everything else moving too: the reverb must stay finite and
// bounded whatever it is switched to, whenever.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace quorvane;
using namespace quorvane::testing;

namespace
{
/** Seconds of audio to sweep: QUORVANE_SWEEP_SECONDS (600 for the long run), else a short run. */
double sweepSeconds()
{
    const char* text = std::getenv ("QUORVANE_SWEEP_SECONDS");
    const double seconds = text != nullptr ? std::atof (text) : 0.0;
    return seconds > 0.0 ? seconds : 20.0;
}
} // namespace

TEST (ModeSweep, TypeChangesDuringPlaybackWithRandomSettingsStayFiniteAndBounded)
{
    const int rate = 48000;
    auto engine = makeEngine (rate, 17);
    std::mt19937 gen (2024);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    std::uniform_int_distribution<int> blocksUntilChange (2, 12), blockSizes (1, 700), anyMode (0, modeCount - 1),
        anyParameter (0, param::count - 2);

    const long total = (long) (sweepSeconds() * rate);
    std::vector<float> left (700), right (700);
    float peak = 0.0f;
    long changes = 0, nonFinite = 0;
    int countdown = blocksUntilChange (gen);
    for (long done = 0; done < total;)
    {
        if (--countdown <= 0)
        {
            // A new mode and a few other parameters anywhere in their ranges (mix kept at full
            // wet now and then, so the peak is the reverb's own).
            engine->setNormalised (param::type, typeNormalisedForMode (anyMode (gen)));
            for (int k = 0; k < 3; ++k)
                engine->setNormalised (anyParameter (gen), unit (gen));
            countdown = blocksUntilChange (gen);
            ++changes;
        }
        const int n = (int) std::min<long> (blockSizes (gen), total - done);
        // Noise at -6 dB with a full-scale click now and then.
        for (int i = 0; i < n; ++i)
        {
            left[(size_t) i] = unit (gen) - 0.5f;
            right[(size_t) i] = unit (gen) - 0.5f;
        }
        if (unit (gen) < 0.01f)
            left[0] = right[0] = 1.0f;
        engine->process (left.data(), right.data(), left.data(), right.data(), n);
        for (int i = 0; i < n; ++i)
            for (float v : { left[(size_t) i], right[(size_t) i] })
            {
                if (! std::isfinite (v))
                    ++nonFinite;
                else
                    peak = std::max (peak, std::fabs (v));
            }
        done += n;
    }
    std::printf ("%.0f s swept, %ld changes of mode and settings, peak %.3f\n", (double) total / rate, changes, peak);
    EXPECT_EQ (nonFinite, 0);
    EXPECT_LT (peak, 8.0f);
}

TEST (ModeSweep, EachModeSoaksUnderRandomAutomation)
{
    // Each mode for QUORVANE_SOAK_SECONDS of audio (3600 for the long run; a few seconds by
    // default), a random parameter moved every 100 to 500 ms: the output stays finite and bounded.
    const char* text = std::getenv ("QUORVANE_SOAK_SECONDS");
    const double seconds = text != nullptr && std::atof (text) > 0.0 ? std::atof (text) : 4.0;
    const int rate = 48000;
    std::mt19937 gen (77);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    std::uniform_int_distribution<int> nextMove (rate / 10, rate / 2), anyParameter (0, param::count - 2);
    float worst = 0.0f;
    for (int mode : allModes())
    {
        auto engine = makeEngine (rate, (uint32_t) mode + 1);
        selectMode (*engine, mode);
        const long total = (long) (seconds * rate);
        std::vector<float> left (512), right (512);
        long untilMove = nextMove (gen);
        float peak = 0.0f;
        for (long done = 0; done < total; done += 512)
        {
            if ((untilMove -= 512) <= 0)
            {
                const int index = anyParameter (gen);
                engine->setNormalised (index, unit (gen));
                untilMove = nextMove (gen);
            }
            for (size_t i = 0; i < 512; ++i)
            {
                left[i] = 0.5f * (unit (gen) - 0.5f);
                right[i] = 0.5f * (unit (gen) - 0.5f);
            }
            engine->process (left.data(), right.data(), left.data(), right.data(), 512);
            for (size_t i = 0; i < 512; ++i)
            {
                ASSERT_TRUE (std::isfinite (left[i]) && std::isfinite (right[i])) << "mode " << mode;
                peak = std::max ({ peak, std::fabs (left[i]), std::fabs (right[i]) });
            }
        }
        EXPECT_LT (peak, 8.0f) << "mode " << mode;
        worst = std::max (worst, peak);
    }
    std::printf ("%.0f s per mode soaked, peak %.3f\n", seconds, worst);
}
