// The per-sample wet/dry mix and the 64-sample block step around the current mode's network.
#include "ReverbEngine.h"

#include "Lanes.h"
#include "VectorUnit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif
#if defined(QUORVANE_HAS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace quorvane
{

namespace
{
// Input beyond this magnitude is no audio signal; it is limited so the network cannot overflow.
constexpr float inputLimit = 1.0e6f;

/** A sample fit to enter the network: non-finite input would poison the tail for good. (x - x is
    0 exactly for finite x and NaN otherwise; written so, the test vectorises.) */
inline float admissible (float x) noexcept
{
    if (x - x == 0.0f)
        return x > inputLimit ? inputLimit : (x < -inputLimit ? -inputLimit : x);
    return 0.0f;
}

/** A block of input fit to enter the network, plus a per-sample offset (offsets[i % 4]): the
    values of admissible (x) + offset, four samples at a time. The limits are a min and a max,
    which give admissible's values for finite input; the rest is masked to 0 as there. */
#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The same eight samples at a time (n a multiple of eight), the offsets repeated in both halves. */
QUORVANE_AVX2 void admitBlockAvx2 (float* t, const float* in, const Lanes& offsets, int n) noexcept
{
    const __m256 upper = _mm256_set1_ps (inputLimit), lower = _mm256_set1_ps (-inputLimit);
    const __m256 offset = _mm256_broadcast_ps (reinterpret_cast<const __m128*> (&offsets));
    for (int i = 0; i < n; i += 8)
    {
        const __m256 x = _mm256_loadu_ps (in + i);
        const __m256 limited = _mm256_max_ps (_mm256_min_ps (x, upper), lower);
        const __m256 finite = _mm256_cmp_ps (_mm256_sub_ps (x, x), _mm256_setzero_ps(), _CMP_EQ_OQ);
        _mm256_storeu_ps (t + i, _mm256_add_ps (_mm256_and_ps (limited, finite), offset));
    }
}
#endif

void admitBlock (float* t, const float* in, const Lanes& offsets, int n) noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n % 8 == 0 && wideVectors())
        return admitBlockAvx2 (t, in, offsets, n);
#endif
#if defined(__SSE2__)
    const Lanes upper = broadcast (inputLimit), lower = broadcast (-inputLimit);
    for (int i = 0; i < n; i += 4)
    {
        const Lanes x = loadLanes (in + i);
        const Lanes limited = _mm_max_ps (_mm_min_ps (x, upper), lower);
        storeLanes (t + i, (Lanes) ((IntLanes) limited & (x - x == 0.0f)) + offsets);
    }
#else
    for (int i = 0; i < n; ++i)
        t[i] = admissible (in[i]) + offsets[i % 4];
#endif
}

/** Zeroes a block of the network's length (64 or 32): whole vectors laid out straight, where a
    library call would cost more than the stores. */
inline void zeroBlock (float* block, int n) noexcept
{
    forEachVector<4> (n, [block] (int i) { storeLanes (block + i, Lanes {}); });
}

/** One channel of a run with settled gains: out = wet.(the wet signal) + dry.x, and the input
    kept for the network (admitted when the block is complete, see conditionInput). A vector at a
    time (four lanes on the baseline, eight in the AVX2 copy) where the output is the input or
    lies apart from it, as hosts pass them: each vector is read before it is written, as each
    sample is. The engine's own block lies apart from both. */
template <typename V>
[[gnu::always_inline]] inline void mixSettledLoop (float* out, float* io, const float* in, float wet, float dry,
                                                   int n) noexcept
{
    constexpr int W = laneCount<V>;
    int i = 0;
    const auto outAt = reinterpret_cast<uintptr_t> (out), inAt = reinterpret_cast<uintptr_t> (in);
    const auto bytes = (uintptr_t) n * sizeof (float);
    if (outAt == inAt || outAt + bytes <= inAt || inAt + bytes <= outAt)
    {
        const V w = broadcast<V> (wet), d = broadcast<V> (dry);
        for (; i + W <= n; i += W)
        {
            const V x = loadLanes<V> (in + i);
            storeLanes (out + i, loadLanes<V> (io + i) * w + d * x);
            storeLanes (io + i, x);
        }
    }
    for (; i < n; ++i)
    {
        const float x = in[i];
        out[i] = io[i] * wet + dry * x;
        io[i] = x;
    }
}

/** Both channels of a short run with settled gains (hosts with tiny buffers), sample by sample. */
[[gnu::always_inline]] inline void mixShort (float* outL, float* outR, float* ioL, float* ioR, const float* inL,
                                             const float* inR, float wet, float dry, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float xL = inL[i];
        const float xR = inR[i];
        outL[i] = ioL[i] * wet + dry * xL;
        outR[i] = ioR[i] * wet + dry * xR;
        ioL[i] = xL;
        ioR[i] = xR;
    }
}

/** The same with the gains of each sample, sample i's wet and dry gains at gains[2 i] and
    gains[2 i + 1]. */
[[gnu::always_inline]] inline void mixGlidingLoop (float* out, float* io, const float* in, const float* gains,
                                                   int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        out[i] = io[i] * gains[2 * i] + gains[2 * i + 1] * x;
        io[i] = x;
    }
}

/** Both channels' memory of one run. */
struct StereoRun
{
    float* out[2];
    float* io[2];
    const float* in[2];
};

// Both channels per call, on the unit chosen (the gains: constants, or one per sample).
void mixSettledBaseline (const StereoRun& r, float wet, float dry, int n) noexcept
{
    for (size_t c = 0; c < 2; ++c)
        mixSettledLoop<Lanes> (r.out[c], r.io[c], r.in[c], wet, dry, n);
}

void mixGlidingBaseline (const StereoRun& r, const float* gains, int n) noexcept
{
    for (size_t c = 0; c < 2; ++c)
        mixGlidingLoop (r.out[c], r.io[c], r.in[c], gains, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void mixSettledAvx2 (const StereoRun& r, float wet, float dry, int n) noexcept
{
    for (size_t c = 0; c < 2; ++c)
        mixSettledLoop<Lanes8> (r.out[c], r.io[c], r.in[c], wet, dry, n);
}

QUORVANE_AVX2 void mixGlidingAvx2 (const StereoRun& r, const float* gains, int n) noexcept
{
    for (size_t c = 0; c < 2; ++c)
        mixGlidingLoop (r.out[c], r.io[c], r.in[c], gains, n);
}
#endif

/** The 50 ms gain glide steps gain + (target - gain) x smoothing. In single precision a step
    rounds to nothing within about 1e-4 of the target, where the glide would stall for good; it
    then lands on the target, so that mix 0 passes the input unchanged. This lands a run that was
    stepped without looking (every `stride`-th value of `run`): a step that rounds to nothing
    repeats itself for good (the gain no longer moves), so whether the run stalled shows in its
    last step alone, and from the first stalled step on the gain is the target. */
void landGlide (float* run, int stride, float from, float target, int n) noexcept
{
    const auto at = [run, stride] (int i) -> float& { return run[i * stride]; };
    if (n < 1 || at (n - 1) != (n > 1 ? at (n - 2) : from))
        return;
    int first = 0;
    float previous = from;
    while (at (first) != previous)
        previous = at (first++);
    for (int i = first; i < n; ++i)
        at (i) = target;
}

/** Both gains' glides over a run, sample i's gains stored as gains[2 i] (wet) and gains[2 i + 1]
    (dry), the last ones left in wet and dry: the two chains advance side by side in the first
    two lanes of one vector, stored as one pair, then land. */
void glideGains (float& wet, float& dry, float wetTo, float dryTo, float smoothing, float* gains, int n) noexcept
{
    const Lanes target { wetTo, dryTo, 0.0f, 0.0f }, step { smoothing, smoothing, 0.0f, 0.0f };
    Lanes pair { wet, dry, 0.0f, 0.0f };
    // A serial chain: unrolling only spares the loop's own bookkeeping.
#pragma GCC unroll 8
    for (int i = 0; i < n; ++i)
    {
        pair = pair + (target - pair) * step;
        std::memcpy (gains + 2 * i, &pair, 2 * sizeof (float));
    }
    landGlide (gains, 2, wet, wetTo, n);
    landGlide (gains + 1, 2, dry, dryTo, n);
    if (n > 0)
    {
        wet = gains[2 * n - 2];
        dry = gains[2 * n - 1];
    }
}
} // namespace

void ReverbEngine::process (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept
{
    // Hosts with tiny buffers: a run that ends inside the current block with settled gains is only
    // the mix, without the machinery of the general path around it (the same operations per sample).
    // One sample per call, the commonest of such hosts, is tested first: it adds the dry sample to
    // a wet one scaled when the run before it ended (the same product the general path forms).
    if (n == 1 && blockPosition < oneSampleEnd)
        return mixOneSample (*outL, *outR, *inL, *inR);
    processLonger (outL, outR, inL, inR, n);
}

inline void ReverbEngine::mixOneSample (float& outL, float& outR, float inL, float inR) noexcept
{
    // The wet samples were scaled when the block was made; both outputs are formed before either
    // is stored, as an output may be any memory.
    const int i = blockPosition++;
    const float dry = dryGain;
    ioBlock[0][i] = inL;
    ioBlock[1][i] = inR;
    const float yL = wetBlock[0][i] + dry * inL, yR = wetBlock[1][i] + dry * inR;
    outL = yL;
    outR = yR;
}

void ReverbEngine::forgetShortRuns() noexcept
{
    shortRunEnd = -1;
    oneSampleEnd = -1;
}

void ReverbEngine::prepareOneSampleRuns() noexcept
{
    for (size_t c = 0; c < 2; ++c)
        scaleBlock (wetBlock[c].get(), ioBlock[c].get(), wetGain, blockSize);
    oneSampleEnd = blockSize - 1;
}

void ReverbEngine::processLonger (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept
{
    // The last sample of a block from a host that sends single samples: its mix and the next
    // block, without the general path's machinery.
    if (n == 1 && blockPosition == oneSampleEnd)
    {
        mixOneSample (*outL, *outR, *inL, *inR);
        blockPosition = 0;
        blockStep();
        prepareOneSampleRuns();
        return;
    }
    if ((unsigned) (n - 2) < 14u && blockPosition + n <= shortRunEnd)
    {
        float* ioL = ioBlock[0].get() + blockPosition;
        float* ioR = ioBlock[1].get() + blockPosition;
        blockPosition += n;
        mixShort (outL, outR, ioL, ioR, inL, inR, wetGain, dryGain, n);
        return;
    }
    processRuns (outL, outR, inL, inR, n);
}

void ReverbEngine::processRuns (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept
{
    if (startAtRest && n > 0)
        settleForStart();
    // The host block is cut at the network's block boundaries; each piece is mixed in one run.
    int done = 0;
    while (done < n)
    {
        const int run = std::min (n - done, blockSize - blockPosition);
        mixRun (outL + done, outR + done, inL + done, inR + done, run);
        done += run;
        blockPosition += run;
        if (blockPosition == blockSize)
        {
            blockPosition = 0;
            blockStep();
        }
    }
    forgetShortRuns();
    if (wetGain == wetTarget && dryGain == dryTarget && ! startAtRest)
    {
        shortRunEnd = blockSize - 1;
        // A host that sends single samples: the rest of the block's wet samples are scaled once,
        // so each of those calls mixes only the dry sample in.
        if (n == 1)
            prepareOneSampleRuns();
    }
}

inline void ReverbEngine::mixRun (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept
{
    // Gains in locals: the output stores could otherwise be taken to change them.
    float* ioL = ioBlock[0].get() + blockPosition;
    float* ioR = ioBlock[1].get() + blockPosition;
    const StereoRun run { { outL, outR }, { ioL, ioR }, { inL, inR } };
    float wet = wetGain, dry = dryGain;
    const float wetTo = wetTarget, dryTo = dryTarget, smoothing = gainSmoothing;
    if (wet == wetTo && dry == dryTo)
    {
        // Settled gains: a glide step leaves them as they are, so the run mixes with constants,
        // vectorised unless the run is short (hosts with tiny buffers).
        if (n >= 16)
            return (void) QUORVANE_ON_VECTOR_UNIT (true, mixSettled, run, wet, dry, n);
        mixShort (outL, outR, ioL, ioR, inL, inR, wet, dry, n);
        return;
    }
    // Gliding: the two glides are serial chains, so they run first, alone; the mix then runs over
    // the run with the gains of each sample.
    alignas (16) float gains[2 * blockSize];
    glideGains (wet, dry, wetTo, dryTo, smoothing, gains, n);
    wetGain = wet;
    dryGain = dry;
    QUORVANE_ON_VECTOR_UNIT (true, mixGliding, run, gains, n);
}

void ReverbEngine::blockStep() noexcept
{
    conditionInput();
    const int n = (int) controlBlockLength;
    for (size_t c = 0; c < 2; ++c)
    {
        zeroBlock (earlyOutBlock[c].get(), n);
        zeroBlock (lateSumBlock[c].get(), n);
    }
    writeBlock (predelayLines[0], tempBlock[0].get(), n);
    writeBlock (predelayLines[1], tempBlock[1].get(), n);

    routines->processNetwork (*this);

    outputStage();
    // Every line moves on, used by this mode or not: an idle line holds only silence, and all reads
    // are relative to the write index, so this costs nothing in sound and spares each mode the list.
    // Loops of a fixed count, laid out straight: each line is then a load, a subtraction, a mask
    // and a store.
#pragma GCC unroll 2
    for (auto& line : predelayLines)
        advance (line, n);
#pragma GCC unroll 16
    for (auto& line : earlyLines)
        advance (line, n);
#pragma GCC unroll 32
    for (auto& line : lateLines)
        advance (line, n);
}

void ReverbEngine::conditionInput() noexcept
{
    if (! isHalfRate())
    {
        // A tiny offset on every second sample keeps the feedback network out of denormals; the
        // others add -0, which leaves every value as it is (-0 included).
        const Lanes offsets { 1e-20f, -0.0f, 1e-20f, -0.0f };
        for (size_t c = 0; c < 2; ++c)
            admitBlock (tempBlock[c].get(), ioBlock[c].get(), offsets, blockSize);
        processPair (inputSplitFilters[0], inputSplitFilters[1], blockSize, tempBlock[0].get(), tempBlock[1].get());
        return;
    }

    for (size_t c = 0; c < 2; ++c)
    {
        const float offset = denormalOffsets[c];
        admitBlock (tempBlock[c].get(), ioBlock[c].get(), broadcast (offset), blockSize);
        denormalOffsets[c] = -offset;
    }
    decimateStereo (decimators[0], decimators[1], tempBlock[0].get(), tempBlock[1].get(), tempBlock[2].get(),
                    tempBlock[3].get());
    processPair (inputSplitFilters[0], inputSplitFilters[1], 32, tempBlock[2].get(), tempBlock[3].get(),
                 tempBlock[0].get(), tempBlock[1].get());
}

void ReverbEngine::outputStage() noexcept
{
    if (! isHalfRate())
    {
        highCut();
        processPair (outputSplitFilters[0], outputSplitFilters[1], blockSize, ioBlock[0].get(), ioBlock[1].get());
        return;
    }

    alignas (16) float network[2][32];
    processPair (outputSplitFilters[0], outputSplitFilters[1], 32, ioBlock[0].get(), ioBlock[1].get(), network[0],
                 network[1]);
    interpolateStereo (interpolators[0], interpolators[1], network[0], network[1], ioBlock[0].get(), ioBlock[1].get());
    highCut();
}

void ReverbEngine::highCut() noexcept
{
    float* l = ioBlock[0].get();
    float* r = ioBlock[1].get();
    switch (highCutStage)
    {
        case HighCutStage::shelf: processPair (highCutShelves[0], highCutShelves[1], blockSize, l, r); break;
        case HighCutStage::smoothedBiquad:
            processPair64 (highCutFilters[0], highCutFilters[1], l, r, true, highCutSmoothing);
            break;
        case HighCutStage::biquad: processPair64 (highCutFilters[0], highCutFilters[1], l, r, false, 0.0f); break;
    }
}

} // namespace quorvane
