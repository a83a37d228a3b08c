#include "RandomLfo.h"

#include <chrono>

namespace quorvane
{

void RandomSource::seedFromClock() noexcept
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    state = (uint32_t) ticks ^ (uint32_t) ((uint64_t) ticks >> 32);
}

int RandomSource::next() noexcept
{
    state = state * 214013u + 2531011u;
    return (int) ((state >> 16) & 0x7fffu);
}

void stepBounce (RandomLfo& lfo, RandomSource& random) noexcept
{
    if (lfo.countdown < 1)
    {
        if ((float) random.next() / 32768.0f - 0.5f > 0.0f)
            lfo.step = -lfo.step;
        lfo.countdown = lfo.period;
    }
    lfo.value += lfo.step;
    if (lfo.value >= 1.0f)
        lfo.step = -lfo.rate;
    if (lfo.value <= -1.0f)
        lfo.step = lfo.rate;
    lfo.countdown -= 1;
}

void stepWrap (RandomLfo& lfo) noexcept
{
    if (lfo.countdown < 1)
    {
        lfo.seed = lfo.seed * 214013u + 2531011u;
        if ((float) (int32_t) lfo.seed * 4.656612873e-10f - 0.5f > 0.0f)
            lfo.step = -lfo.step;
        lfo.countdown = lfo.period;
    }
    lfo.value += lfo.step;
    if (lfo.value >= 4.0f)
        lfo.value -= 4.0f;
    if (lfo.value <= 0.0f)
        lfo.value += 4.0f;
    lfo.countdown -= 1;
}

} // namespace quorvane
