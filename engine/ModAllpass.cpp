#include "ModAllpass.h"

#include "Lanes.h"
#include "VectorUnit.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace quorvane
{

namespace
{
/** The stages after the delayed reads: y = d.c + (-g).x, v = x + g.y, v into the line's block,
    output y. Each element's input is read before its output is stored, so the output may be the
    input. */
template <typename V>
[[gnu::always_inline]] inline void stageLanes (const float* input, float* output, const float* delayed, float* v,
                                               float g, int n, float loss) noexcept
{
    const float minusG = -g;
    constexpr int W = laneCount<V>;
    const int vectors = n - n % W;
    const V c = broadcast<V> (loss), gv = broadcast<V> (g), mg = broadcast<V> (minusG);
    forEachVector<W> (vectors, [&] (int i) {
        const V x = loadLanes<V> (input + i);
        const V y = loadLanes<V> (delayed + i) * c + mg * x;
        storeLanes (v + i, x + gv * y);
        storeLanes (output + i, y);
    });
    for (int i = vectors; i < n; ++i)
    {
        const float x = input[i];
        const float y = delayed[i] * loss + minusG * x;
        v[i] = x + g * y;
        output[i] = y;
    }
}

[[gnu::noinline]] void stagesBaseline (const float* input, float* output, const float* delayed, float* v, float g,
                                       int n, float loss) noexcept
{
    stageLanes<Lanes> (input, output, delayed, v, g, n, loss);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void stagesAvx2 (const float* input, float* output, const float* delayed, float* v, float g, int n,
                               float loss) noexcept
{
    stageLanes<Lanes8> (input, output, delayed, v, g, n, loss);
}
#endif

void allpassStages (DelayLine& line, const float* input, float* output, const float* delayed, float g, int n,
                    float loss) noexcept
{
    alignas (32) float v[DelayLine::maxBlock];
    QUORVANE_ON_VECTOR_UNIT (n % 8 == 0, stages, input, output, delayed, v, g, n, loss);
    writeBlock (line, v, n);
}

/** allpassStages for reads in turn, read r's input and output blocks[r], its delayed samples
    delayed[r], in one entry into the vector unit: where a line's block does not wrap, v goes
    straight into the line (reversed, as writeBlock stores it) instead of through a scratch block. */
template <typename V>
[[gnu::always_inline]] inline void stagesIntoLinesLanes (DelayLine* const* lines, float* const* blocks,
                                                         const float (*delayed)[DelayLine::maxBlock], float g,
                                                         const float* losses, int count, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const V gv = broadcast<V> (g), mg = broadcast<V> (-g);
    // The networks' two block lengths fixed at compile time: their chains run many stages.
    const auto allStages = [&] (auto fixedLength) __attribute__ ((always_inline)) {
        const int length = fixedLength > 0 ? fixedLength : n;
        const bool whole = length % W == 0;
        for (int r = 0; r < count; ++r)
        {
            DelayLine& line = *lines[r];
            float* const block = blocks[r];
            const int32_t w = line.writeIndex;
            if (! whole || w < length - 1)
            {
                alignas (32) float v[DelayLine::maxBlock];
                stageLanes<V> (block, block, delayed[r], v, g, length, losses[r]);
                writeBlock (line, v, length);
                continue;
            }
            line.written = true;
            float* const run = line.buffer + w - (W - 1);
            const float* const d = delayed[r];
            const V c = broadcast<V> (losses[r]);
        #pragma GCC unroll 8
            for (int i = 0; i < length; i += W)
            {
                const V x = loadLanes<V> (block + i);
                const V y = loadLanes<V> (d + i) * c + mg * x;
                storeLanes (run - i, reversed (x + gv * y));
                storeLanes (block + i, y);
            }
        }
    };
    if (n == 32)
        allStages (std::integral_constant<int, 32> {});
    else if (n == 64)
        allStages (std::integral_constant<int, 64> {});
    else
        allStages (std::integral_constant<int, 0> {});
}

[[gnu::noinline]] void stagesIntoLinesBaseline (DelayLine* const* lines, float* const* blocks,
                                                const float (*delayed)[DelayLine::maxBlock], float g,
                                                const float* losses, int count, int n) noexcept
{
    stagesIntoLinesLanes<Lanes> (lines, blocks, delayed, g, losses, count, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void stagesIntoLinesAvx2 (DelayLine* const* lines, float* const* blocks,
                                        const float (*delayed)[DelayLine::maxBlock], float g, const float* losses,
                                        int count, int n) noexcept
{
    stagesIntoLinesLanes<Lanes8> (lines, blocks, delayed, g, losses, count, n);
}
#endif

void stagesIntoLines (DelayLine* const* lines, float* const* blocks, const float (*delayed)[DelayLine::maxBlock],
                      float g, const float* losses, int count, int n) noexcept
{
    QUORVANE_ON_VECTOR_UNIT (n % 8 == 0, stagesIntoLines, lines, blocks, delayed, g, losses, count, n);
}

/** A fixed allpass in one pass: the delayed samples read straight from the line, the stages, and
    v stored straight back, when neither run wraps and the read lies wholly before the block being
    written (length >= 2n), so the order of reads and writes cannot matter; false otherwise. The
    samples are those of readTap (its unit gain is exact), allpassStages and writeBlock. */
template <typename V>
[[gnu::always_inline]] inline bool fixedAllpassLanes (DelayLine& line, const float* input, float* output, float g,
                                                      int length, float loss, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const int32_t w = line.writeIndex;
    const int offset = length - n;
    if (n % W != 0 || length < 2 * n || offset > line.size - n || w < n - 1)
        return false;
    const int32_t start = (w + offset) & line.mask;
    if (start < n - 1)
        return false;
    line.written = true;
    const float* delayed = line.buffer + start;
    float* v = line.buffer + w;
    const V c = broadcast<V> (loss), gv = broadcast<V> (g), mg = broadcast<V> (-g);
    forEachVector<W> (n, [&] (int i) {
        const V x = loadLanes<V> (input + i);
        const V y = reversed (loadLanes<V> (delayed - i - (W - 1))) * c + mg * x;
        storeLanes (v - i - (W - 1), reversed (x + gv * y));
        storeLanes (output + i, y);
    });
    return true;
}

[[gnu::noinline]] bool fixedAllpassBaseline (DelayLine& line, const float* input, float* output, float g, int length,
                                             float loss, int n) noexcept
{
    return fixedAllpassLanes<Lanes> (line, input, output, g, length, loss, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 bool fixedAllpassAvx2 (DelayLine& line, const float* input, float* output, float g, int length,
                                     float loss, int n) noexcept
{
    return fixedAllpassLanes<Lanes8> (line, input, output, g, length, loss, n);
}
#endif

bool fixedAllpassInOnePass (DelayLine& line, const float* input, float* output, float g, int length, float loss,
                            int n) noexcept
{
    return QUORVANE_ON_VECTOR_UNIT (true, fixedAllpass, line, input, output, g, length, loss, n);
}

/** The lines of a group that take the one pass, in one call; returns a mask of those that did not. */
template <typename V>
[[gnu::always_inline]] inline unsigned fixedAllpassGroupLanes (DelayLine* const* lines, float* const* blocks, float g,
                                                               const int* lengths, const float* losses,
                                                               int count) noexcept
{
    unsigned left = 0;
    for (int k = 0; k < count; ++k)
        if (! fixedAllpassLanes<V> (*lines[k], blocks[k], blocks[k], g, lengths[k], losses[k], 32))
            left |= 1u << k;
    return left;
}

[[gnu::noinline]] unsigned fixedAllpassGroupBaseline (DelayLine* const* lines, float* const* blocks, float g,
                                                      const int* lengths, const float* losses, int count) noexcept
{
    return fixedAllpassGroupLanes<Lanes> (lines, blocks, g, lengths, losses, count);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 unsigned fixedAllpassGroupAvx2 (DelayLine* const* lines, float* const* blocks, float g,
                                              const int* lengths, const float* losses, int count) noexcept
{
    return fixedAllpassGroupLanes<Lanes8> (lines, blocks, g, lengths, losses, count);
}
#endif

} // namespace

void modAllpass (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n, float loss,
                 float rampFactor) noexcept
{
    alignas (16) float delayed[DelayLine::maxBlock];
    readAllpassRamped (line, delayed, targetDelay, n, 0, rampFactor);
    allpassStages (line, input, output, delayed, g, n, loss);
}

void modAllpassGroup (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                      const float* losses, int count, int n, float rampFactor) noexcept
{
    alignas (16) float delayed[8][DelayLine::maxBlock];
    AllpassTapRead reads[8] {};
    for (size_t k = 0; k < (size_t) count; ++k)
        reads[k] = { lines[k], 0, delayed[k], targetDelays[k] };
    readAllpassRampedGroup (reads, count, n, rampFactor);
    stagesIntoLines (lines, blocks, delayed, g, losses, count, n);
}

void modAllpassChain (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                      const float* losses, int stages, int count, int n, float rampFactor) noexcept
{
    constexpr int most = 32;
    alignas (16) float delayed[most][DelayLine::maxBlock];
    count = std::min (count, most); // a stage's reads must fit the scratch blocks
    const int perChunk = std::max (1, most / std::max (1, count));
    for (int first = 0; first < stages; first += perChunk)
    {
        const int chunk = std::min (perChunk, stages - first), reads = chunk * count;
        const int offset = first * count;
        AllpassTapRead group[8] {};
        for (int r = 0; r < reads; r += 8)
        {
            const int size = std::min (8, reads - r);
            for (int j = 0; j < size; ++j)
                group[j] = { lines[offset + r + j], 0, delayed[r + j], targetDelays[offset + r + j] };
            readAllpassRampedGroup (group, size, n, rampFactor);
        }
        float* stageBlocks[most];
        for (int r = 0; r < reads; ++r)
            stageBlocks[r] = blocks[r % count];
        stagesIntoLines (lines + offset, stageBlocks, delayed, g, losses + offset, reads, n);
    }
}

namespace
{
/** The stages of up to eight linear-read allpasses after their reads, run as one group. */
void linearGroup (bool quantisedFractions, DelayLine* const* lines, float* const* blocks, float g,
                  const float* targetDelays, const float* losses, int count, int n, float rampFactor) noexcept
{
    alignas (16) float delayed[8][DelayLine::maxBlock];
    LinearTapRead reads[8] {};
    for (size_t k = 0; k < (size_t) count; ++k)
        reads[k] = { lines[k], delayed[k], targetDelays[k] };
    if (quantisedFractions)
        readQuantisedRampedGroup (reads, count, n, rampFactor);
    else
        readLinearRampedGroup (reads, count, n, rampFactor);
    stagesIntoLines (lines, blocks, delayed, g, losses, count, n);
}
} // namespace

void modAllpassLinearGroup (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                            const float* losses, int count, int n, float rampFactor) noexcept
{
    linearGroup (false, lines, blocks, g, targetDelays, losses, count, n, rampFactor);
}

void modAllpass32Group (DelayLine* const* lines, float* const* blocks, float g, const float* targetDelays,
                        const float* losses, int count) noexcept
{
    linearGroup (true, lines, blocks, g, targetDelays, losses, count, 32, 1.0f / 32.0f);
}

void modAllpassLinear (DelayLine& line, const float* input, float* output, float g, float targetDelay, int n,
                       float loss, float rampFactor) noexcept
{
    alignas (16) float delayed[DelayLine::maxBlock];
    readLinearRamped (line, delayed, targetDelay, n, rampFactor);
    allpassStages (line, input, output, delayed, g, n, loss);
}

void modAllpass32 (DelayLine& line, const float* input, float* output, float g, float targetDelay, float loss) noexcept
{
    alignas (16) float delayed[32];
    readQuantisedRamped (line, delayed, targetDelay, 32, 1.0f / 32.0f);
    allpassStages (line, input, output, delayed, g, 32, loss);
}

void fixedAllpass32Group (DelayLine* const* lines, float* const* blocks, float g, const int* lengths,
                         const float* losses, int count) noexcept
{
    count = std::min (count, 32);
    unsigned left = QUORVANE_ON_VECTOR_UNIT (true, fixedAllpassGroup, lines, blocks, g, lengths, losses, count);
    for (int k = 0; left != 0; ++k, left >>= 1)
        if ((left & 1u) != 0)
            fixedAllpass32 (*lines[k], blocks[k], blocks[k], g, lengths[k], losses[k]);
}

void fixedAllpass32 (DelayLine& line, const float* input, float* output, float g, int length, float loss) noexcept
{
    if (fixedAllpassInOnePass (line, input, output, g, length, loss, 32))
        return;
    alignas (16) float delayed[32];
    readTap (line, delayed, 32, length - 32, 1.0f);
    allpassStages (line, input, output, delayed, g, 32, loss);
}

} // namespace quorvane
