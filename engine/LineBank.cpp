// A bank of line reads fused with the two band splits that follow them.
#include "LineBank.h"

#include "LineGathers.h"
#include "Lanes.h"
#include "SplitLanes.h"
#include "VectorUnit.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(QUORVANE_HAS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace quorvane
{

namespace
{
/** The splits as they apply to lines from k on. */
BandSplit fromLine (const BandSplit& split, int k) noexcept
{
    return { split.filters + k, split.g, split.highGain != nullptr ? split.highGain + k : nullptr,
             split.lowGain != nullptr ? split.lowGain + k : nullptr };
}

/** Each read on its own, then the splits: the reference the fused passes keep to, and what lines
    no tile takes go through. */
void readThenSplit (const BankReads& reads, int count, const BandSplit& first, const BandSplit& second, int n,
                    float rampFactor) noexcept
{
    for (int k = 0; k < count; ++k)
    {
        if (reads.kinds[k] == BankReads::Kind::tap)
            readTap (reads.lines[k], reads.block (k), n, reads.offsets[k], reads.gain (k));
        else if (reads.kinds[k] == BankReads::Kind::linear)
            readLinearRamped (reads.lines[k], reads.block (k), reads.targetDelays[k], n, rampFactor);
        else if (reads.kinds[k] == BankReads::Kind::allpass)
            readAllpassRamped (reads.lines[k], reads.block (k), reads.targetDelays[k], n, 0, rampFactor);
    }
    constexpr int chunk = 32;
    for (int k = 0; k < count; k += chunk)
    {
        float* blocks[chunk];
        const int lines = std::min (chunk, count - k);
        for (int j = 0; j < lines; ++j)
            blocks[j] = reads.block (k + j);
        splitTwoBandsBank (fromLine (first, k), fromLine (second, k), blocks, lines, n);
    }
}

#if defined(QUORVANE_SHUFFLES)
template <typename V>
using IntLanesFor = std::conditional_t<laneCount<V> == 4, IntLanes, IntLanes8>;

/* Networks read their lines in a pattern that repeats every four lines, often two of one kind and
   two of another (two modulated reads, two taps). Two groups of lines then regroup into one of
   each kind: the lines 4j and 4j + 1 of both groups in one vector, 4j + 2 and 4j + 3 in another,
   so no tile computes an interpolation for lines that do not need one. */

/** The lanes of the lines 4j, 4j + 1 (high: 4j + 2, 4j + 3) of two groups a and b. Picking the low
    and the high pairs of the two picked vectors gives a and b back. */
template <typename V>
[[gnu::always_inline]] inline V pickPairs (V a, V b, bool high) noexcept
{
    if constexpr (laneCount<V> == 4)
        return high ? __builtin_shufflevector (a, b, 2, 3, 6, 7) : __builtin_shufflevector (a, b, 0, 1, 4, 5);
    else
        return high ? __builtin_shufflevector (a, b, 2, 3, 10, 11, 6, 7, 14, 15)
                    : __builtin_shufflevector (a, b, 0, 1, 8, 9, 4, 5, 12, 13);
}

/** The line of lane r from a group's first: consecutive lines, or the lines of two groups of W
    that lane r of pickPairs holds (the low ones; the high ones start two lines later). */
template <int W, bool picked>
constexpr int laneLine (int r) noexcept
{
    const int j = r % 4, quarter = 4 * (r / 4);
    return ! picked ? r : j < 2 ? quarter + j : W + quarter + j - 2;
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
using gathers::runsOfLanes;

/** laneLine<8, picked> of every lane, as the gathers load them. */
template <bool picked>
constexpr int32_t laneLinesOf[8] = { laneLine<8, picked> (0), laneLine<8, picked> (1), laneLine<8, picked> (2),
                                     laneLine<8, picked> (3), laneLine<8, picked> (4), laneLine<8, picked> (5),
                                     laneLine<8, picked> (6), laneLine<8, picked> (7) };

/* A group's set-up when all eight lanes read the same kind, on the wider unit: its lines' fields
   gathered side by side. In intrinsics only, as every kernel of this unit is. */

/** Eight taps (lane r: line and tap k = laneLines[r] of the bank): when every tap's run lies
    without a wrap, each lane's newer run and gain, and whether every gain is 1; false, having
    written nothing, otherwise. */
[[gnu::noinline]] QUORVANE_AVX2 bool heldTapLanesAvx2 (const BankReads& bank, const int32_t* laneLines, int n,
                                                      const float** newer, float* gain, bool& unitGains) noexcept
{
    const __m256i k = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (laneLines));
    const DelayLine& line0 = bank.lines[0];
    const __m256i run = gathers::tapRuns (line0, k, _mm256_i32gather_epi32 (bank.offsets, k, 4), n);
    if (gathers::unwrapped (run, n) != 0xff)
        return false;
    const __m256 gains = bank.gains != nullptr ? _mm256_i32gather_ps (bank.gains, k, 4) : _mm256_set1_ps (1.0f);
    _mm256_storeu_ps (gain, gains);
    if (bank.gains != nullptr)
        unitGains = unitGains && _mm256_movemask_ps (_mm256_cmp_ps (gains, _mm256_set1_ps (1.0f), _CMP_EQ_OQ)) == 0xff;
    runsOfLanes<0> (line0, k, run, newer);
    runsOfLanes<1> (line0, k, run, newer);
    return true;
}

/** The start and target of eight linear reads' glides (lane r: line k = laneLines[r]), as
    readLinearRamped forms them: the target held to the longest delay the line can interpolate,
    the start its last target, or the target itself on a first read. */
[[gnu::noinline]] QUORVANE_AVX2 void linearGlideEndsAvx2 (const BankReads& bank, const int32_t* laneLines, int n,
                                                         float* start, float* target) noexcept
{
    const __m256i k = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (laneLines));
    const DelayLine& line0 = bank.lines[0];
    const __m256 longest = _mm256_cvtepi32_ps (
        _mm256_sub_epi32 (gathers::lineField (&line0.size, k), _mm256_set1_epi32 (n + 1)));
    // std::min (delay, longest): the delay unless longest is below it.
    const __m256 delay = _mm256_i32gather_ps (bank.targetDelays, k, 4);
    const __m256 t = _mm256_min_ps (longest, delay);
    const __m256 previous = gathers::lineField (&line0.tapDelay[0], k);
    _mm256_storeu_ps (target, t);
    _mm256_storeu_ps (start, _mm256_blendv_ps (previous, t, _mm256_cmp_ps (previous, previous, _CMP_UNORD_Q)));
}

/** After the glides of eight linear reads (rows[i][r] lane r's delay of sample i): when every
    read's whole delay holds over the block or crosses one sample, and its run lies without a
    wrap, each lane's run, older neighbour of the first sample (and the one before it for a
    crossing read), lower whole delay, and its line's glide taken on to the target; returns the
    lanes that cross, as a mask. -1, having written nothing, otherwise. Lane r reads line
    laneLine<8, picked> (r), fixed at compile time for the stores of the glides' ends. */
template <bool picked>
[[gnu::noinline]] QUORVANE_AVX2 int heldOrCrossingLanesAvx2 (const BankReads& bank, const float (*rows)[8],
                                                            const float* target, int n, const float** newer,
                                                            float* previous, float* beforePrevious,
                                                            int32_t* lowWhole) noexcept
{
    const __m256i k = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (laneLinesOf<picked>));
    const DelayLine& line0 = bank.lines[0];
    const __m256i first = _mm256_cvttps_epi32 (_mm256_loadu_ps (rows[0]));
    const __m256i last = _mm256_cvttps_epi32 (_mm256_loadu_ps (rows[n - 1]));
    const auto [low, run, held, crossing] = gathers::heldOrCrossing (
        first, last, gathers::lineField (&line0.writeIndex, k), gathers::lineField (&line0.mask, k), n);
    if (_mm256_movemask_ps (_mm256_castsi256_ps (_mm256_or_si256 (held, crossing))) != 0xff)
        return -1;
    _mm256_storeu_si256 (reinterpret_cast<__m256i*> (lowWhole), low);
    const __m128i all = _mm_set1_epi32 (-1);
    const __m256i at[2] = { runsOfLanes<0> (line0, k, run, newer), runsOfLanes<1> (line0, k, run, newer) };
    _mm256_storeu_ps (previous, gathers::joined (gathers::floatsAt (at[0], sizeof (float), all),
                                                 gathers::floatsAt (at[1], sizeof (float), all)));
    // The samples before them only where the lane crosses; the others keep their zeros.
    _mm256_storeu_ps (beforePrevious,
                      gathers::joined (gathers::floatsAt (at[0], 2 * sizeof (float), gathers::halfOf<0> (crossing)),
                                       gathers::floatsAt (at[1], 2 * sizeof (float), gathers::halfOf<1> (crossing))));
    for (int r = 0; r < 8; ++r)
        bank.lines[laneLine<8, picked> (r)].tapDelay[0] = target[r];
    return _mm256_movemask_ps (_mm256_castsi256_ps (crossing));
}
#endif

/** The allpass reads of a group of laneCount<V> lines (lane r reading line first +
    laneLine<W, picked> (r)), side by side into rows (row i: sample i of each lane). */
template <typename V, bool picked>
[[gnu::always_inline]] inline void readAllpassRows (const BankReads& reads, int first, int n, float rampFactor,
                                                    float (*rows)[laneCount<V>]) noexcept
{
    constexpr int W = laneCount<V>;
    AllpassTapRead allpassReads[W];
    for (int r = 0; r < W; ++r)
    {
        const int k = first + laneLine<W, picked> (r);
        allpassReads[r] = { reads.lines + k, 0, nullptr, reads.targetDelays[k] };
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (W == 8)
        readAllpassIntoRowsWide (allpassReads, W, n, rampFactor, rows);
    else
#endif
        readAllpassIntoRows (allpassReads, W, n, rampFactor, rows);
}

/** What the tiles of one group of laneCount<V> lines need: where each lane's samples lie (sample i
    at newer[r][-i], reversed as the lines hold them), the gain of a tap, and for a held linear
    read its glide and the older neighbour of sample 0. Reads that cannot load from one run of
    their line (a moving glide, a tap across the wrap) or are ready already take their block,
    reversed, from `reversedBlocks` with a gain of 1 (x times 1 is x, bit for bit). Lane r reads
    line laneLine<W, picked> (r) from the group's first. */
template <typename V, bool picked>
struct GroupRuns
{
    static constexpr int W = laneCount<V>;
    const float* newer[W];
    /** The block of the group's first line; lane r's lies a fixed distance on (block). */
    float* firstBlock = nullptr;
    alignas (32) float gain[W];
    alignas (32) int32_t linear[W];
    alignas (32) float previous[W];
    // For a glide that crosses one whole sample within the block: the whole delay it starts from
    // (lo) and the sample before the older neighbour of sample 0 (neighbours of the run at lo
    // give those of lo + 1 one sample later).
    alignas (32) int32_t lowWhole[W];
    alignas (32) float beforePrevious[W];
    bool anyCrossing = false;
    /** Every lane ready: the blocks are loaded as they are, in time order. */
    bool forward = true;
    alignas (32) float rows[DelayLine::maxBlock][W];
    alignas (32) float reversedBlocks[W][DelayLine::maxBlock];
    bool anyLinear = false;
    /** Every lane an allpass read, its samples already in these rows (row i: sample i of each
        lane); nullptr otherwise. */
    const float (*rowsRead)[W] = nullptr;
    int heldLanes = 0, crossingLanes = 0;
    /** Every lane's gain is 1 (no product to form). */
    bool unitGains = true;

    /** Lane r's block: a constant offset from the first, so the tiles store through one pointer. */
    [[gnu::always_inline]] static constexpr int blockOffset (int r) noexcept
    {
        return laneLine<W, picked> (r) * BankReads::blockStride;
    }
    [[gnu::always_inline]] float* block (int r) const noexcept { return firstBlock + blockOffset (r); }

    [[gnu::always_inline]] void readBlock (int r, int n) noexcept
    {
        for (int i = 0; i < n; i += W)
            storeLanes (reversedBlocks[r] + n - W - i, reversed (loadLanes<V> (block (r) + i)));
        newer[r] = reversedBlocks[r] + n - 1;
        gain[r] = 1.0f;
    }

    /** Every lane an allpass read (lane r reading line firstLine + laneLine<W, picked> (r)),
        read already into readRows (readAllpassRows). */
    [[gnu::always_inline]] GroupRuns (const float (*readRows)[W], const BankReads& reads, int firstLine) noexcept
        : firstBlock (reads.block (firstLine)), forward (false), rowsRead (readRows)
    {
    }

    /** rows[i] = first + step + .. + step (i + 1 steps), one addition after another. */
    template <int N>
    [[gnu::always_inline]] void glideRows (V d, V step) noexcept
    {
        // Four rows per pass, written out: the compiler leaves a loop of one row as it is, and
        // then the loop's own count and compare cost more than the row.
        static_assert (N % 4 == 0);
        for (int i = 0; i < N; i += 4)
        {
            const V d1 = d + step, d2 = d1 + step, d3 = d2 + step, d4 = d3 + step;
            storeLanes (rows[i], d1);
            storeLanes (rows[i + 1], d2);
            storeLanes (rows[i + 2], d3);
            storeLanes (rows[i + 3], d4);
            d = d4;
        }
    }

    [[gnu::always_inline]] void glideRows (V d, V step, int n) noexcept
    {
        for (int i = 0; i < n; ++i)
        {
            d = d + step;
            storeLanes (rows[i], d);
        }
    }

    /** Lane r reads line firstLine + laneLine<W, picked> (r) of the bank. */
    [[gnu::always_inline]] GroupRuns (const BankReads& reads, int firstLine, int n, float rampFactor) noexcept
        : firstBlock (reads.block (firstLine))
    {
        // The lanes' lines as constant offsets from the bank's first one.
        const BankReads bank = reads.from (firstLine);
        alignas (32) float start[W], target[W];
        storeLanes (gain, broadcast<V> (1.0f));
        storeLanes (previous, V {});
        storeLanes (beforePrevious, V {});
        storeIntLanes (lowWhole, IntLanesFor<V> {});
        storeLanes (start, V {});
        storeLanes (target, V {});
        storeIntLanes (linear, IntLanesFor<V> {});
        // The bank's fields in locals, and each lane's kind at hand: the stores below could
        // otherwise be taken to change them, and every lane would load them again. A lane's line
        // is formed only where a lane goes its own way.
        const float* const gains = bank.gains;
        DelayLine* const lines = bank.lines;
        BankReads::Kind kinds[W];
        for (int r = 0; r < W; ++r)
        {
            const int k = laneLine<W, picked> (r);
            // The lanes of a picked group are of one kind (pickPairs regroups them so): its
            // checks below then come down to one.
            kinds[r] = bank.kinds[picked ? 0 : k];
            forward = forward && kinds[r] == BankReads::Kind::ready;
        }
        if (forward)
        {
            for (int r = 0; r < W; ++r)
                newer[r] = block (r);
            return;
        }
        bool allLinear = false;
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
        if constexpr (W == 8)
        {
            constexpr const int32_t* laneLines = laneLinesOf<picked>;
            bool allTaps = true;
            allLinear = true;
            for (int r = 0; r < W; ++r)
            {
                allTaps = allTaps && kinds[r] == BankReads::Kind::tap;
                allLinear = allLinear && kinds[r] == BankReads::Kind::linear;
            }
            if (allTaps && heldTapLanesAvx2 (bank, laneLines, n, newer, gain, unitGains))
                return;
            if (allLinear)
            {
                linearGlideEndsAvx2 (bank, laneLines, n, start, target);
                storeIntLanes (linear, IntLanesFor<V> {} - 1);
                anyLinear = true;
            }
        }
    #endif
        if (! allLinear)
        {
        #pragma GCC unroll 8
            for (int r = 0; r < W; ++r)
            {
                const int k = laneLine<W, picked> (r);
                if (kinds[r] == BankReads::Kind::tap)
                {
                    DelayLine& line = lines[laneLine<W, picked> (r)];
                    const int32_t offset = bank.offsets[k];
                    const float tapGain = gains != nullptr ? gains[k] : 1.0f;
                    const int32_t run = (line.writeIndex + std::min (offset, line.size - n)) & line.mask;
                    if (run >= n - 1)
                    {
                        newer[r] = line.buffer + run;
                        gain[r] = tapGain;
                        if (gains != nullptr)
                            unitGains = unitGains && tapGain == 1.0f;
                        continue;
                    }
                    readTap (line, block (r), n, offset, tapGain);
                }
                else if (kinds[r] == BankReads::Kind::linear)
                {
                    const DelayLine& line = lines[laneLine<W, picked> (r)];
                    target[r] = std::min (bank.targetDelays[k], longestInterpolatedDelay (line, n));
                    start[r] = glideStart (line.tapDelay[0], target[r]);
                    linear[r] = -1;
                    anyLinear = true;
                    continue;
                }
                readBlock (r, n);
            }
        }
        if (! anyLinear)
            return;
        // The glides side by side (each lane adds its own step, as readLinearRamped does).
        const V first = loadLanes<V> (start), step = (loadLanes<V> (target) - first) * broadcast<V> (rampFactor);
        if (n == 64)
            glideRows<64> (first, step);
        else if (n == 32)
            glideRows<32> (first, step);
        else
            glideRows (first, step, n);
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
        if constexpr (W == 8)
            if (allLinear)
                if (const int crossing = heldOrCrossingLanesAvx2<picked> (bank, rows, target, n, newer, previous,
                                                                          beforePrevious, lowWhole);
                    crossing >= 0)
                {
                    crossingLanes = __builtin_popcount ((unsigned) crossing);
                    heldLanes = W - crossingLanes;
                    anyCrossing = crossing != 0;
                    return;
                }
    #endif
        anyLinear = false;
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
        unsigned moving = 0;
        const DelayLine* movingLines[W];
        float* movingOutputs[W];
    #endif
    #pragma GCC unroll 8
        for (int r = 0; r < W; ++r)
        {
            if (linear[r] == 0)
                continue;
            DelayLine& line = lines[laneLine<W, picked> (r)];
            const auto firstWhole = (int32_t) rows[0][r], lastWhole = (int32_t) rows[n - 1][r];
            if (const int32_t run = heldRun (line, firstWhole, lastWhole, n); run >= 0)
            {
                newer[r] = line.buffer + run;
                previous[r] = newer[r][1];
                lowWhole[r] = firstWhole;
                line.tapDelay[0] = target[r];
                anyLinear = true;
                ++heldLanes;
                continue;
            }
            if (const int32_t run = crossingRun (line, firstWhole, lastWhole, n); run >= 0)
            {
                newer[r] = line.buffer + run;
                previous[r] = newer[r][1];
                beforePrevious[r] = newer[r][2];
                lowWhole[r] = std::min (firstWhole, lastWhole);
                line.tapDelay[0] = target[r];
                anyLinear = anyCrossing = true;
                ++crossingLanes;
                continue;
            }
            linear[r] = 0;
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
            if constexpr (W == 8)
            {
                // Its delays are in the rows already: interpolated straight into its reversed
                // block, with the other such lanes after this loop.
                line.tapDelay[0] = target[r];
                moving |= 1u << r;
                movingLines[r] = &line;
                movingOutputs[r] = reversedBlocks[r];
                newer[r] = reversedBlocks[r] + n - 1;
                gain[r] = 1.0f;
                continue;
            }
    #endif
            readLinearRamped (line, block (r), bank.targetDelays[laneLine<W, picked> (r)], n, rampFactor);
            readBlock (r, n);
        }
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
        if constexpr (W == 8)
            if (moving != 0)
                interpolateLinearColumnsReversedAvx2 (movingLines, rows, moving, movingOutputs, n);
    #endif
    }
};

/** What the linear lanes of a group need: none, held glides, or glides that may cross one
    whole sample. */
enum class Glides
{
    none,
    held,
    /** Every lane a held linear read: no gain or choice of lanes to apply. */
    heldEveryLane,
    crossing,
    /** Every lane a linear read, held or crossing (a held one never takes the later pair). */
    crossingEveryLane,
    /** No linear lanes, and every gain 1. */
    unitGains,
    /** Every lane's samples already in the rows. */
    rows
};

/** The tiles of one group: a loaded run holds samples i + W - 1 down to i, so after the transpose
    row W - 1 - k is sample i + k; a held linear read's older neighbour of sample i is the newer
    one of sample i - 1 (and a crossing read, once past its whole sample, takes the pair one
    sample further back). Then both splits, and the tile back to the blocks. */
template <typename V, Glides glides, bool forward, bool firstUnitLow, bool secondUnitLow, bool picked>
[[gnu::always_inline]] inline void splitTiles (const GroupRuns<V, picked>& runs, SplitLanes<V>& a, SplitLanes<V>& b,
                                               int n) noexcept
{
    constexpr int W = laneCount<V>;
    using IV = IntLanesFor<V>;
    const V gain = loadLanes<V> (runs.gain);
    const IV linear = loadIntLanes<IV> (runs.linear), lowWhole = loadIntLanes<IV> (runs.lowWhole);
    // A held read's whole delay is lowWhole on every sample, so its fraction is d less that.
    const V heldWhole = __builtin_convertvector (lowWhole, V);
    // A crossing read's whole delay is lowWhole + 1 from the first d at or past that (rows are
    // monotonic and stay within the two), so d less its whole delay is d less one of the two.
    const V higherWhole = heldWhole + broadcast<V> (1.0f);
    V previous = loadLanes<V> (runs.previous), beforePrevious = loadLanes<V> (runs.beforePrevious);
    // Pointers in locals: the stores could otherwise be taken to change them, and every tile
    // would load them again.
    const float* newer[W];
    for (int r = 0; r < W; ++r)
        newer[r] = runs.newer[r];
    float* const blocks = runs.firstBlock;
    const float (*rows)[W] = runs.rows;
    SplitLanes<V> first = a, second = b;
    // A plain loop: a lambda's body would not be built for the wider unit if left out of line.
    for (int i = 0; i < n; i += W)
    {
        V tile[W];
        if constexpr (glides != Glides::rows)
        {
            for (int r = 0; r < W; ++r)
                tile[r] = loadLanes<V> (forward ? newer[r] + i : newer[r] - i - (W - 1));
            transposeTile (tile);
        }
        V out[W];
        for (int k = 0; k < W; ++k)
        {
            const V x = glides == Glides::rows ? loadLanes<V> (runs.rowsRead[i + k]) : tile[forward ? k : W - 1 - k];
            // Ready blocks pass as they are (no gain to apply).
            constexpr bool noGain = forward || glides == Glides::heldEveryLane || glides == Glides::crossingEveryLane
                                    || glides == Glides::unitGains || glides == Glides::rows;
            V y = noGain ? x : x * gain;
            if constexpr (glides == Glides::heldEveryLane)
            {
                const V frac = loadLanes<V> (rows[i + k]) - heldWhole;
                y = (previous - x) * frac + x;
                previous = x;
            }
            else if constexpr (glides == Glides::held)
            {
                const V frac = loadLanes<V> (rows[i + k]) - heldWhole;
                y = linear ? (previous - x) * frac + x : y;
                previous = x;
            }
            else if constexpr (glides == Glides::crossing || glides == Glides::crossingEveryLane)
            {
                const V d = loadLanes<V> (rows[i + k]);
                const IV later = (IV) (d >= higherWhole);
                const V frac = d - (later ? higherWhole : heldWhole);
                const V newerOne = later ? previous : x, olderOne = later ? beforePrevious : previous;
                const V interpolated = (olderOne - newerOne) * frac + newerOne;
                if constexpr (glides == Glides::crossingEveryLane)
                    y = interpolated;
                else
                    y = linear ? interpolated : y;
                beforePrevious = previous;
                previous = x;
            }
            out[k] = second.template apply<secondUnitLow> (first.template apply<firstUnitLow> (y));
        }
        transposeTile (out);
        for (int r = 0; r < W; ++r)
            storeLanes (blocks + runs.blockOffset (r) + i, out[r]);
    }
    a.s = first.s;
    b.s = second.s;
}

template <typename V, Glides glides, bool forward = false, bool picked = false>
[[gnu::always_inline]] inline void splitTiles (const GroupRuns<V, picked>& runs, SplitLanes<V>& a, SplitLanes<V>& b,
                                               bool unitA, bool unitB, int n) noexcept
{
    if (unitA)
        unitB ? splitTiles<V, glides, forward, true, true> (runs, a, b, n)
              : splitTiles<V, glides, forward, true, false> (runs, a, b, n);
    else
        unitB ? splitTiles<V, glides, forward, false, true> (runs, a, b, n)
              : splitTiles<V, glides, forward, false, false> (runs, a, b, n);
}

/** One group, lane r reading line first + laneLine<W, picked> (r), through the splits a and b (their
    states move on). */
template <typename V, bool picked>
[[gnu::always_inline]] inline void readAndSplitGroup (const BankReads& reads, int first, SplitLanes<V>& a,
                                                      SplitLanes<V>& b, bool unitA, bool unitB, int n,
                                                      float rampFactor,
                                                      const float (*rowsRead)[laneCount<V>] = nullptr) noexcept
{
    if (rowsRead != nullptr)
    {
        const GroupRuns<V, picked> runs (rowsRead, reads, first);
        return splitTiles<V, Glides::rows> (runs, a, b, unitA, unitB, n);
    }
    const GroupRuns<V, picked> runs (reads, first, n, rampFactor);
    // Plain branches rather than a generic lambda: a lambda would not be built for the wider unit.
    if (runs.forward)
        splitTiles<V, Glides::none, true> (runs, a, b, unitA, unitB, n);
    else if (runs.anyCrossing && runs.heldLanes + runs.crossingLanes == laneCount<V>)
        splitTiles<V, Glides::crossingEveryLane> (runs, a, b, unitA, unitB, n);
    else if (runs.anyCrossing)
        splitTiles<V, Glides::crossing> (runs, a, b, unitA, unitB, n);
    else if (runs.heldLanes == laneCount<V>)
        splitTiles<V, Glides::heldEveryLane> (runs, a, b, unitA, unitB, n);
    else if (runs.anyLinear)
        splitTiles<V, Glides::held> (runs, a, b, unitA, unitB, n);
    else if (runs.unitGains)
        splitTiles<V, Glides::unitGains> (runs, a, b, unitA, unitB, n);
    else
        splitTiles<V, Glides::none> (runs, a, b, unitA, unitB, n);
}

/** The allpass reads among `count` lines from `first`, into their blocks (the lanes of a mixed
    group then take them as read already). */
inline void readAllpassIntoBlocks (const BankReads& reads, int first, int count, int n, float rampFactor) noexcept
{
    AllpassTapRead allpassReads[8];
    int pending = 0;
    for (int k = first; k < first + count; ++k)
        if (reads.kinds[k] == BankReads::Kind::allpass)
            allpassReads[pending++] = { reads.lines + k, 0, reads.block (k), reads.targetDelays[k] };
    if (pending > 0)
        readAllpassRampedGroup (allpassReads, pending, n, rampFactor);
}

/** How many lines from the first (a multiple of four) come as two of one kind and two of
    another, so that any two groups among them regroup by pickPairs into groups of one kind. */
int pairedKinds (const BankReads& reads, int count) noexcept
{
    if (count < 4)
        return 0;
    const auto low = reads.kinds[0], high = reads.kinds[2];
    if (low == high)
        return 0;
    if (reads.kinds[1] != low || reads.kinds[3] != high)
        return 0;
    // Then every further four as the first: four kinds compared as one word.
    static_assert (sizeof (BankReads::Kind) == 1);
    uint32_t pattern;
    std::memcpy (&pattern, reads.kinds, sizeof pattern);
    int k = 4;
    for (uint32_t four; k + 4 <= count; k += 4)
    {
        std::memcpy (&four, reads.kinds + k, sizeof four);
        if (four != pattern)
            break;
    }
    return k;
}

/** The picked lines of two groups from `line` on (pickPairs), as the split takes them. */
template <typename V>
[[gnu::always_inline]] inline V pickedLanes (const float* values, int line, bool high, float otherwise) noexcept
{
    if (values == nullptr)
        return broadcast<V> (otherwise);
    return pickPairs (loadLanes<V> (values + line), loadLanes<V> (values + line + laneCount<V>), high);
}

template <typename V>
[[gnu::always_inline]] inline SplitLanes<V> pickedSplit (const BandSplit& split, int line, bool high) noexcept
{
    return SplitLanes<V> (split, pickedLanes<V> (split.highGain, line, high, 1.0f),
                          pickedLanes<V> (split.lowGain, line, high, 1.0f),
                          pickedLanes<V> (&split.filters[0].state, line, high, 0.0f));
}

/** The paired lines from `line` up to `paired`, two groups at a time regrouped by kind; with
    withAllpass, the picks `allpassPick` (0 the low ones, 1 the high ones) are allpass reads.
    Those are read first, all of them: their recursions are independent of each other, and run
    side by side better than each just before its splits, which wait on it. Returns the first
    line after the pairs. */
template <typename V, bool withAllpass>
[[gnu::always_inline]] inline int splitPairs (const BankReads& reads, int line, int paired, int allpassPick,
                                               const BandSplit& first, const BandSplit& second, int n,
                                               float rampFactor) noexcept
{
    constexpr int W = laneCount<V>;
    const bool unitA = first.lowGain == nullptr, unitB = second.lowGain == nullptr;
    alignas (32) float allpassRows[withAllpass ? 32 / (2 * W) : 1][DelayLine::maxBlock][W];
    if constexpr (withAllpass)
        for (int p = 0, l = line; l + 2 * W <= paired; ++p, l += 2 * W)
            readAllpassRows<V, true> (reads, l + 2 * allpassPick, n, rampFactor, allpassRows[p]);
    for (int p = 0; line + 2 * W <= paired; line += 2 * W, ++p)
    {
        V statesA[2], statesB[2];
        for (const bool high : { false, true })
        {
            auto a = pickedSplit<V> (first, line, high), b = pickedSplit<V> (second, line, high);
            const int pick = line + (high ? 2 : 0);
            if (withAllpass && allpassPick == (high ? 1 : 0))
                readAndSplitGroup<V, true> (reads, pick, a, b, unitA, unitB, n, rampFactor, allpassRows[p]);
            else
                readAndSplitGroup<V, true> (reads, pick, a, b, unitA, unitB, n, rampFactor);
            statesA[high] = a.s;
            statesB[high] = b.s;
        }
        for (const bool high : { false, true })
        {
            storeLanes (&first.filters[line + (high ? W : 0)].state, pickPairs (statesA[0], statesA[1], high));
            storeLanes (&second.filters[line + (high ? W : 0)].state, pickPairs (statesB[0], statesB[1], high));
        }
    }
    return line;
}

/** The lines from `line` on in groups of laneCount<V>, two groups at a time regrouped by kind
    where they allow it; returns the first line left over. */
template <typename V>
[[gnu::always_inline]] inline int readAndSplitGroups (const BankReads& reads, int line, int count,
                                                      const BandSplit& first, const BandSplit& second, int n,
                                                      float rampFactor) noexcept
{
    constexpr int W = laneCount<V>;
    // At most the pairs a bank can have (32 lines); any lines beyond go as unpaired groups.
    const int paired = line + 2 * W <= count ? std::min (pairedKinds (reads, count), line + 32) : 0;
    // Every four paired lines repeat the kinds of the first four, so the pick of allpass reads,
    // if there is one, is the same in every pair.
    const int allpassPick = paired == 0                                          ? -1
                            : reads.kinds[line] == BankReads::Kind::allpass     ? 0
                            : reads.kinds[line + 2] == BankReads::Kind::allpass ? 1
                                                                                 : -1;
    line = allpassPick >= 0 ? splitPairs<V, true> (reads, line, paired, allpassPick, first, second, n, rampFactor)
                            : splitPairs<V, false> (reads, line, paired, allpassPick, first, second, n, rampFactor);
    const bool unitA = first.lowGain == nullptr, unitB = second.lowGain == nullptr;
    for (; line + W <= count; line += W)
    {
        readAllpassIntoBlocks (reads, line, W, n, rampFactor);
        SplitLanes<V> a (first, line), b (second, line);
        readAndSplitGroup<V, false> (reads, line, a, b, unitA, unitB, n, rampFactor);
        a.store (first, line);
        b.store (second, line);
    }
    return line;
}

[[gnu::noinline]] int readAndSplitBaseline (const BankReads& reads, int count, const BandSplit& first,
                                            const BandSplit& second, int n, float rampFactor) noexcept
{
    return readAndSplitGroups<Lanes> (reads, 0, count, first, second, n, rampFactor);
}

    #if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 int readAndSplitAvx2 (const BankReads& reads, int count, const BandSplit& first, const BandSplit& second,
                                    int n, float rampFactor) noexcept
{
    const int line = readAndSplitGroups<Lanes8> (reads, 0, count, first, second, n, rampFactor);
    return readAndSplitGroups<Lanes> (reads, line, count, first, second, n, rampFactor);
}
    #endif
#endif
} // namespace

void readAndSplitBank (const BankReads& reads, int count, const BandSplit& first, const BandSplit& second, int n,
                       float rampFactor) noexcept
{
    int line = 0;
#if defined(QUORVANE_SHUFFLES)
    if (n % 4 == 0 && n <= DelayLine::maxBlock)
        line = QUORVANE_ON_VECTOR_UNIT (n % 8 == 0, readAndSplit, reads, count, first, second, n, rampFactor);
#endif
    if (line < count)
        readThenSplit (reads.from (line), count - line, fromLine (first, line), fromLine (second, line), n, rampFactor);
}

} // namespace quorvane
