#include "BenchSignal.h"

#include <map>
#include <random>

namespace quorvane::bench
{

const BenchSignal& benchSignal (int sampleRate)
{
    // Benchmarks run one after another on one thread, so a plain cache is enough.
    static std::map<int, BenchSignal> signals;
    auto [it, inserted] = signals.try_emplace (sampleRate);
    BenchSignal& s = it->second;
    if (inserted)
    {
        s.sampleRate = sampleRate;
        const auto n = (size_t) (BenchSignal::seconds * sampleRate);
        s.left.resize (n);
        s.right.resize (n);

        // A fixed seed keeps runs comparable; -12 dBFS-ish peaks keep every reverb in its linear range.
        std::mt19937 rng (20131u);
        std::uniform_real_distribution<float> dist (-0.25f, 0.25f);
        for (size_t i = 0; i < n; ++i)
        {
            s.left[i] = dist (rng);
            s.right[i] = dist (rng);
        }
    }
    return s;
}

} // namespace quorvane::bench
