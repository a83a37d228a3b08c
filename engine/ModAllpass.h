#pragma once

#include "DelayLine.h"

namespace quorvane
{

/* Schroeder allpasses built on one DelayLine: per sample d = delayed read, y = c.d - g.x,
   v = x + g.y is written into the line and y is the output, i.e. (z^-D - g) / (1 - g z^-D) with
   a loss c inside the loop. Each block reads all n delayed samples before writing any, so the
   delay must be at least n. The members differ only in how the delayed sample is read. The
   output may be the same memory as the input; the write index is not advanced. */

/** Allpass with an allpass-interpolated, gliding delay (tap 0 of the line). */
void modAllpass (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n,
                 float loss, float rampFactor) noexcept;
/** modAllpass on up to eight lines at once (blocks in place), their delayed reads run side by side. */
void modAllpassGroup (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                      const float* losses, int count, int n, float rampFactor) noexcept;
/** modAllpass in series on `count` blocks (at most 32) in place: stage s of block k on lines[s * count + k]
    (targets and losses alike). Every stage's delayed read runs first, up to eight side by side
    whatever their stage: each reads only its own line, before the stage writes it, as in series. */
void modAllpassChain (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                      const float* losses, int stages, int count, int n, float rampFactor) noexcept;
/** Allpass with a linear-interpolated, gliding delay. */
void modAllpassLinear (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n,
                       float loss, float rampFactor) noexcept;
/** modAllpassLinear on up to eight lines at once (blocks in place), their delayed reads run side by side. */
void modAllpassLinearGroup (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                            const float* losses, int count, int n, float rampFactor) noexcept;
/** 32-sample allpass with a linear-interpolated delay whose fraction is quantised to 1/32. */
void modAllpass32 (DelayLine& line, const float* input, float* output, float g, float targetDelay,
                   float loss) noexcept;
/** modAllpass32 on up to eight lines at once, as modAllpassLinearGroup. */
void modAllpass32Group (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                        const float* losses, int count) noexcept;
/** 32-sample allpass with an integer delay of length - 32 samples. */
void fixedAllpass32 (DelayLine& line, const float* input, float* output, float g, int length, float loss) noexcept;
/** fixedAllpass32 on up to 32 lines (blocks in place), the vector unit entered once for them all. */
void fixedAllpass32Group (DelayLine* const* lines, float* const* blocks, float g, const int* lengths,
                          const float* losses, int count) noexcept;

} // namespace quorvane
