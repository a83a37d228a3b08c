#pragma once

#include "DelayLine.h"
#include "Filters.h"

namespace quorvane
{

/** One line's read in readAndSplitBank. */
struct BankRead
{
    enum class Kind
    {
        tap,    ///< readTap (line, block, n, offset, gain)
        linear, ///< readLinearRamped (line, block, targetDelay, n, rampFactor)
        ready   ///< the block already holds the read
    };

    // No default values: a network fills a bank of these for every block, all fields at once.
    Kind kind;
    DelayLine* line;
    int offset;
    float gain;
    float targetDelay;
    float* block;
};

/** Reads a bank of lines and splits what it read: read k goes into its block, then the blocks go
    through splitTwoBandsBank (first, second), block k through filter k of each split. The same
    samples as reading and splitting one after the other, but a vector's worth of lines passes
    through both in one pass over tiles of samples: the reads load their runs straight into the
    tile's transpose, and the tile goes back to the blocks only once it is split. */
void readAndSplitBank (const BankRead* reads, int count, const BandSplit& first, const BandSplit& second, int n,
                       float rampFactor) noexcept;

} // namespace quorvane
