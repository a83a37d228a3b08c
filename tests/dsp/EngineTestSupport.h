#pragma once

#include "engine/ReverbEngine.h"

#include <cmath>
#include <memory>
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

/** Sums left and right. */
inline std::vector<float> mono (const Stereo& s)
{
    std::vector<float> m (s.left.size());
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = s.left[i] + s.right[i];
    return m;
}

} // namespace quorvane::testing
