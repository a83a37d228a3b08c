#pragma once

#include "DelayLine.h"
#include "Filters.h"

#include <cstddef>
#include <cstdint>

namespace quorvane
{

/** The reads of a bank of lines in readAndSplitBank, field by field: read k takes kinds[k] from
    lines[k] into block(k). Each field is an array the network keeps anyway (its lines, blocks,
    whole delays and gains), so a block fills only what changes: the target delays. */
struct BankReads
{
    enum class Kind : uint8_t
    {
        tap,    ///< readTap (lines[k], block (k), n, offsets[k], gain (k))
        linear, ///< readLinearRamped (lines[k], block (k), targetDelays[k], n, rampFactor)
        ready,  ///< the block already holds the read
        allpass ///< readAllpassRamped (lines[k], block (k), targetDelays[k], n, 0, rampFactor)
    };

    const Kind* kinds;
    DelayLine* lines;
    /** Block k starts blockStride floats after block k - 1 (the network's blocks lie so). */
    float* blocks;
    static constexpr int blockStride = 64;
    const int32_t* offsets;
    /** nullptr: every tap's gain is 1. */
    const float* gains;
    const float* targetDelays;

    float* block (int k) const noexcept { return blocks + k * blockStride; }
    float gain (int k) const noexcept { return gains != nullptr ? gains[k] : 1.0f; }
    /** The reads from k on. */
    BankReads from (int k) const noexcept
    {
        return {
            kinds + k, lines + k, block (k), offsets + k, gains != nullptr ? gains + k : nullptr, targetDelays + k
        };
    }
};

/** Reads a bank of lines and splits what it read: read k goes into its block, then the blocks go
    through splitTwoBandsBank (first, second), block k through filter k of each split. The same
    samples as reading and splitting one after the other, but a vector's worth of lines passes
    through both in one pass over tiles of samples: the reads load their runs straight into the
    tile's transpose, and the tile goes back to the blocks only once it is split. */
void readAndSplitBank (const BankReads& reads, int count, const BandSplit& first, const BandSplit& second, int n,
                       float rampFactor) noexcept;

} // namespace quorvane
