#include "RandomLfo.h"

#include "Lanes.h"

#include <chrono>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvane
{

void RandomSource::seedFromClock() noexcept
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    state = (uint32_t) ticks ^ (uint32_t) ((uint64_t) ticks >> 32);
}

namespace
{
/** The lanes of four modulators from j whose countdown has run out, as bits. */
inline int decisionsDue (const RandomLfoBank& bank, int j) noexcept
{
    const IntLanes due = loadIntLanes<IntLanes> (bank.countdown + j) < 1;
#if defined(__SSE2__)
    return _mm_movemask_ps ((__m128) due);
#else
    int bits = 0;
    for (int k = 0; k < 4; ++k)
        bits |= due[k] != 0 ? 1 << k : 0;
    return bits;
#endif
}

/** countdown -= 1 for four modulators from j. */
inline void countDown (RandomLfoBank& bank, int j) noexcept
{
    storeIntLanes (bank.countdown + j, loadIntLanes<IntLanes> (bank.countdown + j) - 1);
}
} // namespace

void stepWrapBank (RandomLfoBank& bank, int first, int stride, int count, float* out) noexcept
{
    int j = 0;
    if (stride == 1)
        for (; j + 4 <= count; j += 4)
        {
            const int m = first + j;
            // The rare decisions one by one first, then the update as stepWrap has it, four wide.
            if (const int due = decisionsDue (bank, m); due != 0)
                for (int k = 0; k < 4; ++k)
                    if ((due >> k) & 1)
                        wrapDecision (bank[m + k]);
            Lanes v = loadLanes (bank.value + m) + loadLanes (bank.step + m);
            v = v >= 4.0f ? v - 4.0f : v;
            v = v <= 0.0f ? v + 4.0f : v;
            storeLanes (bank.value + m, v);
            countDown (bank, m);
            const Lanes t = v - 2.0f;
            storeLanes (out + j, (t < 0.0f ? -t : t) - 1.0f);
        }
    for (; j < count; ++j)
    {
        auto lfo = bank[first + j * stride];
        stepWrap (lfo);
        out[j] = triangle (lfo);
    }
}

void stepBounceBank (RandomLfoBank& bank, RandomSource& random, int count, float scale, float* out) noexcept
{
    int j = 0;
    for (; j + 4 <= count; j += 4)
    {
        // The decisions draw from the shared generator in the modulators' order, before any update.
        if (const int due = decisionsDue (bank, j); due != 0)
            for (int k = 0; k < 4; ++k)
                if ((due >> k) & 1)
                    bounceDecision (bank[j + k], random);
        const Lanes v = loadLanes (bank.value + j) + loadLanes (bank.step + j);
        const Lanes rate = loadLanes (bank.rate + j);
        Lanes s = loadLanes (bank.step + j);
        s = v >= 1.0f ? -rate : s;
        s = v <= -1.0f ? rate : s;
        storeLanes (bank.value + j, v);
        storeLanes (bank.step + j, s);
        countDown (bank, j);
        storeLanes (out + j, scale * v);
    }
    for (; j < count; ++j)
    {
        auto lfo = bank[j];
        stepBounce (lfo, random);
        out[j] = scale * lfo.value;
    }
}

} // namespace quorvane
