#include "LateNetwork.h"

#include "engine/Lanes.h"
#include "engine/LineBank.h"
#include "engine/ModAllpass.h"
#include "engine/ReverbEngine.h"
#include "engine/VectorUnit.h"

#include <algorithm>
#include <utility>

namespace quorvane::kit
{

// The line blocks lie one after another, blockSize floats apart: the writes and the bank of reads
// take them as one array.
static_assert (sizeof (Block64) == sizeof (float) * blockSize && BankReads::blockStride == blockSize);

namespace
{
/** Pointers to the first count line blocks, as the filter banks take them. */
std::array<float*, 32> lineBlocks (ReverbEngine& e, int count)
{
    std::array<float*, 32> blocks {};
    for (size_t k = 0; k < (size_t) count; ++k)
        blocks[k] = e.lineBlock[k].get();
    return blocks;
}

float modulationOf (const float* modulation, size_t segment)
{
    return modulation != nullptr ? modulation[segment] : 0.0f;
}

/** (X, Y) -> (X + Y, Y - X) */
void butterfly (float* __restrict x, float* __restrict y, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float a = x[i], b = y[i];
        x[i] = a + b;
        y[i] = b - a;
    }
}

/* The matrix of 8, 16 or 32 lines in as few passes over the blocks as its stages allow: the
   scale and the spans above 4 in one pass, then the spans 4 and 2 and the rotations of each group
   of eight lines in another. Every element sees the same operations in the same order as stage by
   stage; only the loads and stores between stages go. */

/** The scale, then the spans 16 and 8, over the lines k, k + 8, k + 16, k + 24. */
template <typename V>
[[gnu::always_inline]] inline void scaledSpans16And8 (float* a, float* b, float* c, float* d, float scale,
                                                      int n) noexcept
{
    const V s = broadcast<V> (scale);
    forEachVector<laneCount<V>> (n, [&] (int i) {
        const V x0 = loadLanes<V> (a + i) * s, x1 = loadLanes<V> (b + i) * s;
        const V x2 = loadLanes<V> (c + i) * s, x3 = loadLanes<V> (d + i) * s;
        const V y0 = x0 + x2, y2 = x2 - x0, y1 = x1 + x3, y3 = x3 - x1;
        storeLanes (a + i, y0 + y1);
        storeLanes (b + i, y1 - y0);
        storeLanes (c + i, y2 + y3);
        storeLanes (d + i, y3 - y2);
    });
}

/** The scale, then the span 8, over the lines k and k + 8. */
template <typename V>
[[gnu::always_inline]] inline void scaledSpan8 (float* a, float* b, float scale, int n) noexcept
{
    const V s = broadcast<V> (scale);
    forEachVector<laneCount<V>> (n, [&] (int i) {
        const V x0 = loadLanes<V> (a + i) * s, x1 = loadLanes<V> (b + i) * s;
        storeLanes (a + i, x0 + x1);
        storeLanes (b + i, x1 - x0);
    });
}

/** Spans 4 and 2 of one group of eight lines, then its four rotations (the first optionally
    preceded by the scale). */
template <typename V, bool scaled>
[[gnu::always_inline]] inline void group8 (float* const* p, const CrossMixer* m, float scale, int n) noexcept
{
    const V s = broadcast<V> (scale);
    const RotationLanes<V> r0 (m[0]), r1 (m[1]), r2 (m[2]), r3 (m[3]);
    float* const l0 = p[0], *const l1 = p[1], *const l2 = p[2], *const l3 = p[3];
    float* const l4 = p[4], *const l5 = p[5], *const l6 = p[6], *const l7 = p[7];
    forEachVector<laneCount<V>> (n, [&] (int i) {
        V x[8];
        float* const lines[8] = { l0, l1, l2, l3, l4, l5, l6, l7 };
        for (size_t k = 0; k < 8; ++k)
            x[k] = scaled ? loadLanes<V> (lines[k] + i) * s : loadLanes<V> (lines[k] + i);
        V y[8];
        for (size_t k = 0; k < 4; ++k)
        {
            y[k] = x[k] + x[k + 4];
            y[k + 4] = x[k + 4] - x[k];
        }
        for (size_t k : { 0, 1, 4, 5 })
        {
            x[k] = y[k] + y[k + 2];
            x[k + 2] = y[k + 2] - y[k];
        }
        r0 (x[0], x[1]);
        r1 (x[2], x[3]);
        r2 (x[4], x[5]);
        r3 (x[6], x[7]);
        for (size_t k = 0; k < 8; ++k)
            storeLanes (lines[k] + i, x[k]);
    });
}

template <typename V>
[[gnu::always_inline]] inline void fusedButterflyMatrixLanes (ReverbEngine& e, int count, int n)
{
    auto blocks = lineBlocks (e, count);
    const float s = e.matrixScale;
    if (count == 32)
        for (size_t k = 0; k < 8; ++k)
            scaledSpans16And8<V> (blocks[k], blocks[k + 8], blocks[k + 16], blocks[k + 24], s, n);
    else if (count == 16)
        for (size_t k = 0; k < 8; ++k)
            scaledSpan8<V> (blocks[k], blocks[k + 8], s, n);
    for (size_t g = 0; g < (size_t) count / 8; ++g)
    {
        if (count == 8)
            group8<V, true> (blocks.data() + 8 * g, e.lateCrossMixers.data() + 4 * g, s, n);
        else
            group8<V, false> (blocks.data() + 8 * g, e.lateCrossMixers.data() + 4 * g, s, n);
    }
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void fusedButterflyMatrixAvx2 (ReverbEngine& e, int count, int n)
{
    fusedButterflyMatrixLanes<Lanes8> (e, count, n);
}
#endif

/** n a multiple of four (of eight for the wider unit). */
void fusedButterflyMatrix (ReverbEngine& e, int count, int n)
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n % 8 == 0 && wideVectors())
        return fusedButterflyMatrixAvx2 (e, count, n);
#endif
    fusedButterflyMatrixLanes<Lanes> (e, count, n);
}
} // namespace

namespace
{
/** A segment's modulated delay, held at 0 or more. */
float segmentDelay (const ModeState& ms, const float* modulation, size_t s)
{
    return std::max (0.0f, ms.segmentLength[s] + modulationOf (modulation, s));
}

/** Line block k into segment first + k, with the early feed added on the way when there is one. */
void writeSegments (ReverbEngine& e, int first, int count, int n, const EarlyFeed* feed)
{
    writeBlocks (e.lateLines.data() + first, e.lineBlock[0].get(), blockSize, feed != nullptr ? feed->block : nullptr,
                 count, n);
}

/** The reads of delaySegments, after the writes. */
void readSegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                   const float* modulation, const float* gains, int n)
{
    const auto& ms = e.modeState;
    const float ramp = 1.0f / (float) n;
    // Interpolated reads are collected and run in groups (the allpass ones eight at a time, their
    // recursions sharing vectors; the linear ones eight at a time, their glides sharing one);
    // each line is read once, so the order of the reads does not matter.
    AllpassTapRead allpassReads[8];
    int pending = 0;
    LinearTapRead linearReads[8];
    int pendingLinear = 0;
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        const size_t s = (size_t) first + k;
        auto& line = e.lateLines[s];
        float* block = e.lineBlock[k].get();
        switch (pattern[k % 4])
        {
            case LineRead::tap: readTap (line, block, n, ms.segmentFloor[s], gains != nullptr ? gains[s] : 1.0f); break;
            case LineRead::linear:
                linearReads[pendingLinear++] = { &line, block, segmentDelay (ms, modulation, s) };
                if (pendingLinear == 8)
                {
                    readLinearRampedGroup (linearReads, pendingLinear, n, ramp);
                    pendingLinear = 0;
                }
                break;
            case LineRead::allpass:
                allpassReads[pending++] = { &line, 0, block, segmentDelay (ms, modulation, s) };
                if (pending == 8)
                {
                    readAllpassRampedGroup (allpassReads, pending, n, ramp);
                    pending = 0;
                }
                break;
        }
    }
    readAllpassRampedGroup (allpassReads, pending, n, ramp);
    readLinearRampedGroup (linearReads, pendingLinear, n, ramp);
}
} // namespace

namespace
{
/** readSegments, then the splits, as one bank of reads. */
void readSegmentsThenSplit (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                            const float* modulation, const float* gains, int n, const TwoBandSplits& splits)
{
    const auto& ms = e.modeState;
    const float ramp = 1.0f / (float) n;
    BankReads::Kind pattern4[4];
    for (size_t j = 0; j < 4; ++j)
        pattern4[j] = pattern[j] == LineRead::tap      ? BankReads::Kind::tap
                      : pattern[j] == LineRead::linear ? BankReads::Kind::linear
                                                       : BankReads::Kind::allpass;
    // Whole patterns of four (past count too: the bank reads only its own).
    BankReads::Kind kinds[32];
    for (size_t k = 0; k < (size_t) count; k += 4)
        std::copy_n (pattern4, 4, kinds + k);
    float delays[32];
    for (size_t k = 0; k < (size_t) count; ++k)
        delays[k] = segmentDelay (ms, modulation, (size_t) first + k);
    const BankReads bank { kinds,
                           e.lateLines.data() + first,
                           e.lineBlock[0].get(),
                           ms.segmentFloor.data() + first,
                           gains != nullptr ? gains + first : nullptr,
                           delays };
    readAndSplitBank (bank, count, splits.first, splits.second, n, ramp);
}
} // namespace

TwoBandSplits bassThenHigh (ReverbEngine& e, const float* bassHigh, const float* bassLow, const float* highGain)
{
    return { { e.bassFilters.data(), e.bassSplitCoef, bassHigh, bassLow },
             { e.highFilters.data(), e.highSplitCoef, highGain, nullptr } };
}

TwoBandSplits highThenBass (ReverbEngine& e, const float* highGain, const float* bassHigh, const float* bassLow)
{
    const auto [bass, high] = bassThenHigh (e, bassHigh, bassLow, highGain);
    return { high, bass };
}

void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n, const TwoBandSplits& splits)
{
    writeSegments (e, first, count, n, nullptr);
    readSegmentsThenSplit (e, first, count, pattern, modulation, gains, n, splits);
}

void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n, const EarlyFeed& feed,
                    const TwoBandSplits& splits)
{
    writeSegments (e, first, count, n, &feed);
    readSegmentsThenSplit (e, first, count, pattern, modulation, gains, n, splits);
}

void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n)
{
    writeSegments (e, first, count, n, nullptr);
    readSegments (e, first, count, pattern, modulation, gains, n);
}

void allpassStage (ReverbEngine& e, AllpassRead read, int first, int count, const float* modulation, float g, int n)
{
    const auto& ms = e.modeState;
    const float ramp = 1.0f / (float) n;
    // Eight lines at a time: their delayed reads run side by side (each line is read before any of
    // the group is written, and only its own line is read, so the order changes nothing).
    for (size_t k = 0; k < (size_t) count; k += 8)
    {
        const int group = std::min (8, count - (int) k);
        DelayLine* lines[8];
        float* blocks[8];
        float delays[8], losses[8];
        for (size_t j = 0; j < (size_t) group; ++j)
        {
            const size_t s = (size_t) first + k + j;
            lines[j] = &e.lateLines[s];
            blocks[j] = e.lineBlock[k + j].get();
            delays[j] = std::max ((float) n, ms.segmentLength[s] + modulationOf (modulation, s));
            losses[j] = ms.segmentGain[s];
        }
        switch (read)
        {
            case AllpassRead::allpass: modAllpassGroup (lines, blocks, g, delays, losses, group, n, ramp); break;
            case AllpassRead::linear: modAllpassLinearGroup (lines, blocks, g, delays, losses, group, n, ramp); break;
            case AllpassRead::quantised: modAllpass32Group (lines, blocks, g, delays, losses, group); break;
        }
    }
}

void allpassStages (ReverbEngine& e, int first, int stages, int count, const float* modulation, float g, int n)
{
    const auto& ms = e.modeState;
    constexpr int most = 64;
    DelayLine* lines[most];
    float* blocks[most];
    float delays[most], losses[most];
    count = std::min (count, 32); // as many lines as a chain takes; no network has more
    for (int k = 0; k < count; ++k)
        blocks[k] = e.lineBlock[(size_t) k].get();
    // As many whole stages at a time as the arrays hold.
    const int perChunk = std::max (1, most / std::max (1, count));
    for (int stage = 0; stage < stages; stage += perChunk)
    {
        const int chunk = std::min (perChunk, stages - stage);
        for (int j = 0; j < chunk * count; ++j)
        {
            const size_t s = (size_t) (first + stage * count + j);
            lines[j] = &e.lateLines[s];
            delays[j] = std::max ((float) n, ms.segmentLength[s] + modulationOf (modulation, s));
            losses[j] = ms.segmentGain[s];
        }
        modAllpassChain (lines, blocks, g, delays, losses, chunk, count, n, 1.0f / (float) n);
    }
}

void fixedAllpassStage (ReverbEngine& e, int first, int count, float g)
{
    const auto& ms = e.modeState;
    constexpr int most = 32;
    DelayLine* lines[most];
    float* blocks[most];
    int lengths[most];
    count = std::min (count, most); // no network has more lines
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        const size_t s = (size_t) first + k;
        lines[k] = &e.lateLines[s];
        blocks[k] = e.lineBlock[k].get();
        // The delay is the length less the block; it cannot go below the block it reads before writing.
        lengths[k] = std::max (2 * 32, (int) ms.segmentFloor[s]);
    }
    fixedAllpass32Group (lines, blocks, g, lengths, ms.segmentGain.data() + first, count);
}

void splitBass (ReverbEngine& e, int count, const float* highGain, const float* lowGain, int n)
{
    auto blocks = lineBlocks (e, count);
    splitBandsBank (e.bassFilters.data(), e.bassSplitCoef, blocks.data(), highGain, lowGain, count, n);
}

void splitHigh (ReverbEngine& e, int count, const float* highGain, int n)
{
    auto blocks = lineBlocks (e, count);
    splitBandsBank (e.highFilters.data(), e.highSplitCoef, blocks.data(), highGain, nullptr, count, n);
}

void splitBassThenHigh (ReverbEngine& e, int count, const float* bassHigh, const float* bassLow, const float* highGain,
                        int n)
{
    auto blocks = lineBlocks (e, count);
    const auto splits = bassThenHigh (e, bassHigh, bassLow, highGain);
    splitTwoBandsBank (splits.first, splits.second, blocks.data(), count, n);
}

void splitHighThenBass (ReverbEngine& e, int count, const float* highGain, const float* bassHigh, const float* bassLow,
                        int n)
{
    auto blocks = lineBlocks (e, count);
    const auto splits = highThenBass (e, highGain, bassHigh, bassLow);
    splitTwoBandsBank (splits.first, splits.second, blocks.data(), count, n);
}

namespace
{
/** Tap j of a channel: its line block lies 2 j blocks after the channel's first. */
template <typename V, int Vectors, size_t j>
[[gnu::always_inline]] inline void addTap (V (&acc)[Vectors], const float* first, const float* gains, int i) noexcept
{
    constexpr int W = laneCount<V>;
    const V g = broadcast<V> (gains[j]);
    for (int v = 0; v < Vectors; ++v)
        acc[v] = acc[v] + loadLanes<V> (first + 2 * j * blockSize + i + v * W) * g;
}

/** tapLinesLanes for a count of taps fixed at compile time, Vectors vectors of the sum at a time:
    written out tap by tap, each product takes its samples from memory at a constant offset. */
template <typename V, int Vectors, size_t... j>
[[gnu::always_inline]] inline void fixedTapLines (ReverbEngine& e, const float* left, const float* right, int n,
                                                  std::index_sequence<j...>) noexcept
{
    constexpr int W = laneCount<V>;
    for (size_t c = 0; c < 2; ++c)
    {
        const float* first = e.lineBlock[c].get();
        const float* gains = c == 0 ? left : right;
        float* sum = e.lateSumBlock[c].get();
        for (int i = 0; i < n; i += Vectors * W)
        {
            V acc[Vectors];
            for (int v = 0; v < Vectors; ++v)
                acc[v] = loadLanes<V> (sum + i + v * W);
            (addTap<V, Vectors, j> (acc, first, gains, i), ...);
            for (int v = 0; v < Vectors; ++v)
                storeLanes (sum + i + v * W, acc[v]);
        }
    }
}

/** Each sum element takes its taps in the same order as tap by tap, held in a register between
    them instead of stored and loaded again. */
template <typename V>
[[gnu::always_inline]] inline void tapLinesLanes (ReverbEngine& e, size_t taps, const float* left, const float* right,
                                                  int n)
{
    constexpr int W = laneCount<V>;
    // The networks of 32 lines (16 taps a channel), in the engine's two block lengths.
    if (taps == 16 && n % (4 * W) == 0)
        return fixedTapLines<V, 4> (e, left, right, n, std::make_index_sequence<16> {});
    for (size_t c = 0; c < 2; ++c)
    {
        const float* lines[16];
        for (size_t j = 0; j < taps; ++j)
            lines[j] = e.lineBlock[2 * j + c].get();
        float* sum = e.lateSumBlock[c].get();
        const float* gains = c == 0 ? left : right;
        if (taps <= 4)
        {
            // So few taps keep their gains and lines in registers over the whole block.
            V g[4];
            for (size_t j = 0; j < taps; ++j)
                g[j] = broadcast<V> (gains[j]);
            forEachVector<W> (n, [&] (int i) {
                V acc = loadLanes<V> (sum + i);
                for (size_t j = 0; j < taps; ++j)
                    acc = acc + loadLanes<V> (lines[j] + i) * g[j];
                storeLanes (sum + i, acc);
            });
            continue;
        }
        weightedRunsAddedBlock<V> (sum, lines, gains, (int) taps, n);
    }
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void tapLinesAvx2 (ReverbEngine& e, size_t taps, const float* left, const float* right, int n)
{
    tapLinesLanes<Lanes8> (e, taps, left, right, n);
}
#endif
} // namespace

void tapLines (ReverbEngine& e, int count, const float* left, const float* right, int n)
{
    const size_t taps = (size_t) count / 2;
    if (n % 4 != 0 || taps > 16)
    {
        for (size_t j = 0; j < taps; ++j)
        {
            accumulateBlock (e.lateSumBlock[0].get(), e.lineBlock[2 * j].get(), left[j], n);
            accumulateBlock (e.lateSumBlock[1].get(), e.lineBlock[2 * j + 1].get(), right[j], n);
        }
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n % 8 == 0 && wideVectors())
        return tapLinesAvx2 (e, taps, left, right, n);
#endif
    tapLinesLanes<Lanes> (e, taps, left, right, n);
}

void butterflyMatrix (ReverbEngine& e, int count, int n)
{
    if ((count == 8 || count == 16 || count == 32) && n % 4 == 0)
    {
        fusedButterflyMatrix (e, count, n);
        return;
    }
    for (size_t k = 0; k < (size_t) count; ++k)
        scaleBlock (e.lineBlock[k].get(), e.lineBlock[k].get(), e.matrixScale, n);
    for (int span = count / 2; span >= 2; span /= 2)
        for (int k = 0; k < count; ++k)
            if ((k & span) == 0)
                butterfly (e.lineBlock[(size_t) k].get(), e.lineBlock[(size_t) (k + span)].get(), n);
    crossRotations (e, count, n);
}

void crossRotations (ReverbEngine& e, int count, int n)
{
    for (size_t m = 0; m < (size_t) count / 2; ++m)
        e.lateCrossMixers[m].rotate (e.lineBlock[2 * m].get(), e.lineBlock[2 * m + 1].get(), n);
}

void ringShift (ReverbEngine& e, int count, int n)
{
    for (int parity = 0; parity < 2; ++parity)
    {
        alignas (16) float last[blockSize];
        std::copy_n (e.lineBlock[(size_t) (count - 2 + parity)].get(), n, last);
        for (int k = count - 2 + parity; k >= 2; k -= 2)
            std::copy_n (e.lineBlock[(size_t) (k - 2)].get(), n, e.lineBlock[(size_t) k].get());
        std::copy_n (last, n, e.lineBlock[(size_t) parity].get());
    }
}

namespace
{
/** The bass band of each late sum, through the output bass filters. */
void lateBassBands (ReverbEngine& e, float (&band)[2][blockSize], int n)
{
    processPair (e.outputBassFilters[0], e.outputBassFilters[1], e.bassSplitCoef, e.lateSumBlock[0].get(),
                 e.lateSumBlock[1].get(), band[0], band[1], n);
}
} // namespace

void mixNormalisedLateBands (ReverbEngine& e, int n)
{
    const auto& ms = e.modeState;
    alignas (16) float band[2][blockSize];
    lateBassBands (e, band, n);
    for (size_t c = 0; c < 2; ++c)
        bandGainScaleAddBlock (e.ioBlock[c].get(), e.lateSumBlock[c].get(), band[c], ms.midNormaliser,
                               ms.bassNormaliser, e.lateLevel, e.earlyOutBlock[c].get(), n);
}

void mixScaledModeOutput (ReverbEngine& e, float normaliser, int n)
{
    for (size_t c = 0; c < 2; ++c)
        scaleTwiceAddBlock (e.ioBlock[c].get(), e.lateSumBlock[c].get(), normaliser, e.lateLevel,
                            e.earlyOutBlock[c].get(), n);
}

void mixModeOutput (ReverbEngine& e, int n)
{
    for (size_t c = 0; c < 2; ++c)
        scaleAddBlock (e.ioBlock[c].get(), e.lateSumBlock[c].get(), e.lateLevel, e.earlyOutBlock[c].get(), n);
}

} // namespace quorvane::kit
