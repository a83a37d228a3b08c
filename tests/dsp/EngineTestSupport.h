#pragma once

#include "engine/ReverbEngine.h"

#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace quorvane::testing
{

/** An engine set up as the processor sets it up: every default assigned in index order. */
inline std::unique_ptr<ReverbEngine> makeEngine (int rate = 48000, uint32_t seed = 1)
{
    auto engine = std::make_unique<ReverbEngine>();
    for (int i = 0; i < param::count; ++i)
        engine->setNormalised (i, engine->getDefaultNormalised (i));
    engine->seedRandom (seed);
    if (rate != 48000)
        engine->prepare (rate);
    return engine;
}

/** Sets a parameter by its physical value. */
inline void setPhysical (ReverbEngine& engine, int index, float value)
{
    engine.setNormalised (index, toNormalised (parameterInfo (index), value));
}

struct Stereo
{
    std::vector<float> left, right;
};

/** Runs the engine over a stereo signal in blocks of the given size. */
inline Stereo run (ReverbEngine& engine, Stereo in, int blockSize = 512)
{
    const int total = (int) in.left.size();
    for (int start = 0; start < total; start += blockSize)
    {
        const int n = std::min (blockSize, total - start);
        engine.process (in.left.data() + start, in.right.data() + start, in.left.data() + start,
                        in.right.data() + start, n);
    }
    return in;
}

/** The response to a unit impulse on both inputs, `samples` long. */
inline Stereo impulseResponse (ReverbEngine& engine, int samples)
{
    Stereo in { std::vector<float> ((size_t) samples), std::vector<float> ((size_t) samples) };
    in.left[0] = in.right[0] = 1.0f;
    return run (engine, std::move (in));
}

/** Reverberation time from the -5 dB to the -35 dB point of the backward-integrated energy
    decay curve, extrapolated to 60 dB (T30). */
inline double t30Seconds (const std::vector<float>& ir, double rate)
{
    std::vector<double> edc (ir.size() + 1, 0.0);
    for (size_t i = ir.size(); i-- > 0;)
        edc[i] = edc[i + 1] + (double) ir[i] * ir[i];
    const double total = edc[0];
    auto crossing = [&] (double db) {
        const double level = total * std::pow (10.0, db / 10.0);
        for (size_t i = 0; i < ir.size(); ++i)
            if (edc[i] <= level)
                return (double) i;
        return (double) ir.size();
    };
    return (crossing (-35.0) - crossing (-5.0)) / rate * 2.0;
}

/** Four cascaded one-pole sections: a lowpass (or, `high`, the matching highpass) at hz, steep
    enough to measure the decay of one band. */
inline std::vector<float> bandFilter (const std::vector<float>& x, double rate, double hz, bool high)
{
    const double a = std::exp (-2.0 * 3.14159265358979 * hz / rate);
    std::vector<double> y (x.begin(), x.end());
    for (int pass = 0; pass < 4; ++pass)
    {
        double state = 0.0;
        for (auto& v : y)
        {
            state = (1.0 - a) * v + a * state;
            v = high ? v - state : state;
        }
    }
    return std::vector<float> (y.begin(), y.end());
}

/** The band between two corners. */
inline std::vector<float> bandPass (const std::vector<float>& x, double rate, double lowHz, double highHz)
{
    return bandFilter (bandFilter (x, rate, lowHz, true), rate, highHz, false);
}

/** Selects a reverb mode as the host does, through the type parameter. */
inline void selectMode (ReverbEngine& engine, int mode)
{
    engine.setNormalised (param::type, typeNormalisedForMode (mode));
}

/** Every reverb mode, in order. */
inline std::vector<int> allModes()
{
    std::vector<int> modes;
    for (int m = 0; m < modeCount; ++m)
        modes.push_back (m);
    return modes;
}

/** A few blocks of silence, so the taps glide from their start delays to the current settings. */
inline void settle (ReverbEngine& engine)
{
    run (engine, Stereo { std::vector<float> (1024), std::vector<float> (1024) });
}

/** Uniform noise in -0.5..0.5 on both channels, independent per channel. */
inline Stereo noise (int samples, unsigned seed = 3)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
    Stereo s { std::vector<float> ((size_t) samples), std::vector<float> ((size_t) samples) };
    for (int i = 0; i < samples; ++i)
    {
        s.left[(size_t) i] = dist (gen);
        s.right[(size_t) i] = dist (gen);
    }
    return s;
}

/** The host sample at which the wet response to an impulse at sample 0 should begin: one block,
    then the predelay (counted in network samples, half as many per second in half-rate modes). */
inline double expectedOnset (const ReverbEngine& engine)
{
    return 64.0 + std::floor (engine.predelaySamples) * (double) (engine.hostRate / engine.processingRate);
}

/** Index of the first sample above the threshold, or -1. */
inline int firstAudible (const std::vector<float>& x, float threshold = 1e-7f)
{
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs (x[i]) > threshold)
            return (int) i;
    return -1;
}

/** Sum of squares. */
inline double energy (const std::vector<float>& x)
{
    double e = 0.0;
    for (float v : x)
        e += (double) v * v;
    return e;
}

/** Sums left and right. */
inline std::vector<float> mono (const Stereo& s)
{
    std::vector<float> m (s.left.size());
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = s.left[i] + s.right[i];
    return m;
}

} // namespace quorvane::testing
