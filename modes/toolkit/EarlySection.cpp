#include "EarlySection.h"

#include "engine/Lanes.h"
#include "engine/LineGathers.h"
#include "engine/ReverbEngine.h"
#include "engine/VectorUnit.h"

#include <algorithm>
#include <cmath>

namespace quorvane::kit
{

namespace
{
constexpr int stages = 7;

/** A diffuser stage's rotations: each channel's, then the cross between them (the same
    operations per element as the three rotations one after another). */
template <typename V>
struct StageRotations
{
    RotationLanes<V> left, right, cross;

    [[gnu::always_inline]] StageRotations (const CrossMixer& l, const CrossMixer& r, const CrossMixer& c)
        : left (l), right (r), cross (c)
    {
    }

    /** Rotates the stage's a (x) and b (y) of both channels in place. */
    [[gnu::always_inline]] void operator() (V& xL, V& yL, V& xR, V& yR) const noexcept
    {
        left (xL, yL);
        right (xR, yR);
        cross (xL, xR);
    }

    /** Rotates sample i on of the stage's a (x) and b (y) of both channels into the blocks. */
    [[gnu::always_inline]] void operator() (V xL, V yL, V xR, V yR, float* aL, float* bL, float* aR, float* bR,
                                            int i) const noexcept
    {
        (*this) (xL, yL, xR, yR);
        storeLanes (aL + i, xL);
        storeLanes (bL + i, yL);
        storeLanes (aR + i, xR);
        storeLanes (bR + i, yR);
    }
};

/** One diffuser stage after its reads, in one pass. */
template <typename V>
[[gnu::always_inline]] inline void diffuseLanes (const CrossMixer& left, const CrossMixer& right,
                                                 const CrossMixer& cross, float* aL, float* bL, float* aR, float* bR,
                                                 int n) noexcept
{
    const StageRotations<V> rotate (left, right, cross);
    forEachVector<laneCount<V>> (n, [&] (int i) {
        rotate (loadLanes<V> (aL + i), loadLanes<V> (bL + i), loadLanes<V> (aR + i), loadLanes<V> (bR + i), aL, bL, aR,
                bR, i);
    });
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void diffuseAvx2 (const CrossMixer& left, const CrossMixer& right, const CrossMixer& cross, float* aL,
                                float* bL, float* aR, float* bR, int n) noexcept
{
    diffuseLanes<Lanes8> (left, right, cross, aL, bL, aR, bR, n);
}
#endif

void diffuse (const CrossMixer& left, const CrossMixer& right, const CrossMixer& cross, float* aL, float* bL,
              float* aR, float* bR, int n) noexcept
{
    if (n % 4 != 0)
    {
        left.rotate (aL, bL, n);
        right.rotate (aR, bR, n);
        cross.rotate (aL, aR, n);
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n % 8 == 0 && wideVectors())
        return diffuseAvx2 (left, right, cross, aL, bL, aR, bR, n);
#endif
    diffuseLanes<Lanes> (left, right, cross, aL, bL, aR, bR, n);
}

/** Where a stage's tap run starts when the stage can write its block and read its tap in one
    pass: neither the block nor the tap wraps. Sample i of the tap is sample i - offset of the
    block or older, so once each vector is written before its tap is read, every read finds what
    it would after the whole block's write (a tap shorter than the block included); nullptr
    otherwise. */
const float* tapRunOf (const DelayLine& line, int offset, int n) noexcept
{
    const int32_t w = line.writeIndex;
    const int held = std::min (offset, line.size - n); // as readTap holds a tap longer than the line
    if (w < n - 1 || held < 0)
        return nullptr;
    const int32_t start = (w + held) & line.mask;
    return start >= n - 1 ? line.buffer + start : nullptr;
}

/** What happens around the stages: before the first, the two rotations that pair the taps of
    each channel; after the last, the early output (b times the early level) and the feed (a and
    b times the send gain, plus the direct signal of their channel). */
struct StageEdges
{
    const CrossMixer& entryLeft;
    const CrossMixer& entryRight;
    float level, send;
    const float* directL;
    const float* directR;
    float* outL;
    float* outR;

    /** The entry rotations over whole blocks, where the first stage cannot take them in its pass. */
    void enter (float* aL, float* bL, float* aR, float* bR, int n) const noexcept
    {
        entryLeft.rotate (aL, bL, n);
        entryRight.rotate (aR, bR, n);
    }

    /** The exit over whole blocks, where the last stage cannot take it in its pass. */
    void leave (float* aL, float* bL, float* aR, float* bR, int n) const noexcept
    {
        scaleBlock (outL, bL, level, n);
        scaleBlock (outR, bR, level, n);
        scaleAddBlock (aL, aL, send, directL, n);
        scaleAddBlock (bL, bL, send, directL, n);
        scaleAddBlock (aR, aR, send, directR, n);
        scaleAddBlock (bR, bR, send, directR, n);
    }
};

enum class StageEdge
{
    none,
    entry,
    exit
};

/** One stage's pass where neither run wraps: the block written into both lines (which hold time
    reversed), the taps read back and the rotations, a vector at a time; the first stage takes
    the entry rotations on the way in, the last the exit on the way out, with the same operations
    per element as the whole-block passes. */
template <typename V>
struct StagePass
{
    float* runL;
    float* runR;
    const float* tapL;
    const float* tapR;

    /** N samples, or n for N = 0. A plain loop: a lambda's body would not be built for the wider
        unit if left out of line. */
    template <int N, StageEdge edge>
    [[gnu::always_inline]] void run (const StageRotations<V>& rotate, const StageEdges& edges, float* aL, float* bL,
                                     float* aR, float* bR, int n) const noexcept
    {
        constexpr int W = laneCount<V>;
        const int count = N > 0 ? N : n;
        const RotationLanes<V> entryLeft (edges.entryLeft), entryRight (edges.entryRight);
        const V level = broadcast<V> (edges.level), send = broadcast<V> (edges.send);
    #pragma GCC unroll 8
        for (int i = 0; i < count; i += W)
        {
            V inL = loadLanes<V> (aL + i), yL = loadLanes<V> (bL + i);
            V inR = loadLanes<V> (aR + i), yR = loadLanes<V> (bR + i);
            if constexpr (edge == StageEdge::entry)
            {
                entryLeft (inL, yL);
                entryRight (inR, yR);
            }
            storeLanes (runL - i - (W - 1), reversed (inL));
            storeLanes (runR - i - (W - 1), reversed (inR));
            // The taps' unit gain leaves each sample as it is.
            V xL = reversed (loadLanes<V> (tapL - i - (W - 1))), xR = reversed (loadLanes<V> (tapR - i - (W - 1)));
            rotate (xL, yL, xR, yR);
            if constexpr (edge == StageEdge::exit)
            {
                storeLanes (edges.outL + i, yL * level);
                storeLanes (edges.outR + i, yR * level);
                const V directL = loadLanes<V> (edges.directL + i), directR = loadLanes<V> (edges.directR + i);
                xL = xL * send + directL;
                yL = yL * send + directL;
                xR = xR * send + directR;
                yR = yR * send + directR;
            }
            storeLanes (aL + i, xL);
            storeLanes (bL + i, yL);
            storeLanes (aR + i, xR);
            storeLanes (bR + i, yR);
        }
    }

    template <StageEdge edge>
    [[gnu::always_inline]] void run (const StageRotations<V>& rotate, const StageEdges& edges, float* aL, float* bL,
                                     float* aR, float* bR, int n) const noexcept
    {
        // The engine's two block lengths as loops of a fixed count.
        if (n == 64)
            run<64, edge> (rotate, edges, aL, bL, aR, bR, n);
        else if (n == 32)
            run<32, edge> (rotate, edges, aL, bL, aR, bR, n);
        else
            run<0, edge> (rotate, edges, aL, bL, aR, bR, n);
    }
};

/** Where the stages' passes write and read, by early line (stage s: lines s and s + 8): each
    line's write position, and its tap run (tapRunOf), nullptr where that stage cannot take its
    pass. Neither changes while the stages run: they write their lines but move none. */
struct StageRuns
{
    float* write[16];
    const float* tap[16];
};

StageRuns stageRunsOf (ReverbEngine& e, int n, bool wholeVectors) noexcept
{
    StageRuns runs;
    for (size_t k = 0; k < 16; ++k)
    {
        auto& line = e.earlyLines[k];
        runs.write[k] = line.buffer + line.writeIndex;
        runs.tap[k] = wholeVectors ? tapRunOf (line, e.modeState.earlyFloor[k], n) : nullptr;
    }
    return runs;
}

/** The early diffuser's stages between their edges: each writes a into its lines, reads a back
    from their taps (unit gain) and rotates; in one pass per stage where its runs allow, as those
    three steps otherwise. The samples are the same either way. */
template <typename V>
[[gnu::always_inline]] inline void runStages (ReverbEngine& e, const StageRuns& runs, const StageEdges& edges,
                                              float* aL, float* bL, float* aR, float* bR, int n) noexcept
{
    const auto& ms = e.modeState;
    for (size_t stage = 0; stage < stages; ++stage)
    {
        const bool first = stage == 0, last = stage + 1 == stages;
        auto& lineL = e.earlyLines[stage];
        auto& lineR = e.earlyLines[stage + 8];
        const CrossMixer &left = e.diffusionMixers[2 * stage], &right = e.diffusionMixers[2 * stage + 1];
        const CrossMixer& cross = e.earlyCrossMixers[stage];
        const float* tapL = runs.tap[stage];
        const float* tapR = runs.tap[stage + 8];
        if (tapL == nullptr || tapR == nullptr)
        {
            if (first)
                edges.enter (aL, bL, aR, bR, n);
            writeBlock (lineL, aL, n);
            writeBlock (lineR, aR, n);
            readTap (lineL, aL, n, ms.earlyFloor[stage], 1.0f);
            readTap (lineR, aR, n, ms.earlyFloor[stage + 8], 1.0f);
            diffuse (left, right, cross, aL, bL, aR, bR, n);
            if (last)
                edges.leave (aL, bL, aR, bR, n);
            continue;
        }
        lineL.written = lineR.written = true;
        const StageRotations<V> rotate (left, right, cross);
        const StagePass<V> pass { runs.write[stage], runs.write[stage + 8], tapL, tapR };
        if (first)
            pass.template run<StageEdge::entry> (rotate, edges, aL, bL, aR, bR, n);
        else if (last)
            pass.template run<StageEdge::exit> (rotate, edges, aL, bL, aR, bR, n);
        else
            pass.template run<StageEdge::none> (rotate, edges, aL, bL, aR, bR, n);
    }
}

[[gnu::noinline]] void runStagesBaseline (ReverbEngine& e, const StageEdges& edges, float* aL, float* bL, float* aR,
                                          float* bR, int n) noexcept
{
    runStages<Lanes> (e, stageRunsOf (e, n, n % 4 == 0), edges, aL, bL, aR, bR, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The write positions and tap runs of lines k[4h] .. k[4h + 3] (a tap run nullptr where the lane
    does not fit). */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline void storeRuns (const DelayLine& line0, __m256i k, __m256i w, __m256i start,
                                                            __m256i fits, float** write, const float** tap) noexcept
{
    using namespace gathers;
    const __m256i buffers = buffersOfLanes<h> (line0, k);
    _mm256_storeu_si256 (reinterpret_cast<__m256i*> (write + 4 * h), runsAt (buffers, halfOf<h> (w)));
    _mm256_storeu_si256 (reinterpret_cast<__m256i*> (tap + 4 * h),
                         _mm256_and_si256 (runsAt (buffers, halfOf<h> (start)), wideMask<h> (fits)));
}

/** stageRunsOf for blocks of whole vectors, eight lines at a time: the lines' fields gathered. */
QUORVANE_AVX2 StageRuns stageRunsAvx2 (ReverbEngine& e, int n) noexcept
{
    StageRuns runs;
    const DelayLine& line0 = e.earlyLines[0];
    static_assert (sizeof (e.earlyLines) == 16 * sizeof (DelayLine)
                   && sizeof (e.modeState.earlyFloor) == 16 * sizeof (int32_t));
    for (int first = 0; first < 16; first += 8)
    {
        const __m256i k = _mm256_add_epi32 (_mm256_set1_epi32 (first), _mm256_setr_epi32 (0, 1, 2, 3, 4, 5, 6, 7));
        const __m256i w = gathers::lineField (&line0.writeIndex, k), mask = gathers::lineField (&line0.mask, k);
        const __m256i size = gathers::lineField (&line0.size, k);
        const int32_t* floors = e.modeState.earlyFloor.data() + first;
        const __m256i offset = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (floors));
        // As tapRunOf: the block from w down lies without a wrap, the held offset is not negative,
        // and the tap's run lies without a wrap.
        const __m256i held = _mm256_min_epi32 (offset, _mm256_sub_epi32 (size, _mm256_set1_epi32 (n)));
        const __m256i start = _mm256_and_si256 (_mm256_add_epi32 (w, held), mask);
        const __m256i beyond = _mm256_set1_epi32 (n - 2);
        const __m256i fits = _mm256_and_si256 (
            _mm256_and_si256 (_mm256_cmpgt_epi32 (w, beyond), _mm256_cmpgt_epi32 (start, beyond)),
            _mm256_cmpgt_epi32 (held, _mm256_set1_epi32 (-1)));
        storeRuns<0> (line0, k, w, start, fits, runs.write + first, runs.tap + first);
        storeRuns<1> (line0, k, w, start, fits, runs.write + first, runs.tap + first);
    }
    return runs;
}

QUORVANE_AVX2 void runStagesAvx2 (ReverbEngine& e, const StageEdges& edges, float* aL, float* bL, float* aR, float* bR,
                                  int n) noexcept
{
    runStages<Lanes8> (e, stageRunsAvx2 (e, n), edges, aL, bL, aR, bR, n);
}
#endif
} // namespace

EarlyFeed runEarlySectionDeferred (ReverbEngine& e, const EarlyModulation& modulation, int n)
{
    const auto& ms = e.modeState;
    float* aL = e.tapBlock[0].get();
    float* aR = e.tapBlock[1].get();
    float* bL = e.tapBlock[2].get();
    float* bR = e.tapBlock[3].get();
    const float pd = e.predelaySamples;
    const float ramp = 1.0f / (float) n;

    const AllpassTapRead taps[4] = { { &e.predelayLines[0], 0, aL, pd + modulation.tap[0] },
                                     { &e.predelayLines[0], 1, bL, ms.earlyLength[7] + pd + modulation.tap[1] },
                                     { &e.predelayLines[1], 0, aR, pd + modulation.tap[2] },
                                     { &e.predelayLines[1], 1, bR, ms.earlyLength[15] + pd + modulation.tap[3] } };
    readAllpassRampedGroup (taps, 4, n, ramp);

    float* directL = e.tempBlock[0].get();
    float* directR = e.tempBlock[1].get();
    readTap (e.predelayLines[0], directL, n, (int) std::trunc (pd), e.directSendGain);
    readTap (e.predelayLines[1], directR, n, (int) std::trunc (pd), e.directSendGain);

    // The taps of each channel paired by a rotation, the stages, then the early output and the
    // feed of the late lines.
    const StageEdges edges { e.diffusionMixers[14], e.diffusionMixers[15], e.earlyLevel, e.earlySendGain,
                             directL, directR, e.earlyOutBlock[0].get(), e.earlyOutBlock[1].get() };
    QUORVANE_ON_VECTOR_UNIT (n % 8 == 0, runStages, e, edges, aL, bL, aR, bR, n);

    return { { bL, bR, aL, aR } };
}

void runEarlySection (ReverbEngine& e, const EarlyModulation& modulation, int lineCount, int n)
{
    const auto feed = runEarlySectionDeferred (e, modulation, n);
    for (size_t k = 0; k < (size_t) lineCount; ++k)
        addBlock (e.lineBlock[k].get(), feed.block[k % 4], n);
}

} // namespace quorvane::kit
