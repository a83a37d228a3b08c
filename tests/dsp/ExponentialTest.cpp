// Exponentials of many values at once against the library's one at a time, and the gain formulas
// built on them against the inline formulas they batch.
#include "engine/Exponential.h"
#include "engine/ModeInterface.h"
#include "engine/VectorUnit.h"
#include "modes/toolkit/DecayFormulas.h"
#include "modes/toolkit/ModeSetup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace quorvane;

namespace
{
uint32_t bitsOf (float x)
{
    uint32_t b;
    std::memcpy (&b, &x, sizeof b);
    return b;
}

float fromBits (uint32_t b)
{
    float x;
    std::memcpy (&x, &b, sizeof x);
    return x;
}

/** Restores the unit chosen when the program started. */
struct UnitGuard
{
    VectorUnit saved = activeVectorUnit();
    ~UnitGuard() { selectVectorUnit (saved); }
};

/** Values across the whole float range (every sign, exponent and a spread of mantissas), with
    those around the library's change of path, its overflow and underflow, and what is no number;
    the ones the table covers first (a set holding any other goes to the library whole). */
std::vector<float> testValues (size_t& inside)
{
    std::vector<float> v, beyond;
    const auto add = [&] (float x) { (std::fabs (x) < 88.0f ? v : beyond).push_back (x); };
    for (uint64_t b = 0; b < (1ull << 32); b += 65521) // a prime step: every exponent, many mantissas
        add (fromBits ((uint32_t) b));
    for (const float edge : { 88.0f, 88.72283f, 88.72284f, 89.0f, 103.97208f, 104.0f, 87.33655f, 0.5f })
        for (const float x : { edge, -edge, std::nextafter (edge, 0.0f), -std::nextafter (edge, 0.0f),
                               std::nextafter (edge, 200.0f), -std::nextafter (edge, 200.0f) })
            add (x);
    const float inf = std::numeric_limits<float>::infinity();
    for (const float x : { 0.0f, -0.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN(),
                           -std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min(),
                           -std::numeric_limits<float>::denorm_min(), 0x1.04845ep+5f, -0x1.f8cbb2p+5f, -6.9077554f })
        add (x);
    inside = v.size();
    v.insert (v.end(), beyond.begin(), beyond.end());
    return v;
}
} // namespace

TEST (Exponentials, AreTheLibrarysBitForBitOnEitherUnitAtEveryLengthAndInPlace)
{
    UnitGuard guard;
    size_t inside = 0;
    const auto values = testValues (inside);
    const auto check = [&values] (const float* out, size_t first, size_t n, VectorUnit unit) {
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ (bitsOf (out[i]), bitsOf (std::exp (values[first + i])))
                << "exp (" << values[first + i] << ") on unit " << (int) unit;
    };
    for (const VectorUnit unit : { VectorUnit::baseline, VectorUnit::avx2 })
    {
        if (! canRun (unit))
            continue;
        selectVectorUnit (unit);
        // The values the table covers as one set, then all of them.
        for (const size_t n : { inside, values.size() })
        {
            std::vector<float> out (n);
            exponentials (out.data(), values.data(), (int) n);
            check (out.data(), 0, n, unit);
        }
        // Every length to nine (whole fours and a tail) from every offset, in place: the values
        // near each other around the change of path and the specials at the end.
        for (size_t first = inside - 40; first + 9 <= values.size(); ++first)
            for (int n = 0; n <= 9; ++n)
            {
                std::vector<float> io (values.begin() + (long) first, values.begin() + (long) first + n);
                exponentials (io.data(), io.data(), n);
                check (io.data(), first, (size_t) n, unit);
            }
    }
}

#if defined(__GLIBC__) && defined(__x86_64__)
TEST (Exponentials, RecogniseTheFormOfThisLibrary)
{
    // The C library here computes its exponential in one of the two forms the batches know: with
    // fused multiply-adds where the processor has them, unless told otherwise (a second run of
    // these tests makes the library take its plain form and names it here). Falling back to one
    // call per value would be safe but slow; here it would mean a kernel has gone wrong.
    const char* expected = std::getenv ("QUORVANE_EXPECTED_EXPONENTIAL");
    __builtin_cpu_init();
    const bool fusedRuns = __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma");
    const auto form = expected != nullptr
                          ? (std::strcmp (expected, "plain") == 0 ? ExponentialForm::plain : ExponentialForm::fused)
                          : (fusedRuns ? ExponentialForm::fused : ExponentialForm::plain);
    EXPECT_EQ ((int) recognisedExponentialForm(), (int) form);
}
#endif

TEST (DecayFormulas, BatchedGainsAreTheInlineFormulasOnEveryLineIncludingVanishingMidGains)
{
    // Lengths and decays as the networks form them, and some loops so many decay times long
    // that the mid gain vanishes below the smallest float and the ratio comes from the exponents.
    UnitGuard guard;
    std::mt19937 rng (17);
    std::uniform_real_distribution<float> length (20.0f, 40000.0f), seconds (0.1f, 30.0f);
    for (const VectorUnit unit : { VectorUnit::baseline, VectorUnit::avx2 })
    {
        if (! canRun (unit))
            continue;
        selectVectorUnit (unit);
        for (int trial = 0; trial < 60; ++trial)
        {
            const int count = 1 + trial % 32;
            const float rate = trial % 3 == 0 ? 24000.0f : 48000.0f;
            const bool vanishing = trial % 4 == 0;
            const float mid = vanishing ? 0.1f : seconds (rng), bass = seconds (rng),
                        high = vanishing ? 0.05f : seconds (rng);
            ModeState ms;
            std::vector<float> lengths ((size_t) count);
            for (int k = 0; k < count; ++k)
            {
                lengths[(size_t) k] = vanishing && k % 2 == 0 ? 1.0e6f * (1.0f + (float) k) : length (rng);
                ms.segmentLength[(size_t) k] = lengths[(size_t) k];
            }

            std::vector<float> midGains ((size_t) count), bassGains ((size_t) count), highGains ((size_t) count),
                gains ((size_t) count), ratios ((size_t) count), loops ((size_t) count), loopBand ((size_t) count);
            kit::decayBandGains (midGains.data(), bassGains.data(), highGains.data(), lengths.data(), count, mid, bass,
                                 high, rate);
            kit::decayGains (gains.data(), lengths.data(), count, bass, rate);
            kit::bandRatios (ratios.data(), lengths.data(), midGains.data(), count, high, mid, rate);
            kit::loopGains (loops.data(), ms, count, 1, 1, mid, rate);
            kit::loopRatios (loopBand.data(), ms, count, 1, 1, high, mid, rate, 4.0f);
            for (int k = 0; k < count; ++k)
            {
                const float len = lengths[(size_t) k];
                const float m = kit::decayGain (len, mid, rate);
                EXPECT_EQ (bitsOf (midGains[(size_t) k]), bitsOf (m));
                EXPECT_EQ (bitsOf (bassGains[(size_t) k]), bitsOf (kit::decayGain (len, bass, rate)));
                EXPECT_EQ (bitsOf (highGains[(size_t) k]), bitsOf (kit::ratioToMid (len, high, m, mid, rate)));
                EXPECT_EQ (bitsOf (gains[(size_t) k]), bitsOf (kit::decayGain (len, bass, rate)));
                EXPECT_EQ (bitsOf (ratios[(size_t) k]), bitsOf (kit::ratioToMid (len, high, m, mid, rate)));
                EXPECT_EQ (bitsOf (loops[(size_t) k]), bitsOf (m));
                EXPECT_EQ (bitsOf (loopBand[(size_t) k]),
                           bitsOf (std::min (4.0f, kit::bandRatio (len, high, mid, rate))));
                ASSERT_TRUE (std::isfinite (highGains[(size_t) k])) << "a vanishing mid gain must not give a NaN";
            }
        }
    }
}
