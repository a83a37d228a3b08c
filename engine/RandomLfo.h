#pragma once

#include <cstdint>

namespace quorvane
{

/** A small generator of integers 0..32767 owned by each engine, so modulators never touch the
    process-wide C generator (which the host and other plug-ins share, and whose concurrent use
    races). Seeded from the clock unless a seed is given. */
struct RandomSource
{
    uint32_t state = 1;

    /** Seeds from the high-resolution clock. */
    void seedFromClock() noexcept;
    /** Seeds explicitly, for repeatable modulation. */
    void seed (uint32_t s) noexcept { state = s; }
    /** Next integer in 0..32767. */
    int next() noexcept
    {
        state = state * 214013u + 2531011u;
        return (int) ((state >> 16) & 0x7fffu);
    }
};

/** Random-direction modulator: a value that travels by +-rate per update and reverses its
    direction at random once every `period` updates. stepBounce keeps it between -1 and 1;
    stepWrap runs it round 0..4 and reads a triangle from it, with its own private seed. */
struct RandomLfo
{
    float value = 0.0f;
    float rate = 0.001f;
    float step = 0.001f;
    int32_t period = 20869;
    int32_t countdown = 20869;
    uint32_t seed = 1235;
};

/** The fields of modulator j of a RandomLfoBank, by reference: the steps below take it as they
    take a RandomLfo. */
struct RandomLfoRef
{
    float& value;
    float& rate;
    float& step;
    int32_t& period;
    int32_t& countdown;
    uint32_t& seed;
};

/** Modulators side by side, field by field, so that a block's updates of a whole set run several
    at a time; each one steps exactly as a RandomLfo holding the same fields would. */
struct RandomLfoBank
{
    static constexpr int size = 32;
    alignas (16) float value[size];
    alignas (16) float rate[size];
    alignas (16) float step[size];
    alignas (16) int32_t period[size];
    alignas (16) int32_t countdown[size];
    alignas (16) uint32_t seed[size];

    RandomLfoBank() noexcept { reset(); }
    /** Every modulator as a new RandomLfo. */
    void reset() noexcept
    {
        const RandomLfo fresh;
        for (int j = 0; j < size; ++j)
        {
            value[j] = fresh.value;
            rate[j] = fresh.rate;
            step[j] = fresh.step;
            period[j] = fresh.period;
            countdown[j] = fresh.countdown;
            seed[j] = fresh.seed;
        }
    }
    RandomLfoRef operator[] (int j) noexcept
    {
        return { value[j], rate[j], step[j], period[j], countdown[j], seed[j] };
    }
};

// Inline: every block steps a modulator per group of lines, and a call would cost as much as the
// step. Each takes a RandomLfo or a RandomLfoRef.

/** A bouncing modulator's direction decision, due when its countdown has run out: it flips with
    probability one half. */
template <typename Lfo>
inline void bounceDecision (Lfo&& lfo, RandomSource& random) noexcept
{
    if ((float) random.next() / 32768.0f - 0.5f > 0.0f)
        lfo.step = -lfo.step;
    lfo.countdown = lfo.period;
}

/** One update bouncing between -1 and 1. */
template <typename Lfo>
inline void stepBounce (Lfo&& lfo, RandomSource& random) noexcept
{
    if (lfo.countdown < 1)
        bounceDecision (lfo, random);
    lfo.value += lfo.step;
    if (lfo.value >= 1.0f)
        lfo.step = -lfo.rate;
    if (lfo.value <= -1.0f)
        lfo.step = lfo.rate;
    lfo.countdown -= 1;
}

/** A wrapping modulator's direction decision, due when its countdown has run out: it flips when
    the private seed says so (one in four). */
template <typename Lfo>
inline void wrapDecision (Lfo&& lfo) noexcept
{
    lfo.seed = lfo.seed * 214013u + 2531011u;
    if ((float) (int32_t) lfo.seed * 4.656612873e-10f - 0.5f > 0.0f)
        lfo.step = -lfo.step;
    lfo.countdown = lfo.period;
}

/** One update wrapping round 0..4. */
template <typename Lfo>
inline void stepWrap (Lfo&& lfo) noexcept
{
    if (lfo.countdown < 1)
        wrapDecision (lfo);
    lfo.value += lfo.step;
    if (lfo.value >= 4.0f)
        lfo.value -= 4.0f;
    if (lfo.value <= 0.0f)
        lfo.value += 4.0f;
    lfo.countdown -= 1;
}

/** The triangle |value - 2| - 1 of a wrapping modulator, in -1..1. */
inline float triangle (float value) noexcept
{
    const float t = value - 2.0f;
    return (t < 0.0f ? -t : t) - 1.0f;
}
template <typename Lfo>
inline float triangle (const Lfo& lfo) noexcept
{
    return triangle (lfo.value);
}

/** stepWrap on modulators first + j stride of the bank, j < count, and out[j] = the triangle
    of each: for stride 1, four modulators at a time. */
void stepWrapBank (RandomLfoBank& bank, int first, int stride, int count, float* out) noexcept;

/** stepBounce on modulators 0 to count - 1 of the bank (their decisions drawn from `random` in
    that order), and out[j] = scale x the value of each, four at a time. */
void stepBounceBank (RandomLfoBank& bank, RandomSource& random, int count, float scale, float* out) noexcept;

} // namespace quorvane
