// No signal and no setting may make the reverb blow up, poison its tail or stall in denormals.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

using namespace quorvane;
using namespace quorvane::testing;

namespace
{
/** Full-scale square wave at 100 Hz on both channels. */
Stereo square (int samples, int rate)
{
    Stereo s { std::vector<float> ((size_t) samples), std::vector<float> ((size_t) samples) };
    const int half = rate / 200;
    for (int i = 0; i < samples; ++i)
        s.left[(size_t) i] = s.right[(size_t) i] = (i / half) % 2 ? -1.0f : 1.0f;
    return s;
}

/** Full-scale noise. */
Stereo loudNoise (int samples)
{
    auto s = noise (samples, 21);
    for (auto* channel : { &s.left, &s.right })
        for (auto& v : *channel)
            v *= 2.0f;
    return s;
}

/** Every parameter at its minimum (or maximum, or alternating), mix at full wet, then the mode. */
void corner (ReverbEngine& engine, int mode, int pattern)
{
    for (int i = 0; i < param::count - 1; ++i)
    {
        const bool high = pattern == 0 ? false : pattern == 1 ? true : ((i + pattern) % 2 == 0);
        engine.setNormalised (i, high ? 1.0f : 0.0f);
    }
    engine.setNormalised (param::mix, 1.0f);
    selectMode (engine, mode);
}

/** Denormals flushed, as the plug-in's audio callback runs the engine. At the corners (decay
    0.1 s on the largest lines) a pass through a line takes its signal down by hundreds of dB, below
    anything the network's tiny offsets can hold it at; only flushing keeps that out of denormals. */
struct FlushDenormals
{
#if defined(__SSE__) || defined(__x86_64__)
    unsigned int saved = _mm_getcsr();
    FlushDenormals() { _mm_setcsr (saved | 0x8040u); }
    ~FlushDenormals() { _mm_setcsr (saved); }
#endif
};

std::vector<int> extremeRates()
{
    if (std::getenv ("QUORVANE_EXTREMES_ALL_RATES") != nullptr)
        return { 22050, 44100, 48000, 88200, 96000, 176400, 192000 };
    return { 22050, 48000, 192000 };
}
/** What a signal, then `quiet` samples of silence, did to an engine. */
struct Probe
{
    bool finite = true;     ///< every output sample of the signal finite
    float peak = 0.0f;      ///< its largest magnitude
    bool cleanTail = true;  ///< the silence's output finite and free of denormals
    float badTail = 0.0f;   ///< the first sample of the silence that was not
};

Probe probe (ReverbEngine& engine, Stereo in, size_t quiet)
{
    Probe p;
    const auto out = run (engine, std::move (in));
    for (size_t i = 0; i < out.left.size(); ++i)
        for (float v : { out.left[i], out.right[i] })
        {
            p.finite = p.finite && std::isfinite (v);
            p.peak = std::isfinite (v) ? std::max (p.peak, std::fabs (v)) : p.peak;
        }
    // The tail must fall without denormals (the longest decay takes longer than this to vanish,
    // so only the kind of number is checked).
    const auto tail = run (engine, Stereo { std::vector<float> (quiet), std::vector<float> (quiet) });
    for (size_t i = 0; i < quiet && p.cleanTail; ++i)
        for (float v : { tail.left[i], tail.right[i] })
            if (p.cleanTail && ! (std::isfinite (v) && (v == 0.0f || std::fabs (v) >= FLT_MIN)))
            {
                p.cleanTail = false;
                p.badTail = v;
            }
    return p;
}
} // namespace

TEST (Extremes, EveryModeAtEveryCornerStaysFiniteBoundedAndFreeOfDenormals)
{
    const FlushDenormals flush;
    float worst = 0.0f;
    for (int rate : extremeRates())
        for (int mode : allModes())
            for (int pattern = 0; pattern < 4; ++pattern)
                for (bool useSquare : { false, true })
                {
                    auto engine = makeEngine (rate);
                    corner (*engine, mode, pattern);
                    const int loud = rate / 4;
                    const auto p =
                        probe (*engine, useSquare ? square (loud, rate) : loudNoise (loud), (size_t) rate / 2);
                    ASSERT_TRUE (p.finite) << "mode " << mode << " at " << rate << ", corner " << pattern;
                    EXPECT_LT (p.peak, 30.0f) << "mode " << mode << " at " << rate << ", corner " << pattern;
                    ASSERT_TRUE (p.cleanTail)
                        << "mode " << mode << " at " << rate << ", corner " << pattern << ": " << p.badTail;
                    worst = std::max (worst, p.peak);
                }
    std::printf ("largest peak at the corners: %.2f\n", worst);
}

TEST (Extremes, EachParameterAtItsMinimumAndMaximumAloneStaysFiniteBoundedAndFreeOfDenormals)
{
    // One parameter at a time at either end of its range, the others at their defaults (full wet):
    // the corners above cannot show a fault that needs one setting to be extreme and another not.
    const FlushDenormals flush;
    float worst = 0.0f;
    const auto rates =
        std::getenv ("QUORVANE_EXTREMES_ALL_RATES") != nullptr ? extremeRates() : std::vector<int> { 48000 };
    for (int rate : rates)
        for (int mode : allModes())
            for (int index = 0; index < param::count - 1; ++index)
                for (float end : { 0.0f, 1.0f })
                {
                    auto engine = makeEngine (rate);
                    engine->setNormalised (param::mix, 1.0f);
                    engine->setNormalised (index, end);
                    selectMode (*engine, mode);
                    // Noise, then a square wave on top of its tail.
                    auto in = loudNoise (rate / 16);
                    const auto wave = square (rate / 16, rate);
                    in.left.insert (in.left.end(), wave.left.begin(), wave.left.end());
                    in.right.insert (in.right.end(), wave.right.begin(), wave.right.end());
                    const auto p = probe (*engine, std::move (in), (size_t) rate / 8);
                    ASSERT_TRUE (p.finite) << "mode " << mode << ", parameter " << index << " at " << end;
                    EXPECT_LT (p.peak, 30.0f) << "mode " << mode << ", parameter " << index << " at " << end;
                    ASSERT_TRUE (p.cleanTail)
                        << "mode " << mode << ", parameter " << index << " at " << end << ": " << p.badTail;
                    worst = std::max (worst, p.peak);
                }
    std::printf ("largest peak with one parameter at an end: %.2f\n", worst);
}

TEST (Extremes, AHighCutJumpNeverBurstsOut)
{
    // A jump of the high cut's corner while the reverb rings: the output right after it stays
    // within a few dB of the levels before and after (the direct-form state of a low corner, read
    // by a much higher one, burst out at up to +35 dB, and at +13 dB in the first steps of a glide).
    const auto setHighCut = [] (ReverbEngine& e, float hz) { setPhysical (e, param::highCut, hz); };
    float worst = 0.0f;
    for (int mode : allModes())
        for (auto [from, to] :
             { std::pair { 200.0f, 15000.0f }, std::pair { 480.0f, 8800.0f }, std::pair { 8800.0f, 480.0f } })
        {
            auto engine = makeEngine();
            engine->setNormalised (param::mix, 1.0f);
            setHighCut (*engine, from);
            selectMode (*engine, mode);
            const auto peakOver = [&] (int samples, unsigned seed) {
                const auto out = run (*engine, noise (samples, seed), 256);
                float peak = 0.0f;
                for (size_t i = 0; i < out.left.size(); ++i)
                    peak = std::max ({ peak, std::fabs (out.left[i]), std::fabs (out.right[i]) });
                return peak;
            };
            peakOver (96000, 1);
            const float before = peakOver (9600, 2);
            setHighCut (*engine, to);
            const float after = peakOver (4800, 3);
            peakOver (24000, 4);
            const float settled = peakOver (9600, 5);
            const float ratio = after / std::max (before, settled);
            EXPECT_LT (ratio, 2.0f) << "mode " << mode << ", " << from << " to " << to << " Hz";
            worst = std::max (worst, ratio);
        }
    std::printf ("largest jump of the output after a high-cut jump: %+.1f dB\n", 20.0 * std::log10 (worst));
}

TEST (Extremes, NonFiniteInputNeverPoisonsAnyModeAndTheWetOutputRecoversAtOnce)
{
    for (int mode : allModes())
    {
        auto engine = makeEngine();
        selectMode (*engine, mode);
        setPhysical (*engine, param::mix, 50.0f);
        auto in = noise (4800);
        in.left[1000] = std::nanf ("");
        in.right[2000] = INFINITY;
        in.left[3000] = -INFINITY;
        in.right[3500] = 1e30f;
        const auto during = run (*engine, in, 100);
        // Only the dry path carries the bad samples themselves, and only where they are.
        for (size_t i = 0; i < during.left.size(); ++i)
        {
            if (i != 1000 && i != 3000)
            {
                ASSERT_TRUE (std::isfinite (during.left[i])) << "mode " << mode << ", sample " << i;
            }
            if (i != 2000)
            {
                ASSERT_TRUE (std::isfinite (during.right[i])) << "mode " << mode << ", sample " << i;
            }
        }
        const auto after = run (*engine, noise (48000, 9));
        for (size_t i = 0; i < after.left.size(); ++i)
            ASSERT_TRUE (std::isfinite (after.left[i]) && std::isfinite (after.right[i])) << "mode " << mode;
    }
}
