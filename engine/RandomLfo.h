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
    int next() noexcept;
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

/** One update bouncing between -1 and 1; a direction decision flips with probability one half. */
void stepBounce (RandomLfo& lfo, RandomSource& random) noexcept;
/** One update wrapping round 0..4; a decision flips when the private seed says so (one in four). */
void stepWrap (RandomLfo& lfo) noexcept;
/** The triangle |value - 2| - 1 of a wrapping modulator, in -1..1. */
inline float triangle (const RandomLfo& lfo) noexcept
{
    const float t = lfo.value - 2.0f;
    return (t < 0.0f ? -t : t) - 1.0f;
}

} // namespace quorvane
