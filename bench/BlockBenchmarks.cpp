// The building blocks the modes are made of, one 64-sample block step per iteration (32 samples
// at the half rate), on fixed noise. Each reports items_per_second in samples of one line, so a
// bank over 32 lines counts 32 x 64 samples per call.

#include "Block.h"
#include "CrossMixer.h"
#include "DelayLine.h"
#include "Filters.h"
#include "HalfbandFilter.h"
#include "ModAllpass.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace quorvane::bench
{
namespace
{

constexpr int n = blockSize;
constexpr float ramp = 1.0f / (float) n;
constexpr double twoPi = 6.283185307179586;

/** Fixed-seed noise, the same on every run. */
std::vector<float> noise (size_t count, unsigned seed = 7u)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-0.25f, 0.25f);
    std::vector<float> v (count);
    for (auto& x : v)
        x = dist (rng);
    return v;
}

/** A line of at least `length` samples filled with noise all round. */
void fillLine (DelayLine& line, int length)
{
    resizeFor (line, length);
    const auto block = noise ((size_t) n, 11u);
    for (int written = 0; written < line.size; written += n)
    {
        writeBlock (line, block.data(), n);
        advance (line, n);
    }
}

/** The target delays of a slowly modulated read, one per block step: a sine of +-depth samples
    around `centre` over 750 steps (about one cycle a second at 48 kHz), so most blocks keep their
    whole-sample delay and some cross to the next one, as under the modes' default modulation. */
std::vector<float> modulatedDelays (float centre, float depth)
{
    constexpr int steps = 750;
    std::vector<float> d ((size_t) steps);
    for (int k = 0; k < steps; ++k)
        d[(size_t) k] = centre + depth * (float) std::sin (twoPi * k / steps);
    return d;
}

void countSamples (benchmark::State& state, int samplesPerCall)
{
    state.SetItemsProcessed ((int64_t) state.iterations() * samplesPerCall);
}

/** writeBlock of one block, then an integer-delay tap read with a gain, as a plain late line. */
void BM_DelayWriteTap (benchmark::State& state)
{
    DelayLine line;
    resizeFor (line, 8192);
    const auto in = noise ((size_t) n);
    Block64 out;
    for (auto _ : state)
    {
        writeBlock (line, in.data(), n);
        readTap (line, out.get(), n, 3001, 0.7f);
        advance (line, n);
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, n);
}

/** Fifteen taps of every other line (the lines between them left empty) summed into one block,
    as a chamber's output taps. */
void BM_TapsAdded (benchmark::State& state)
{
    constexpr int taps = 15;
    std::vector<DelayLine> lines (2 * taps);
    int32_t offsets[taps];
    float gains[taps];
    for (int t = 0; t < taps; ++t)
    {
        fillLine (lines[(size_t) (2 * t)], 8192);
        offsets[t] = 150 + 330 * t;
        gains[t] = t % 2 == 0 ? 0.25f : -0.25f;
    }
    Block64 sum;
    const TapSet set { lines.data(), offsets, gains, sum.get() };
    for (auto _ : state)
    {
        readTapsAdded (&set, 1, 2, taps, n);
        for (int t = 0; t < taps; ++t)
            advance (lines[(size_t) (2 * t)], n);
        benchmark::DoNotOptimize (sum.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, n);
}

/** Linear-interpolated read gliding over the block to a slowly modulated delay. */
void BM_ReadLinearRamped (benchmark::State& state)
{
    DelayLine line;
    fillLine (line, 8192);
    const auto delays = modulatedDelays (3000.0f, 8.0f);
    Block64 out;
    size_t k = 0;
    for (auto _ : state)
    {
        readLinearRamped (line, out.get(), delays[k], n, ramp);
        advance (line, n);
        k = k + 1 == delays.size() ? 0 : k + 1;
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, n);
}

/** Allpass-interpolated read of one tap, gliding like the linear one. */
void BM_ReadAllpassRamped (benchmark::State& state)
{
    DelayLine line;
    fillLine (line, 8192);
    const auto delays = modulatedDelays (3000.0f, 8.0f);
    Block64 out;
    size_t k = 0;
    for (auto _ : state)
    {
        readAllpassRamped (line, out.get(), delays[k], n, 0, ramp);
        advance (line, n);
        k = k + 1 == delays.size() ? 0 : k + 1;
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, n);
}

/** The lines' blocks of a bank, noise in each. Unit band gains keep their level steady over
    millions of passes (no decay into denormal numbers) at the cost of any other gain. */
struct LineBank
{
    explicit LineBank (int count) : lines ((size_t) count), unit ((size_t) count, 1.0f)
    {
        const auto v = noise ((size_t) count * n);
        for (size_t l = 0; l < lines.size(); ++l)
        {
            for (int i = 0; i < n; ++i)
                lines[l][i] = v[l * n + (size_t) i];
            pointers.push_back (lines[l].get());
        }
    }

    std::vector<Block64> lines;
    std::vector<float*> pointers;
    std::vector<float> unit;
};

/** The bass split of every late line: splitBandsBank/<lines>. */
void BM_SplitBandsBank (benchmark::State& state)
{
    const int count = (int) state.range (0);
    LineBank bank (count);
    std::vector<OnePoleLowpass> filters ((size_t) count);
    for (auto _ : state)
    {
        splitBandsBank (filters.data(), 0.026f, bank.pointers.data(), bank.unit.data(), bank.unit.data(), count, n);
        benchmark::ClobberMemory();
    }
    countSamples (state, count * n);
}

/** The bass and high splits of every late line in one pass: splitTwoBandsBank/<lines>. */
void BM_SplitTwoBandsBank (benchmark::State& state)
{
    const int count = (int) state.range (0);
    LineBank bank (count);
    std::vector<OnePoleLowpass> bass ((size_t) count), high ((size_t) count);
    const BandSplit first { bass.data(), 0.026f, bank.unit.data(), bank.unit.data() };
    const BandSplit second { high.data(), 0.55f, bank.unit.data(), nullptr };
    for (auto _ : state)
    {
        splitTwoBandsBank (first, second, bank.pointers.data(), count, n);
        benchmark::ClobberMemory();
    }
    countSamples (state, count * n);
}

/** One 2 x 2 rotation of two blocks in place (orthogonal, so the level stays put). */
void BM_CrossMixerRotate (benchmark::State& state)
{
    LineBank bank (2);
    CrossMixer mixer;
    mixer.setAngle (0.61f);
    for (auto _ : state)
    {
        mixer.rotate (bank.pointers[0], bank.pointers[1], n);
        benchmark::ClobberMemory();
    }
    countSamples (state, 2 * n);
}

/** The modulated allpass (allpass-interpolated, gliding delay) of the diffusers and late lines. */
void BM_ModAllpass (benchmark::State& state)
{
    DelayLine line;
    resizeFor (line, 4096);
    const auto delays = modulatedDelays (1500.0f, 8.0f);
    const auto in = noise ((size_t) n);
    Block64 out;
    size_t k = 0;
    for (auto _ : state)
    {
        modAllpass (line, in.data(), out.get(), 0.6f, delays[k], n, 0.9995f, ramp);
        advance (line, n);
        k = k + 1 == delays.size() ? 0 : k + 1;
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, n);
}

/** The half-band decimator: 64 host samples down to 32 (counted in host samples). */
void BM_HalfbandDecimate (benchmark::State& state)
{
    HalfbandFilter filter;
    const auto in = noise (64);
    AlignedBlock<32> out;
    for (auto _ : state)
    {
        filter.decimate (in.data(), out.get());
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, 64);
}

/** The half-band interpolator: 32 samples up to 64 host samples (counted in host samples). */
void BM_HalfbandInterpolate (benchmark::State& state)
{
    HalfbandFilter filter;
    const auto in = noise (32);
    Block64 out;
    for (auto _ : state)
    {
        filter.interpolate (in.data(), out.get());
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, 64);
}

/** The output high-cut biquad at its default corner, 8 kHz at 48 kHz. */
void BM_BiquadProcess64 (benchmark::State& state)
{
    Biquad filter;
    designLowpass (filter, 8000.0f, 48000.0f);
    const auto in = noise (64);
    Block64 out;
    for (auto _ : state)
    {
        filter.process64 (out.get(), in.data());
        benchmark::DoNotOptimize (out.get());
        benchmark::ClobberMemory();
    }
    countSamples (state, 64);
}

} // namespace

BENCHMARK (BM_DelayWriteTap);
BENCHMARK (BM_TapsAdded);
BENCHMARK (BM_ReadLinearRamped);
BENCHMARK (BM_ReadAllpassRamped);
BENCHMARK (BM_SplitBandsBank)->Arg (32);
BENCHMARK (BM_SplitTwoBandsBank)->Arg (32);
BENCHMARK (BM_CrossMixerRotate);
BENCHMARK (BM_ModAllpass);
BENCHMARK (BM_HalfbandDecimate);
BENCHMARK (BM_HalfbandInterpolate);
BENCHMARK (BM_BiquadProcess64);

} // namespace quorvane::bench
