#include "engine/CrossMixer.h"
#include "engine/Filters.h"
#include "engine/HalfbandFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

using namespace quorvane;

namespace
{
constexpr double pi = 3.14159265358979;

/** Steady-state gain of a block filter at a frequency, from a long sine. */
template <typename Filter>
double sineGain (Filter process, double freq, double rate, int blockLen = 64, int blocks = 400)
{
    std::vector<float> in ((size_t) blockLen), out ((size_t) blockLen);
    double inE = 0.0, outE = 0.0;
    for (int b = 0; b < blocks; ++b)
    {
        for (int i = 0; i < blockLen; ++i)
            in[(size_t) i] = (float) std::sin (2.0 * pi * freq * (b * blockLen + i) / rate);
        process (in.data(), out.data());
        if (b >= blocks / 2)
            for (int i = 0; i < blockLen; ++i)
            {
                inE += (double) in[(size_t) i] * in[(size_t) i];
                outE += (double) out[(size_t) i] * out[(size_t) i];
            }
    }
    return std::sqrt (outE / inE);
}

double db (double gain) { return 20.0 * std::log10 (gain); }
} // namespace

TEST (Filters, LowpassBiquadIsThreeDecibelsDownAtItsCorner)
{
    Biquad f;
    designLowpass (f, 1000.0f, 48000.0f);
    auto gainAt = [&] (double hz) {
        Biquad g = f;
        return sineGain ([&] (const float* i, float* o) { g.process64 (o, i); }, hz, 48000.0);
    };
    EXPECT_NEAR (db (gainAt (50.0)), 0.0, 0.05);
    EXPECT_NEAR (db (gainAt (1000.0)), -3.01, 0.1);
    EXPECT_LT (db (gainAt (8000.0)), -30.0);
    EXPECT_EQ (f.b0, f.b2);
    EXPECT_FLOAT_EQ (f.b1, 2.0f * f.b0);
}

TEST (Filters, ShelfHasUnityGainAtDcAndItsHighGainAtTheTop)
{
    const auto c = designShelf (1000.0f, 0.01f, 48000.0f);
    // H(1) and H(-1) of (x + y z^-1) / (1 + z z^-1)
    EXPECT_NEAR ((c.x + c.y) / (1.0f + c.z), 1.0f, 1e-5f);
    EXPECT_NEAR ((c.x - c.y) / (1.0f - c.z), 0.01f, 1e-4f);
}

TEST (Filters, SplitAllpassHalvesKeepEnergyAndTheDamperIsALowpass)
{
    const float d = designAllpass1 (25.0f, 48000.0f).x;
    FirstOrderFilter numerator, denominator;
    numerator.setCoefficients (d, 1.0f, 0.0f);
    denominator.setCoefficients (1.0f, 0.0f, d);
    for (double hz : { 10.0, 25.0, 1000.0, 15000.0 })
    {
        FirstOrderFilter a = numerator, b = denominator;
        const double g = sineGain ([&] (const float* i, float* o) {
            a.process (64, i, o);
            b.process (64, o, o);
        }, hz, 48000.0, 64, 2000);
        EXPECT_NEAR (g, 1.0, 0.01) << hz;
    }

    const auto damper = designDamper (48000.0f);
    FirstOrderFilter lp;
    lp.setCoefficients (damper.x, damper.y, damper.z);
    const double dc = 2.0 / (1.0 + damper.z); // unnormalised: gain 2 / (1 + a1) at DC
    // The bilinear map puts the 9000 Hz analog corner at fs / pi x atan (pi x 9000 / fs) digitally.
    const double corner = 48000.0 / pi * std::atan (pi * 9000.0 / 48000.0);
    FirstOrderFilter a = lp;
    EXPECT_NEAR (sineGain ([&] (const float* i, float* o) { a.process (64, i, o); }, corner, 48000.0) / dc,
                 std::sqrt (0.5), 0.01);
}

TEST (Filters, OnePoleLowpassHasUnityDcGainAndTheStatedRecursion)
{
    OnePoleLowpass lp;
    std::vector<float> in (64, 1.0f), out (64);
    for (int b = 0; b < 200; ++b)
        lp.process (0.05f, in.data(), out.data(), 64);
    EXPECT_NEAR (out[63], 1.0f, 1e-5f);

    OnePoleLowpass fresh;
    std::vector<float> impulse (8, 0.0f);
    impulse[0] = 1.0f;
    fresh.process (0.25f, impulse.data(), impulse.data(), 8);
    EXPECT_FLOAT_EQ (impulse[0], 0.25f);
    EXPECT_FLOAT_EQ (impulse[1], 0.25f * 0.75f);
    EXPECT_EQ (fresh.state, impulse[7]);
}

TEST (CrossMixer, RotationKeepsEnergyAndMatchesItsAngle)
{
    CrossMixer m;
    m.setAngle (0.3f);
    std::vector<float> x (64), y (64);
    double before = 0.0;
    for (int i = 0; i < 64; ++i)
    {
        x[(size_t) i] = std::sin (0.1f * (float) i);
        y[(size_t) i] = std::cos (0.37f * (float) i);
        before += (double) x[(size_t) i] * x[(size_t) i] + (double) y[(size_t) i] * y[(size_t) i];
    }
    const auto x0 = x, y0 = y;
    m.rotate (x.data(), y.data(), 64);
    double after = 0.0;
    for (int i = 0; i < 64; ++i)
    {
        after += (double) x[(size_t) i] * x[(size_t) i] + (double) y[(size_t) i] * y[(size_t) i];
        EXPECT_NEAR (x[(size_t) i], std::cos (0.3f) * x0[(size_t) i] - std::sin (0.3f) * y0[(size_t) i], 1e-6f);
        EXPECT_NEAR (y[(size_t) i], std::sin (0.3f) * x0[(size_t) i] + std::cos (0.3f) * y0[(size_t) i], 1e-6f);
    }
    EXPECT_NEAR (after, before, 1e-4);
}

TEST (HalfbandFilter, AllpassSectionsStayClearOfDenormalsOnSilence)
{
    AllpassSection s;
    s.a = 0.5f;
    std::vector<float> buf (32, 0.0f);
    for (int b = 0; b < 1000; ++b)
    {
        const float offsetBefore = s.offset;
        std::fill (buf.begin(), buf.end(), 0.0f);
        s.process32 (buf.data(), buf.data());
        EXPECT_EQ (s.offset, -offsetBefore);
        for (float v : buf)
            ASSERT_TRUE (v == 0.0f || std::fabs (v) >= 1e-18f) << v;
    }
}

TEST (HalfbandFilter, RoundTripPassesLowSinesAndStopsNearNyquist)
{
    auto roundTrip = [] (double hz) {
        HalfbandFilter down, up;
        std::vector<float> half (32);
        return sineGain ([&] (const float* i, float* o) {
            down.decimate (i, half.data());
            up.interpolate (half.data(), o);
        }, hz, 48000.0);
    };
    EXPECT_NEAR (db (roundTrip (1000.0)), 0.0, 0.1);
    EXPECT_NEAR (db (roundTrip (6000.0)), 0.0, 0.2);
    EXPECT_LT (db (roundTrip (20000.0)), -30.0);
}

TEST (Biquad, SmoothedCoefficientsGlideToTheTargetsAndThenFilterLikeThePlainOne)
{
    Biquad smoothed, plain;
    designLowpass (smoothed, 2000.0f, 48000.0f);
    designLowpass (plain, 2000.0f, 48000.0f);
    const float smoothing = 1.0f - std::exp (-1000.0f / (0.78125f * 48000.0f));
    float in[64], outSmoothed[64], outPlain[64];
    for (int i = 0; i < 64; ++i)
        in[i] = (i % 7) * 0.1f - 0.3f;

    smoothed.processSmoothed64 (outSmoothed, in, smoothing);
    EXPECT_FLOAT_EQ (smoothed.current[2], plain.b0 * smoothing); // one step from zero
    for (int block = 0; block < 2000; ++block)
    {
        smoothed.processSmoothed64 (outSmoothed, in, smoothing);
        plain.process64 (outPlain, in);
    }
    for (int i = 0; i < 64; ++i)
        EXPECT_NEAR (outSmoothed[i], outPlain[i], 1e-5f) << i;
}
