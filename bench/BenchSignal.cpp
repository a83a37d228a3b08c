#include "BenchSignal.h"

#include <random>

namespace quorvane::bench
{

const BenchSignal& benchSignal()
{
    static const BenchSignal signal = []
    {
        BenchSignal s;
        const auto n = (size_t) (BenchSignal::seconds * BenchSignal::sampleRate);
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
        return s;
    }();
    return signal;
}

} // namespace quorvane::bench
