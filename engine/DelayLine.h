#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>

#include "VectorUnit.h"

namespace quorvane
{

/** A power-of-two circular delay buffer whose write index moves downwards, so the sample written
    D steps before the one at index p lies at (p + D) & mask. A block of n samples is written at
    writeIndex, writeIndex - 1, ..; reads address the same block relative to writeIndex. Interpolated
    reads glide linearly from the delay reached at the end of the previous block to the new target,
    so modulation and size changes never jump. Up to 32 independent taps keep their own glide and
    allpass-interpolator state. */
struct DelayLine
{
    static constexpr int maxBlock = 128;
    static constexpr int tapCount = 32;
    /** A tap that has not been read yet: its first read starts at its target instead of gliding
        to it, so a new line, or a line of a newly selected mode, reads its own delay at once. */
    static constexpr float startDelay = std::numeric_limits<float>::quiet_NaN();

    /** An empty line: resizeFor gives it its memory before any use. */
    DelayLine();
    /** A line holding at least requestedLength samples. */
    explicit DelayLine (int requestedLength);

    /** Releases memory taken with calloc. */
    struct Release
    {
        void operator() (float* p) const noexcept;
    };

    /** The samples: the line's own memory, or its share of memory several lines share. */
    float* buffer = nullptr;
    /** The memory the line holds of its own (none where it shares). */
    std::unique_ptr<float[], Release> ownMemory;
    int32_t writeIndex = 0;
    int32_t mask = 0;
    int32_t size = 0;
    /** Whether anything was written since the memory was new or last cleared: clearing a line that
        holds only zeros has nothing to do (a mode change leaves most lines untouched). */
    bool written = false;
    std::array<float, tapCount> tapState {};
    std::array<float, tapCount> tapDelay {};
};

/** Size becomes the next power of two >= the request; a changed size reallocates. New memory comes
    zeroed from the system (calloc), so a large line costs no zeroing pass until it is written. */
void resizeFor (DelayLine& line, int requestedLength);
/** Memory that several lines share: one allocation, so that all their samples lie in one block
    and one gather, from one address, reaches any of them. */
using SharedLineMemory = std::unique_ptr<float[], DelayLine::Release>;
/** resizeFor of every line (lines[k] to hold at least requestedLengths[k] samples) in one zeroed
    allocation that `memory` holds. Where every line shares `memory` at its size already, nothing
    changes; otherwise all the old memory goes first (a resize never holds both) and every line
    starts empty at its new size, as after resizeFor. */
void resizeShared (DelayLine* const* lines, const int* requestedLengths, int count, SharedLineMemory& memory);
/** Zeroes the samples and the interpolator states; the write index is left alone. */
void clearLine (DelayLine& line);

/** Stores input[i] at (writeIndex - i) & mask; the write index is not changed. */
void writeBlock (DelayLine& line, const float* input, int n) noexcept;
/** Stores a[i] + b[i] as writeBlock stores input[i]. */
void writeBlockSum (DelayLine& line, const float* a, const float* b, int n) noexcept;
/** writeBlockSum (lines[k], blocks + k x stride, feeds[k % 4], n) for every k below count, or
    writeBlock (lines[k], blocks + k x stride, n) when feeds is nullptr: the same stores, with one
    entry into the vector unit for all the lines. */
void writeBlocks (DelayLine* lines, const float* blocks, int stride, const float* const* feeds, int count,
                  int n) noexcept;
/** Moves the write index down by n; done once per block after all reads and writes. */
inline void advance (DelayLine& line, int n) noexcept { line.writeIndex = (line.writeIndex - n) & line.mask; }
/* Reads never reach beyond the line: a delay longer than the line holds (only possible at a rate
   the lines were not sized for) is held at the longest one it holds, so the sound stays a
   delay, never a wrap into samples just written. */

/** Where the newer neighbours of a glide's n samples lie in one run without a wrap, given the
    whole delays of its first and last sample (the older neighbours follow them by one): the
    index of the first newer neighbour, or -1 when the whole delay moves within the block or the
    run wraps. Most blocks of a slowly modulated read take such a run, whose contiguous loads
    replace one masked gather per neighbour; the samples read are the same. */
inline int32_t heldRun (const DelayLine& line, int32_t firstWhole, int32_t lastWhole, int n) noexcept
{
    // A glide adds one step again and again, and rounding keeps that monotonic, so its whole
    // delays are too: equal ends mean one whole delay over the block.
    if (firstWhole != lastWhole)
        return -1;
    const int32_t first = (firstWhole + line.writeIndex) & line.mask;
    return first >= n - 1 && first < line.mask ? first : -1;
}

/** For a glide whose whole delay moves by exactly one sample within the block (from firstWhole
    to lastWhole): where the newer neighbours at the lower whole delay lie in one run without a
    wrap, with two samples to spare beyond them (the neighbours at the higher whole delay are
    those of one sample earlier, so they lie in it too); -1 otherwise. */
inline int32_t crossingRun (const DelayLine& line, int32_t firstWhole, int32_t lastWhole, int n) noexcept
{
    if (lastWhole - firstWhole != 1 && firstWhole - lastWhole != 1)
        return -1;
    const int32_t base = ((firstWhole < lastWhole ? firstWhole : lastWhole) + line.writeIndex) & line.mask;
    return base >= n - 1 && base + 2 <= line.mask ? base : -1;
}

/** The longest delay an interpolated read of n samples can take from this line. */
inline float longestInterpolatedDelay (const DelayLine& line, int n) noexcept { return (float) (line.size - n - 1); }

/** output[i] = the sample `offset` steps back from block sample i, times gain. */
void readTap (const DelayLine& line, float* output, int n, int offset, float gain) noexcept;
/** output[i] = output[i] + (the same tap sample times gain): readTap into a scratch block, then
    added, in one pass. */
void readTapAdded (const DelayLine& line, float* output, int n, int offset, float gain) noexcept;
/** One set of taps that readTapsAdded takes: its first line, offsets, gains and output. */
struct TapSet
{
    const DelayLine* lines;
    const int* offsets;
    const float* gains;
    float* output;
};
/** For each set in turn (the channels of a network, in one call), readTapAdded of tap t = 0, 1,
    .. count - 1 one after another (line lines[t stride], offset offsets[t], gain gains[t]), the
    taps of gain 0 left out: each output sample takes its taps in that order, held in a register
    between them. At most 16 taps a set. */
void readTapsAdded (const TapSet* sets, int setCount, int stride, int count, int n) noexcept;
/** Linear-interpolated read gliding from tapDelay[0] to the target delay. */
void readLinearRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept;
/** One linear-interpolated read of a group: which line, where to, and the target delay. */
struct LinearTapRead
{
    DelayLine* line;
    float* output;
    float targetDelay;
};

/** Up to eight readLinearRamped calls at once, each on its own line: their glides advance side by
    side in one vector, each with exactly the arithmetic of its own call. */
void readLinearRampedGroup (const LinearTapRead* reads, int count, int n, float rampFactor) noexcept;

/** One allpass-interpolated read of a group: which line and tap, where to, and the target delay. */
struct AllpassTapRead
{
    DelayLine* line;
    int tap;
    float* output;
    float targetDelay;
};

/** Up to eight readAllpassRamped calls at once, each with its own line (or its own tap of a shared
    line): the interpolators' recursions are independent, so they run side by side in one vector
    (four per vector on the baseline, eight on AVX2), each with exactly the arithmetic of its own
    call. */
void readAllpassRampedGroup (const AllpassTapRead* reads, int count, int n, float rampFactor) noexcept;
/** readAllpassRampedGroup of up to four reads, each read's samples left in its lane of rows of
    four instead of in its block: rows[i][r] is read r's sample i (the other lanes unspecified).
    For passes that go on with the reads side by side. n a multiple of four. */
void readAllpassIntoRows (const AllpassTapRead* reads, int count, int n, float rampFactor, float (*rows)[4]) noexcept;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The same for up to eight reads in rows of eight, on the wider unit only; n a multiple of
    eight. */
void readAllpassIntoRowsWide (const AllpassTapRead* reads, int count, int n, float rampFactor,
                              float (*rows)[8]) noexcept;
#endif

/** As readLinearRamped with each fraction rounded down to a multiple of 1/32. */
void readQuantisedRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept;
/** Up to eight readQuantisedRamped calls at once, each on its own line, as readLinearRampedGroup. */
void readQuantisedRampedGroup (const LinearTapRead* reads, int count, int n, float rampFactor) noexcept;
/** Allpass-interpolated read of one tap gliding from tapDelay[tap] to the target delay. */
void readAllpassRamped (DelayLine& line, float* output, float targetDelay, int n, int tap, float rampFactor) noexcept;

/** Where a tap's glide starts: the delay it reached in the previous block, or the target itself
    for a tap that has not been read yet. */
inline float glideStart (float previous, float target) noexcept { return previous != previous ? target : previous; }

/** Marks every tap of a line as not read yet. */
inline void restartGlides (DelayLine& line) noexcept { line.tapDelay.fill (DelayLine::startDelay); }

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The linear reads of some lanes of eight glides formed side by side (sample i's delay of lane r
    at rows[i][r], as readLinearRamped's own glide would give it), on the wider unit: for every
    lane r set in `lanes`, lines[r] read into outputs[r], each sample's neighbours gathered, the
    same samples and arithmetic as readLinearRamped after its glide. Sample i goes to
    outputs[r][n - 1 - i], reversed as the line holds it. For delays that move across samples,
    where the contiguous runs do not serve; n a multiple of eight. */
QUORVANE_AVX2 void interpolateLinearColumnsReversedAvx2 (const DelayLine* const* lines, const float (*rows)[8],
                                                         unsigned lanes, float* const* outputs, int n) noexcept;
#endif

/** The allpass interpolator's coefficient for a fraction index k = trunc(frac x 256). */
float allpassCoefficient (int k) noexcept;

} // namespace quorvane
