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

// Inline: every block steps a modulator per group of lines, and a call would cost as much as the
// step.

/** One update bouncing between -1 and 1; a direction decision flips with probability one half. */
inline void stepBounce (RandomLfo& lfo, RandomSource& random) noexcept
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

/** One update wrapping round 0..4; a decision flips when the private seed says so (one in four). */
inline void stepWrap (RandomLfo& lfo) noexcept
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
/** The triangle |value - 2| - 1 of a wrapping modulator, in -1..1. */
inline float triangle (const RandomLfo& lfo) noexcept
{
    const float t = lfo.value - 2.0f;
    return (t < 0.0f ? -t : t) - 1.0f;
}

} // namespace quorvane
