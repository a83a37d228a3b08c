#pragma once

#include "EarlySection.h"

#include "engine/Filters.h"

#include <array>

namespace quorvane
{
struct ReverbEngine;
}

namespace quorvane::kit
{

/* The pieces late networks are made of. Each works on the engine's line blocks 0..count-1 over n
   network samples; segment s is the late line s with the lengths and gains of the mode state.
   Modulation arrays are indexed by segment (null: none). */

/** How a plain delay segment is read. */
enum class LineRead
{
    tap,     ///< integer delay (the floor of the length), optionally with a gain
    linear,  ///< gliding, linear-interpolated, at length + modulation
    allpass  ///< gliding, allpass-interpolated (tap 0), at length + modulation
};

/** Plain delays: line block k is written into segment first + k and replaced by its read, the k-th
    read taking pattern[k % 4]; tap reads carry gains[first + k] (null: 1). The block is written
    before it is read, so any delay from 0 up is valid; a modulated read is held at 0 or more. */
void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n);

/** The two band splits a network applies to its line blocks (block k through filter k of each,
    its gains at k), the second on what the first leaves. */
struct TwoBandSplits
{
    BandSplit first, second;
};

/** The bass split with the gains of splitBass, then the high split with those of splitHigh. */
TwoBandSplits bassThenHigh (ReverbEngine& e, const float* bassHigh, const float* bassLow, const float* highGain);
/** The high split, then the bass split. */
TwoBandSplits highThenBass (ReverbEngine& e, const float* highGain, const float* bassHigh, const float* bassLow);

/** delaySegments, then the splits over the line blocks; where it can, each vector's worth of
    lines is read and split in one pass. The same samples as the two apart. */
void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n, const TwoBandSplits& splits);
/** The same with the early feed added to each block on its way into the line (line block k takes
    feed.block[k % 4]); the blocks themselves are not changed before they are replaced. */
void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n, const EarlyFeed& feed,
                    const TwoBandSplits& splits);

/** How the delayed sample inside a Schroeder allpass segment is read. */
enum class AllpassRead
{
    linear,    ///< linear interpolation
    allpass,   ///< allpass interpolation
    quantised  ///< linear interpolation with the fraction rounded down to 1/32 (32-sample blocks only)
};

/** One stage of Schroeder allpasses: line block k through segment first + k with coefficient g,
    delay length + modulation and the segment's decay gain as loss inside the loop. An allpass
    reads its block before writing it, so its delay is held at n or more (at the smallest sizes
    with deep modulation it would otherwise read samples this block has not yet written). */
void allpassStage (ReverbEngine& e, AllpassRead read, int first, int count, const float* modulation, float g, int n);

/** `stages` stages of allpass-interpolated allpasses in series, as allpassStage on segments first,
    first + count, .. in turn (their reads run side by side across the stages). */
void allpassStages (ReverbEngine& e, int first, int stages, int count, const float* modulation, float g, int n);

/** A stage of allpasses with integer delays (32-sample blocks): line block k through segment
    first + k at the floor of its length, coefficient g, the segment's decay gain as loss. */
void fixedAllpassStage (ReverbEngine& e, int first, int count, float g);

/** Splits each line block at the bass crossover: x = (x - low) x highGain[k] + low x lowGain[k]
    (highGain null: the upper band passes unchanged). */
void splitBass (ReverbEngine& e, int count, const float* highGain, const float* lowGain, int n);
/** Splits each line block at the high crossover: x = (x - low) x highGain[k] + low. */
void splitHigh (ReverbEngine& e, int count, const float* highGain, int n);

/** splitBass, then splitHigh, in one pass over the line blocks. */
void splitBassThenHigh (ReverbEngine& e, int count, const float* bassHigh, const float* bassLow, const float* highGain,
                        int n);
/** splitHigh, then splitBass, in one pass over the line blocks. */
void splitHighThenBass (ReverbEngine& e, int count, const float* highGain, const float* bassHigh, const float* bassLow,
                        int n);

/** Output taps: the left late sum takes the even line blocks 2j x left[j], the right sum the odd
    ones 2j + 1 x right[j], for j < count / 2. */
void tapLines (ReverbEngine& e, int count, const float* left, const float* right, int n);

/** The orthogonal feedback matrix on count (8, 16 or 32) line blocks: scaled by matrixScale, a
    butterfly (X, Y) -> (X + Y, Y - X) stage for each span count/2 .. 2, then the lateCross rotation
    of every pair (2m, 2m + 1), the only path between the even (left) and odd (right) lines. */
void butterflyMatrix (ReverbEngine& e, int count, int n);

/** The lateCross rotation of every pair of line blocks (2m, 2m + 1), m < count / 2. */
void crossRotations (ReverbEngine& e, int count, int n);

/** Ring feedback: line block k moves to (k + 2) mod count, so the even and the odd lines each form
    a ring, joined only by the lateCross rotations that follow. */
void ringShift (ReverbEngine& e, int count, int n);

/** The wet block at the network rate: ioBlock = late sum x lateLevel + early output, per channel. */
void mixModeOutput (ReverbEngine& e, int n);
/** Each late sum times `normaliser`, then as mixModeOutput takes it, in one pass (the sums
    themselves are left as they are). */
void mixScaledModeOutput (ReverbEngine& e, float normaliser, int n);

/** The late normaliser and mixModeOutput in one pass: each late sum split at the bass crossover,
    weighed by the mid and bass normalisers, then as mixModeOutput takes it (the sums themselves
    are left as they were). */
void mixNormalisedLateBands (ReverbEngine& e, int n);

} // namespace quorvane::kit
