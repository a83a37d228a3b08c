#pragma once

#include "engine/ModeInterface.h"

#include <cstdint>
#include <limits>

namespace quorvane
{
struct ReverbEngine;
} // namespace quorvane

namespace quorvane::kit
{

/** (int32_t) std::floor (x) for every length a mode computes (finite, well inside the int range),
    without the library call the x86-64 baseline makes of floor: lengths are recomputed for every
    change of size while a host automates it. */
inline int32_t floorToInt (float x) noexcept
{
    const auto t = (int32_t) x; // toward zero
    return (float) t > x ? t - 1 : t;
}

/** The selection every mode shares: the frame's common start (constants, clear, rates, split
    allpass, fresh per-mode state); the current mode's late and early lengths and its decay, bass
    and high gains, in that order; the frame's common end (the rate-dependent parameters again). */
void configureStandard (ReverbEngine& e);

/** What every updateLateLengths ends with: the current mode's decay, bass and high gains. The
    early lengths follow the early size and the rate alone, which a change of late size leaves as
    they were, so they are not formed again here. */
void updateLateGains (ReverbEngine& e);

/** segmentLength[k] = table[k] x sizeFactor - blockLength, and its floor, for k < count; the block
    is taken off because the block scheme itself adds one block to every loop. */
void setSegmentLengths (ModeState& ms, const float* table, int count, float sizeFactor, float blockLength);

/** Lengths from one geometric series instead of a table: q0 = 1, q(k) = q(k-1) x ratio, each
    divided by the last, so segment k = q(k) / q(count-1) x sizeFactor x longest - blockLength
    (the last one `longest` at size factor 1), and the floors. Returns the sum of the lengths,
    added in order. */
float setGeometricLengths (ModeState& ms, int count, float ratio, float sizeFactor, float longest, float blockLength);

/** out[k] = the summed length of loop first + k, its `segments` segments first + k, first + k +
    stride, .. added in that order, for k < loops: a segment of every loop at a time, so that the
    sums run side by side. */
inline void loopLengths (float* __restrict out, const ModeState& ms, int loops, int stride, int segments,
                         int first = 0)
{
    const float* __restrict const segment = ms.segmentLength.data() + first;
    // The first two segments at once: a plain copy first would become a call to the library.
    for (int k = 0; k < loops; ++k)
        out[k] = segments > 1 ? segment[k] + segment[k + stride] : segment[k];
    for (int s = 2; s < segments; ++s)
        for (int k = 0; k < loops; ++k)
            out[k] = out[k] + segment[k + s * stride];
}

/** out[k] = the decay gain over loop k (`segments` segments from k, `stride` apart), k < loops. */
void loopGains (float* out, const ModeState& ms, int loops, int stride, int segments, float seconds, float rate);

/** out[k] = the ratio of a band's gain over loop k to the mid band's, at most `limit`, k < loops. */
void loopRatios (float* out, const ModeState& ms, int loops, int stride, int segments, float bandSeconds,
                 float seconds, float rate, float limit = std::numeric_limits<float>::infinity());

/** loopLength[k] and loopGain[k] for k < loops: loop k's summed length (as loopLengths gives it)
    and its mid gain over that length for `seconds`, which every band ratio of the loop divides
    by. Formed once per change of the lengths, the decay or the rate, before the ratios. */
void setLoopGains (ModeState& ms, int loops, int stride, int segments, float seconds, float rate);

/** out[k] = the ratio of a band's gain over loop k to the loop's mid gain, at most `limit`, from
    the loops setLoopGains left: for k < loops, the same values as loopRatios. */
void loopGainRatios (float* out, const ModeState& ms, int loops, float bandSeconds, float seconds, float rate,
                     float limit = std::numeric_limits<float>::infinity());

/** Every mode's updateEarlyLengths: earlyLength[j] = earlySize x network rate x 3.33667e-7 x the
    early table, and the floors. */
void updateEarlyLengths (ReverbEngine& e);

} // namespace quorvane::kit
