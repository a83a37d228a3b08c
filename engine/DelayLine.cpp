// Delay memory and its reads and writes: whole-block stores, tap reads, and reads that glide
// between delays with linear or allpass interpolation, singly or in groups whose work shares vectors.
#include "DelayLine.h"

#include "LineGathers.h"
#include "Lanes.h"
#include "VectorUnit.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <type_traits>

#if defined(QUORVANE_HAS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace quorvane
{

namespace
{
/** Integers beside V. */
template <typename V>
using IntLanesFor = std::conditional_t<laneCount<V> == 4, IntLanes, IntLanes8>;

/** (1 - k/256) / (1 + k/256) for a fraction index k = trunc(frac x 256), capped at 0.99 so the
    interpolator's pole stays clear of the unit circle. Computed where it is used rather than
    looked up, so a block's coefficients are computed in lanes. */
inline float coefficientFor (int32_t k) noexcept
{
    const float f = (float) (k & 255) / 256.0f;
    const float c = (1.0f - f) / (1.0f + f);
    return c >= 0.99f ? 0.99f : c;
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** coefficientFor of every fraction index, for the wider unit's gathers: a lookup there takes
    one instruction where the quotient takes five. */
struct CoefficientTable
{
    alignas (64) float value[256];
};
const CoefficientTable coefficientTable = [] {
    CoefficientTable t {};
    for (int k = 0; k < 256; ++k)
        t.value[k] = coefficientFor (k);
    return t;
}();
#endif

int powerOfTwoFor (int length)
{
    // Logarithms in single precision, as the line sizes have always been computed.
    const float exponent = std::ceil (std::log ((float) length) / std::log (2.0f));
    return (int) std::pow (2.0f, exponent);
}

/** A line that starts empty at newSize in `memory` (zeroed). */
void startAt (DelayLine& line, float* memory, int newSize)
{
    line.buffer = memory;
    line.written = false;
    line.size = newSize;
    line.mask = newSize - 1;
    line.writeIndex = 0;
    line.tapState.fill (0.0f);
}

float* zeroedFloats (size_t count)
{
    auto* memory = static_cast<float*> (std::calloc (count, sizeof (float)));
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void reallocate (DelayLine& line, int newSize)
{
    // The old memory goes first, so a resize never holds both sizes at once.
    line.ownMemory.reset();
    line.buffer = nullptr;
    line.ownMemory.reset (zeroedFloats ((size_t) newSize));
    startAt (line, line.ownMemory.get(), newSize);
}

/** Integer part (toward zero) and fraction of a vector of delays; the conversion truncates exactly
    like trunc for every delay a line can hold, and unlike trunc it vectorises on the x86-64 baseline. */
template <typename V>
[[gnu::always_inline]] inline void splitLanes (V d, float* frac, int32_t* whole) noexcept
{
    const IntLanesFor<V> w = __builtin_convertvector (d, IntLanesFor<V>);
    storeIntLanes (whole, w);
    storeLanes (frac, d - __builtin_convertvector (w, V));
}

/** The same for single delays. */
[[gnu::always_inline]] inline void splitOne (float d, float* frac, int32_t* whole) noexcept
{
    const int32_t w = (int32_t) d;
    *whole = w;
    *frac = d - (float) w;
}

/** The same for a block of delays. */
template <typename V>
[[gnu::always_inline]] inline void splitDelays (const float* delays, float* frac, int32_t* whole, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const int vectors = n - n % W;
    forEachVector<W> (vectors, [&] (int i) { splitLanes (loadLanes<V> (delays + i), frac + i, whole + i); });
    for (int i = vectors; i < n; ++i)
        splitOne (delays[i], frac + i, whole + i);
}

/** The delays of a read gliding from `start` to `target`, split into fraction and whole samples.
    The delays are repeated additions of one step (a serial chain, so the last lands on the
    target); each vector's worth is split as soon as it is complete. */
template <typename V = Lanes>
[[gnu::always_inline]] inline void glide (float start, float target, int n, float rampFactor, float* frac,
                                          int32_t* whole) noexcept
{
    constexpr int W = laneCount<V>;
    const float step = (target - start) * rampFactor;
    float d = start;
    const int vectors = n - n % W;
    forEachVector<W> (vectors, [&] (int i) {
        alignas (32) float run[W];
        for (int k = 0; k < W; ++k)
        {
            d = d + step;
            run[k] = d;
        }
        splitLanes (loadLanes<V> (run), frac + i, whole + i);
    });
    for (int i = vectors; i < n; ++i)
    {
        d = d + step;
        splitOne (d, frac + i, whole + i);
    }
}

/** coefficientFor of each lane's fraction, with the same operations. */
template <typename V>
[[gnu::always_inline]] inline V coefficientLanes (V frac) noexcept
{
    using IV = IntLanesFor<V>;
    const V steps = broadcast<V> (256.0f), one = broadcast<V> (1.0f), cap = broadcast<V> (0.99f);
    const IV k = __builtin_convertvector (frac * steps, IV) & 255;
    // A division by 256 and a product with 1/256 round the same exact value: the product is the
    // cheaper (the broadcast hides the constant, so the compiler would keep the division).
    const V f = __builtin_convertvector (k, V) * broadcast<V> (0.00390625f);
    const V c = (one - f) / (one + f);
    // The cap as a minimum: for every c it gives what c >= cap ? cap : c gives, in one instruction.
    return c < cap ? c : cap;
}

/** coefficientLanes (d - w) from the delay d itself (w its whole part), for |d| below 2^22: the
    same coefficients with three operations fewer. d 256 and w 256 are exact, so the 256ths of the
    fraction, truncated, are those of d less 256 w, which the mask drops (for d of either sign);
    and 1 - k/256 and 1 + k/256 are exactly (256 - k)/256 and (256 + k)/256, so their quotient is
    the real number (256 - k)/(256 + k), rounded once either way. */
template <typename V>
[[gnu::always_inline]] inline V coefficientFromDelayLanes (V delays) noexcept
{
    using IV = IntLanesFor<V>;
    const V steps = broadcast<V> (256.0f), cap = broadcast<V> (0.99f);
    const V k = __builtin_convertvector (__builtin_convertvector (delays * steps, IV) & 255, V);
    const V c = (steps - k) / (steps + k);
    return c < cap ? c : cap;
}

/** heldRun for a block of whole delays. */
[[gnu::always_inline]] inline int32_t contiguousRun (const DelayLine& line, const int32_t* whole, int n) noexcept
{
    return n < 1 ? -1 : heldRun (line, whole[0], whole[n - 1], n);
}

/** The buffer index (of the newer neighbour) of every sample of a glide. */
[[gnu::always_inline]] inline void gatherIndices (const DelayLine& line, const int32_t* whole, int32_t* index,
                                                  int n) noexcept
{
    const int32_t w = line.writeIndex;
    for (int i = 0; i < n; ++i)
        index[i] = (whole[i] + w - i) & line.mask;
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The neighbours of a glide that moves across several samples, eight at a time with the unit's
    gather loads: the same masked indices as gatherIndices, the same samples read. Sample i's
    newer and older neighbours go to a[i] and b[i], or with reversedOutput to a[n - 1 - i] and
    b[n - 1 - i], reversed as the line holds them. n a multiple of eight. Out of line: only
    functions built for the unit may hold its instructions. */
template <bool reversedOutput>
[[gnu::noinline]] QUORVANE_AVX2 void gatherNeighboursAvx2 (const DelayLine& line, const int32_t* whole, float* a,
                                                           float* b, int n) noexcept
{
    const float* buf = line.buffer;
    const __m256i mask = _mm256_set1_epi32 (line.mask);
    const __m256i one = _mm256_set1_epi32 (1);
    const __m256i backwards = _mm256_setr_epi32 (7, 6, 5, 4, 3, 2, 1, 0);
    // (whole[i] + writeIndex - i) & mask, with i = first + lane.
    __m256i offset = _mm256_sub_epi32 (_mm256_set1_epi32 (line.writeIndex), _mm256_setr_epi32 (0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i eight = _mm256_set1_epi32 (8);
    for (int i = 0; i < n; i += 8)
    {
        const __m256i w = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (whole + i));
        const __m256i newer = _mm256_and_si256 (_mm256_add_epi32 (w, offset), mask);
        const __m256i older = _mm256_and_si256 (_mm256_add_epi32 (newer, one), mask);
        const __m256 x = _mm256_i32gather_ps (buf, newer, 4), y = _mm256_i32gather_ps (buf, older, 4);
        if constexpr (reversedOutput)
        {
            _mm256_storeu_ps (a + n - 8 - i, _mm256_permutevar8x32_ps (x, backwards));
            _mm256_storeu_ps (b + n - 8 - i, _mm256_permutevar8x32_ps (y, backwards));
        }
        else
        {
            _mm256_storeu_ps (a + i, x);
            _mm256_storeu_ps (b + i, y);
        }
        offset = _mm256_sub_epi32 (offset, eight);
    }
}

/** The lines and outputs of lanes, as arrays. */
struct ColumnReads
{
    const DelayLine* const* lines;
    float* const* outputs;
};
inline const DelayLine& lineOf (ColumnReads c, int r) noexcept { return *c.lines[r]; }
inline float* outputOf (ColumnReads c, int r) noexcept { return c.outputs[r]; }
inline const DelayLine& lineOf (const LinearTapRead* reads, int r) noexcept { return *reads[r].line; }
inline float* outputOf (const LinearTapRead* reads, int r) noexcept { return reads[r].output; }

/** The linear reads of some lanes of eight glides side by side (rows[i][r] the delay of sample i
    of lane r), as readLinearRamped does them after its glide (with quantisedFraction as
    readQuantisedRamped does), each sample's neighbours gathered: for every lane r set in `lanes`,
    from its line into its output (lineOf and outputOf of `reads`), sample i to output[i], or with
    reversedOutput to output[n - 1 - i]. All the lanes in one call, so that the constants are set
    up once. In intrinsics only: the lane helpers are not marked for the unit, and some compilers
    refuse eight-lane vectors passed across that boundary. */
template <bool reversedOutput, bool quantisedFraction = false, typename Reads>
[[gnu::noinline]] QUORVANE_AVX2 void interpolateColumns (Reads reads, const float (*rows)[8], unsigned lanes,
                                                        int n) noexcept
{
    const __m256i one = _mm256_set1_epi32 (1), eight = _mm256_set1_epi32 (8);
    // Sample i + k's delay lies 8 k floats after sample i's. Reversed, the lanes run from sample
    // i + 7 down to i, so that every vector is stored as it comes.
    const __m256i along = reversedOutput ? _mm256_setr_epi32 (56, 48, 40, 32, 24, 16, 8, 0)
                                         : _mm256_setr_epi32 (0, 8, 16, 24, 32, 40, 48, 56);
    const __m256i before = reversedOutput ? _mm256_setr_epi32 (7, 6, 5, 4, 3, 2, 1, 0)
                                          : _mm256_setr_epi32 (0, 1, 2, 3, 4, 5, 6, 7);
    for (; lanes != 0; lanes &= lanes - 1)
    {
        const int r = __builtin_ctz (lanes);
        const DelayLine& line = lineOf (reads, r);
        const float* buf = line.buffer;
        const __m256i mask = _mm256_set1_epi32 (line.mask);
        // (whole + writeIndex - i) & mask for sample i.
        __m256i offset = _mm256_sub_epi32 (_mm256_set1_epi32 (line.writeIndex), before);
        const float* delays = &rows[0][r];
        float* out = outputOf (reads, r) + (reversedOutput ? n - 8 : 0);
        for (int i = 0; i < n; i += 8)
        {
            const __m256 d = _mm256_i32gather_ps (delays, along, 4);
            const __m256i w = _mm256_cvttps_epi32 (d);
            __m256 frac = _mm256_sub_ps (d, _mm256_cvtepi32_ps (w));
            if constexpr (quantisedFraction)
                frac = _mm256_mul_ps (
                    _mm256_cvtepi32_ps (_mm256_cvttps_epi32 (_mm256_mul_ps (frac, _mm256_set1_ps (32.0f)))),
                    _mm256_set1_ps (0.03125f));
            const __m256i newer = _mm256_and_si256 (_mm256_add_epi32 (w, offset), mask);
            const __m256i older = _mm256_and_si256 (_mm256_add_epi32 (newer, one), mask);
            const __m256 a = _mm256_i32gather_ps (buf, newer, 4), b = _mm256_i32gather_ps (buf, older, 4);
            _mm256_storeu_ps (out, _mm256_add_ps (_mm256_mul_ps (_mm256_sub_ps (b, a), frac), a));
            offset = _mm256_sub_epi32 (offset, eight);
            delays += 64;
            out += reversedOutput ? -8 : 8;
        }
    }
}

} // namespace

QUORVANE_AVX2 void interpolateLinearColumnsReversedAvx2 (const DelayLine* const* lines, const float (*rows)[8],
                                                         unsigned lanes, float* const* outputs, int n) noexcept
{
    interpolateColumns<true> (ColumnReads { lines, outputs }, rows, lanes, n);
}

namespace
{
#endif

/** The newer (a) and older (b) neighbour of every glide position. */
template <typename V>
[[gnu::always_inline]] inline void neighbours (const DelayLine& line, const int32_t* whole, float* a, float* b,
                                               int n) noexcept
{
    constexpr int W = laneCount<V>;
    if (n < 1)
        return;
    const float* buf = line.buffer;
    const int32_t first = contiguousRun (line, whole, n);
    if (first >= 0 && n % W == 0)
    {
        const float* newer = buf + first;
#pragma GCC unroll 4
        for (int i = 0; i < n; i += W)
        {
            storeLanes (a + i, reversed (loadLanes<V> (newer - i - (W - 1))));
            storeLanes (b + i, reversed (loadLanes<V> (newer - i - (W - 2))));
        }
        return;
    }
    // A glide that crosses one whole sample within the block: its neighbours come from three runs
    // (the delays lo, lo + 1 and lo + 2), each sample taking the pair its whole delay selects.
    const int32_t lo = std::min (whole[0], whole[n - 1]);
    if (const int32_t base = crossingRun (line, whole[0], whole[n - 1], n); n % W == 0 && base >= 0)
    {
        using IV = IntLanesFor<V>;
        const float* run = buf + base;
        const IV low = IV {} + lo;
        for (int i = 0; i < n; i += W)
        {
            const IV later = loadIntLanes<IV> (whole + i) != low;
            const V p0 = reversed (loadLanes<V> (run - i - (W - 1))), p1 = reversed (loadLanes<V> (run - i - (W - 2)));
            const V p2 = reversed (loadLanes<V> (run - i - (W - 3)));
            storeLanes (a + i, later ? p1 : p0);
            storeLanes (b + i, later ? p2 : p1);
        }
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (W == 8)
        if (n % 8 == 0)
            return gatherNeighboursAvx2<false> (line, whole, a, b, n);
#endif
    alignas (16) int32_t index[DelayLine::maxBlock];
    gatherIndices (line, whole, index, n);
    for (int i = 0; i < n; ++i)
    {
        a[i] = buf[index[i]];
        b[i] = buf[(index[i] + 1) & line.mask];
    }
}

/** (b - a) x frac + a per sample, a the newer and b the older neighbour of each glide position. */
template <typename V>
[[gnu::always_inline]] inline void interpolateLinear (const DelayLine& line, const int32_t* whole, const float* frac,
                                                      float* output, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const float* buf = line.buffer;
    const int32_t first = contiguousRun (line, whole, n);
    if (first >= 0)
    {
        const float* newer = buf + first;
        const float* older = newer + 1;
        if (n % W == 0)
        {
#pragma GCC unroll 4
            for (int i = 0; i < n; i += W)
            {
                const V a = reversed (loadLanes<V> (newer - i - (W - 1))),
                        b = reversed (loadLanes<V> (older - i - (W - 1)));
                storeLanes (output + i, (b - a) * loadLanes<V> (frac + i) + a);
            }
            return;
        }
        for (int i = 0; i < n; ++i)
            output[i] = (older[-i] - newer[-i]) * frac[i] + newer[-i];
        return;
    }
    alignas (32) float a[DelayLine::maxBlock], b[DelayLine::maxBlock];
    neighbours<V> (line, whole, a, b, n);
    const int vectors = n - n % W;
    forEachVector<W> (vectors, [&] (int i) {
        const V av = loadLanes<V> (a + i);
        storeLanes (output + i, (loadLanes<V> (b + i) - av) * loadLanes<V> (frac + i) + av);
    });
    for (int i = vectors; i < n; ++i)
        output[i] = (b[i] - a[i]) * frac[i] + a[i];
}

/** The interpolator's coefficient of every fraction: coefficientFor in lanes. */
template <typename V = Lanes>
[[gnu::always_inline]] inline void allpassCoefficients (const float* frac, float* eta, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const int vectors = n - n % W;
    forEachVector<W> (vectors, [&] (int i) { storeLanes (eta + i, coefficientLanes (loadLanes<V> (frac + i))); });
    for (int i = vectors; i < n; ++i)
        eta[i] = coefficientFor ((int32_t) (frac[i] * 256.0f));
}

} // namespace

float allpassCoefficient (int k) noexcept { return coefficientFor (k); }

void DelayLine::Release::operator() (float* p) const noexcept { std::free (p); }

DelayLine::DelayLine() { tapDelay.fill (startDelay); }

DelayLine::DelayLine (int requestedLength) : DelayLine() { resizeFor (*this, requestedLength); }

void resizeFor (DelayLine& line, int requestedLength)
{
    const int newSize = powerOfTwoFor (requestedLength);
    if (newSize != line.size)
        reallocate (line, newSize);
}

void resizeShared (DelayLine* const* lines, const int* requestedLengths, int count, SharedLineMemory& memory)
{
    bool same = memory != nullptr;
    size_t total = 0;
    for (int k = 0; k < count; ++k)
    {
        const int size = powerOfTwoFor (requestedLengths[k]);
        same = same && size == lines[k]->size && lines[k]->ownMemory == nullptr;
        total += (size_t) size;
    }
    if (same)
        return;
    for (int k = 0; k < count; ++k)
    {
        lines[k]->ownMemory.reset();
        lines[k]->buffer = nullptr;
    }
    memory.reset();
    // Every line starts on a cache line, wherever the allocation lands, and one cache line
    // further on than the last one ended: lines of power-of-two sizes laid end to end would
    // otherwise put the samples at one index of every line (all lines move on together) into one
    // set of every cache.
    constexpr size_t lineFloats = 64 / sizeof (float);
    memory.reset (zeroedFloats (total + (size_t) (count + 1) * lineFloats));
    const auto misaligned = reinterpret_cast<uintptr_t> (memory.get()) % 64;
    float* next = memory.get() + (misaligned == 0 ? 0 : (64 - misaligned) / sizeof (float));
    for (int k = 0; k < count; ++k)
    {
        const int size = powerOfTwoFor (requestedLengths[k]);
        startAt (*lines[k], next, size);
        next += (size_t) size + lineFloats;
    }
}

void clearLine (DelayLine& line)
{
    if (line.written)
        std::fill_n (line.buffer, line.size, 0.0f);
    line.written = false;
    line.tapState.fill (0.0f);
}

namespace
{
/** The scalar form of storeBlock: the runs before and after the wrap. Out of line, so that the
    vector path pays no register saves for it. */
template <typename Sample>
[[gnu::noinline]] void storeRuns (DelayLine& line, int n, int first, Sample sample) noexcept
{
    float* run = line.buffer + line.writeIndex;
    for (int i = 0; i < first; ++i)
        run[-i] = sample (i);
    float* wrapped = run + line.size;
    for (int i = first; i < n; ++i)
        wrapped[-i] = sample (i);
}

/** The scalar form of readTap (and, added, of readTapAdded), out of line for the same reason. */
template <bool added>
[[gnu::noinline]] void readTapRuns (const DelayLine& line, float* output, int n, int32_t start, int first,
                                    float gain) noexcept
{
    const auto put = [output] (int i, float x) { output[i] = added ? output[i] + x : x; };
    const float* run = line.buffer + start;
    for (int i = 0; i < first; ++i)
        put (i, run[-i] * gain);
    const float* wrapped = run + line.size;
    for (int i = first; i < n; ++i)
        put (i, wrapped[-i] * gain);
}

/** Stores sample(i) (lanes(i): a vector of them from i on) at writeIndex - i: two contiguous runs,
    before and after the wrap, instead of a masked index per sample; whole vectors where the block
    does not wrap. */
template <typename V, typename Sample, typename Vector>
[[gnu::always_inline]] inline void storeBlock (DelayLine& line, int n, Sample&& sample, Vector&& lanes) noexcept
{
    constexpr int W = laneCount<V>;
    line.written = true;
    const int32_t w = line.writeIndex;
    const int first = std::min (n, (int) w + 1);
    float* run = line.buffer + w;
    if (first == n && n % W == 0)
    {
        forEachVector<W> (n, [&] (int i) { storeLanes (run - i - (W - 1), reversed (lanes (i))); });
        return;
    }
    storeRuns (line, n, first, sample);
}

template <typename V>
[[gnu::always_inline]] inline void writeBlockLanes (DelayLine& line, const float* input, int n) noexcept
{
    storeBlock<V> (
        line, n, [input] (int i) { return input[i]; },
        [input] (int i) { return loadLanes<V> (input + i); });
}

template <typename V>
[[gnu::always_inline]] inline void writeBlockSumLanes (DelayLine& line, const float* a, const float* b, int n) noexcept
{
    storeBlock<V> (
        line, n, [a, b] (int i) { return a[i] + b[i]; },
        [a, b] (int i) { return loadLanes<V> (a + i) + loadLanes<V> (b + i); });
}

template <typename V>
[[gnu::always_inline]] inline void writeBlocksLanes (DelayLine* lines, const float* blocks, int stride,
                                                     const float* const* feeds, int count, int n) noexcept
{
    constexpr int W = laneCount<V>;
    if (n % W != 0)
    {
        for (int k = 0; k < count; ++k)
        {
            const float* const block = blocks + (std::ptrdiff_t) k * stride;
            feeds != nullptr ? writeBlockSumLanes<V> (lines[k], block, feeds[k % 4], n)
                             : writeBlockLanes<V> (lines[k], block, n);
        }
        return;
    }
    // Each line's block in whole vectors where it does not wrap, with nothing decided per line but
    // whether it wraps (such a block goes the general way); the block lengths the networks run
    // fixed at compile time.
    const auto allLines = [&] (auto withFeeds, auto fixedLength) {
        const int length = fixedLength > 0 ? fixedLength : n;
        const auto oneLine = [&] (int k, const float* feed) __attribute__ ((always_inline)) {
            DelayLine& line = lines[k];
            const float* const block = blocks + (std::ptrdiff_t) k * stride;
            const int32_t w = line.writeIndex;
            if (w + 1 < length)
                return withFeeds ? writeBlockSumLanes<V> (line, block, feed, length)
                                 : writeBlockLanes<V> (line, block, length);
            line.written = true;
            float* const run = line.buffer + w - (W - 1);
        #pragma GCC unroll 8
            for (int i = 0; i < length; i += W)
            {
                const V x = withFeeds ? loadLanes<V> (block + i) + loadLanes<V> (feed + i) : loadLanes<V> (block + i);
                storeLanes (run - i, reversed (x));
            }
        };
        // Four lines at a time, written out: each takes its feed without an index to form, and
        // the loop's count is paid once for the four.
        const float* const feed[4] = { withFeeds ? feeds[0] : nullptr, withFeeds ? feeds[1] : nullptr,
                                       withFeeds ? feeds[2] : nullptr, withFeeds ? feeds[3] : nullptr };
        int k = 0;
        for (; k + 4 <= count; k += 4)
        {
            oneLine (k, feed[0]);
            oneLine (k + 1, feed[1]);
            oneLine (k + 2, feed[2]);
            oneLine (k + 3, feed[3]);
        }
        for (; k < count; ++k)
            oneLine (k, feed[k % 4]);
    };
    const auto withLength = [&] (auto withFeeds) {
        if (n == 32)
            allLines (withFeeds, std::integral_constant<int, 32> {});
        else if (n == 64)
            allLines (withFeeds, std::integral_constant<int, 64> {});
        else
            allLines (withFeeds, std::integral_constant<int, 0> {});
    };
    if (feeds != nullptr)
        withLength (std::true_type {});
    else
        withLength (std::false_type {});
}

template <typename V, bool added = false>
[[gnu::always_inline]] inline void readTapLanes (const DelayLine& line, float* output, int n, int offset,
                                                 float gain) noexcept
{
    constexpr int W = laneCount<V>;
    // Two contiguous runs (before and after the wrap), the gain applied on the way.
    const int32_t start = (line.writeIndex + std::min (offset, line.size - n)) & line.mask;
    const int first = std::min (n, (int) start + 1);
    const float* run = line.buffer + start;
    if (first == n && n % W == 0)
    {
        const V g = broadcast<V> (gain);
        forEachVector<W> (n, [&] (int i) {
            const V x = reversed (loadLanes<V> (run - i - (W - 1))) * g;
            storeLanes (output + i, added ? loadLanes<V> (output + i) + x : x);
        });
        return;
    }
    readTapRuns<added> (line, output, n, start, first, gain);
}

/** Where each tap of gain other than 0 reads (sample i at runs[t][-i]) and its gain, in the order
    of the taps (at most 16); returns how many. A tap across its line's wrap has its samples copied into
    copies[t] first. */
inline int tapsAddedRuns (const DelayLine* lines, int stride, const int* offsets, const float* gains, int count,
                          int n, const float** runs, float* tapGains,
                          float (*copies)[DelayLine::maxBlock]) noexcept
{
    int taps = 0;
    const DelayLine* next = lines;
    for (int t = 0; t < count; ++t, next += stride)
    {
        if (gains[t] == 0.0f)
            continue;
        const DelayLine& line = *next;
        // As readTap holds a tap longer than the line.
        const int32_t start = (line.writeIndex + std::min (offsets[t], line.size - n)) & line.mask;
        const float* run = line.buffer + start;
        if (start + 1 < n)
        {
            float* copy = copies[taps] + n - 1;
            for (int i = 0; i <= start; ++i)
                copy[-i] = run[-i];
            for (int i = start + 1; i < n; ++i)
                copy[-i] = run[line.size - i];
            run = copy;
        }
        runs[taps] = run;
        tapGains[taps++] = gains[t];
    }
    return taps;
}

/** readTapsAdded for n a multiple of the lane count. Each tap's samples from one run of its line;
    a tap across the line's wrap has its samples copied into such a run first, so every tap adds
    its samples times its gain, as readTapAdded does. */
template <typename V, auto runsOf = tapsAddedRuns>
[[gnu::always_inline]] inline void readTapsAddedLanes (const TapSet* sets, int setCount, int stride, int count,
                                                       int n) noexcept
{
    const float* runs[16];
    float tapGains[16];
    alignas (32) float copies[16][DelayLine::maxBlock];
    // The sets one after another in one call: what the call sets up serves them all.
    for (const TapSet* set = sets; set != sets + setCount; ++set)
    {
        const int taps = runsOf (set->lines, stride, set->offsets, set->gains, count, n, runs, tapGains, copies);
        weightedRunsAddedBlock<V, true> (set->output, runs, tapGains, taps, n);
    }
}

template <typename V>
[[gnu::always_inline]] inline void readLinearRampedLanes (DelayLine& line, float* output, float targetDelay, int n,
                                                          float rampFactor) noexcept
{
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    targetDelay = std::min (targetDelay, longestInterpolatedDelay (line, n));
    glide<V> (glideStart (line.tapDelay[0], targetDelay), targetDelay, n, rampFactor, frac, whole);
    line.tapDelay[0] = targetDelay;

    interpolateLinear<V> (line, whole, frac, output, n);
}

/** A fraction rounded down to a multiple of 1/32. */
template <typename V>
[[gnu::always_inline]] inline V quantised (V frac) noexcept
{
    return __builtin_convertvector (__builtin_convertvector (frac * broadcast<V> (32.0f), IntLanesFor<V>), V)
           * broadcast<V> (0.03125f);
}

template <typename V>
[[gnu::always_inline]] inline void quantiseFractions (float* frac, int n) noexcept
{
    constexpr int W = laneCount<V>;
    const int vectors = n - n % W;
    forEachVector<W> (vectors, [&] (int i) { storeLanes (frac + i, quantised (loadLanes<V> (frac + i))); });
    for (int i = vectors; i < n; ++i)
        frac[i] = (float) (int32_t) (frac[i] * 32.0f) * 0.03125f;
}

template <typename V>
[[gnu::always_inline]] inline void readQuantisedRampedLanes (DelayLine& line, float* output, float targetDelay, int n,
                                                             float rampFactor) noexcept
{
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    targetDelay = std::min (targetDelay, longestInterpolatedDelay (line, n));
    glide<V> (glideStart (line.tapDelay[0], targetDelay), targetDelay, n, rampFactor, frac, whole);
    line.tapDelay[0] = targetDelay;
    quantiseFractions<V> (frac, n);
    interpolateLinear<V> (line, whole, frac, output, n);
}

/** Silence for the lanes of a group that no read takes (sample i at zeros[n - 1 - i], its older
    neighbour just after it). */
alignas (32) constexpr float zeros[DelayLine::maxBlock + 1] {};

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** Eight delays as the allpass reads take them: their coefficients, looked up by their fraction
    index (as coefficientFromDelayLanes forms it: the 256ths of the delay, masked), and their
    whole delays. */
[[gnu::always_inline]] QUORVANE_AVX2 inline void splitDelays (__m256 d, float* eta, int32_t* whole) noexcept
{
    const __m256i k = _mm256_and_si256 (_mm256_cvttps_epi32 (_mm256_mul_ps (d, _mm256_set1_ps (256.0f))),
                                        _mm256_set1_epi32 (255));
    _mm256_store_ps (eta, _mm256_i32gather_ps (coefficientTable.value, k, 4));
    _mm256_store_si256 (reinterpret_cast<__m256i*> (whole), _mm256_cvttps_epi32 (d));
}

/** glideAllpassRows for four or eight glides whose delays lie below 2^21 samples, on the wider
    unit: the same delays, whole delays and coefficients, split eight at a time (two rows of
    four). n even. */
template <int L>
[[gnu::noinline]] QUORVANE_AVX2 void glideAllpassRowsAvx2 (const float* start, const float* target, int n,
                                                          float rampFactor, float (*etaRows)[L],
                                                          int32_t (*wholeRows)[L]) noexcept
{
    if constexpr (L == 8)
    {
        __m256 d = _mm256_load_ps (start);
        const __m256 step = _mm256_mul_ps (_mm256_sub_ps (_mm256_load_ps (target), d), _mm256_set1_ps (rampFactor));
#pragma GCC unroll 8
        for (int i = 0; i < n; ++i)
        {
            d = _mm256_add_ps (d, step);
            splitDelays (d, etaRows[i], wholeRows[i]);
        }
    }
    else
    {
        __m128 d = _mm_load_ps (start);
        const __m128 step = _mm_mul_ps (_mm_sub_ps (_mm_load_ps (target), d), _mm_set1_ps (rampFactor));
#pragma GCC unroll 8
        for (int i = 0; i < n; i += 2)
        {
            const __m128 first = _mm_add_ps (d, step);
            d = _mm_add_ps (first, step);
            splitDelays (_mm256_insertf128_ps (_mm256_castps128_ps256 (first), d, 1), etaRows[i], wholeRows[i]);
        }
    }
}
#endif

/** The delays of up to laneCount<R> glides side by side (sample i of each in one row), each by
    repeated addition of its own step as glide has it, split as the allpass reads take them: each
    sample's coefficients as a row and its whole delays as a row. V sets how many lanes the split
    takes at a time (two rows of four with Lanes8); the additions stay one row wide. */
template <typename R, typename V>
[[gnu::always_inline]] inline void glideAllpassRows (const float* start, const float* target, int n, float rampFactor,
                                                     float (*etaRows)[laneCount<R>],
                                                     int32_t (*wholeRows)[laneCount<R>],
                                                     const bool* knownNear = nullptr) noexcept
{
    using IV = IntLanesFor<V>;
    constexpr int L = laneCount<R>;
    R d = loadLanes<R> (start);
    const R step = (loadLanes<R> (target) - d) * broadcast<R> (rampFactor);
    // Delays below 2^21 samples at both ends (every line the modes read; the glide stays between
    // its ends but for a rounding, well inside the 2^22 the shortcut needs) take the coefficients
    // straight from the delay.
    const R limit = broadcast<R> (2097152.0f);
    const auto below = [&limit] (R x) { return (x < limit) & (x > -limit); };
    bool allNear = true;
    if (knownNear != nullptr)
        allNear = *knownNear;
    else
    {
        const auto near = below (loadLanes<R> (start)) & below (loadLanes<R> (target));
        for (int r = 0; r < L; ++r)
            allNear = allNear && near[r] != 0;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (laneCount<V> == 8)
        if (allNear)
            return glideAllpassRowsAvx2<L> (start, target, n, rampFactor, etaRows, wholeRows);
#endif
    if constexpr (laneCount<V> == L)
        if (allNear)
        {
            // A row at a time, as it is formed.
            using IR = IntLanesFor<R>;
            forEachVector<1> (n, [&] (int i) __attribute__ ((always_inline)) {
                d = d + step;
                storeLanes (etaRows[i], coefficientFromDelayLanes (d));
                storeIntLanes (wholeRows[i], __builtin_convertvector (d, IR));
            });
            return;
        }
    // Delays far out: the fraction apart from the whole delay, V lanes at a time.
    alignas (32) float rows[DelayLine::maxBlock][L];
    forEachVector<1> (n, [&] (int i) {
        d = d + step;
        storeLanes (rows[i], d);
    });
    forEachVector<laneCount<V> / L> (n, [&] (int i) {
        const V delays = loadLanes<V> (rows[i]);
        const IV w = __builtin_convertvector (delays, IV);
        storeLanes (etaRows[i], coefficientLanes (delays - __builtin_convertvector (w, V)));
        storeIntLanes (wholeRows[i], w);
    });
}

/** A tile of allpass reads' samples (yv[k]: sample i + k of every read) into the rows, or
    transposed into each read's output. */
template <typename R>
[[gnu::always_inline]] inline void storeAllpassTile (R* yv, int i, float* const* output,
                                                     float (*rowsOut)[laneCount<R>]) noexcept
{
    constexpr int L = laneCount<R>;
    if (rowsOut != nullptr)
    {
        for (int k = 0; k < L; ++k)
            storeLanes (rowsOut[i + k], yv[k]);
        return;
    }
    transposeTile (yv);
    for (int r = 0; r < L; ++r)
        storeLanes (output[r] + i, yv[r]);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
// Where the gathers find a line's fields. offsetof on a line is supported by every compiler that
// builds this code, though some do not count the buffer's owning pointer as standard layout.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr size_t bufferField = offsetof (DelayLine, buffer), writeIndexField = offsetof (DelayLine, writeIndex),
                 maskField = offsetof (DelayLine, mask), sizeField = offsetof (DelayLine, size),
                 tapStateField = offsetof (DelayLine, tapState), tapDelayField = offsetof (DelayLine, tapDelay);
#pragma GCC diagnostic pop
static_assert (sizeof (DelayLine::buffer) == sizeof (float*), "the buffer's owner holds its pointer alone");

/** The set-up of a group of allpass reads on the wider unit, one lane per read (lanes from
    `count` on unused, and zero): the fields of the reads and of their lines gathered as vectors,
    where one read at a time they take about a hundred instructions a read per block. The same
    values are fetched and stored back either way. */
struct GatheredReads
{
    __m256i active;      // all ones in the lanes of reads
    __m256i line[2];     // each read's line, reads 0..3 and 4..7
    __m256i tapBytes[2]; // 4 x each read's tap: its place in its line's tap arrays
    /** Every glide starts and ends below 2^21 samples (glideAllpassRows' shortcut). */
    bool allNear;
    /** Every glide holds (its start is its target) below 2^21 samples and its run lies in its
        line (readAllpassHeldRows): newer and first hold the runs then. */
    bool held;
    alignas (32) const float* newer[8];
    alignas (32) float first[8];
    /** Each read's output (a scratch block for unused lanes), where asked for. */
    alignas (32) float* output[8];
};

using gathers::floatsAt;
using gathers::halfOf;
using gathers::intsAt;
using gathers::joined;
using gathers::wideMask;

/** Reads 4h .. 4h + 3: their lines and taps, and from their lines the sizes, the delays of the
    last blocks and the interpolator states. */
template <typename Read, int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline void gatherFour (GatheredReads& g, const char* reads, __m256i at,
                                                            __m256i taps, __m128i& size, __m128& previous,
                                                            __m128& state) noexcept
{
    const __m128i active = halfOf<h> (g.active);
    g.line[h] = _mm256_mask_i32gather_epi64 (_mm256_setzero_si256(),
                                             reinterpret_cast<const long long*> (reads + offsetof (Read, line)),
                                             halfOf<h> (at), wideMask<h> (g.active), 1);
    g.tapBytes[h] = _mm256_slli_epi64 (_mm256_cvtepi32_epi64 (halfOf<h> (taps)), 2);
    const __m256i tapsAt = _mm256_add_epi64 (g.line[h], g.tapBytes[h]);
    size = intsAt (g.line[h], sizeField, active);
    previous = floatsAt (tapsAt, tapDelayField, active);
    if constexpr (std::is_same_v<Read, AllpassTapRead>)
        state = floatsAt (tapsAt, tapStateField, active);
}

/** value[r] into the tap field `offset` of read r's line, for every read. */
[[gnu::always_inline]] QUORVANE_AVX2 inline void storeTapFields (const GatheredReads& g, size_t offset,
                                                                const float* value, int count) noexcept
{
    alignas (32) uintptr_t at[8];
    const __m256i field = _mm256_set1_epi64x ((long long) offset);
    for (int h = 0; h < 2; ++h)
        _mm256_store_si256 (reinterpret_cast<__m256i*> (at + 4 * h),
                            _mm256_add_epi64 (_mm256_add_epi64 (g.line[h], g.tapBytes[h]), field));
    for (int r = 0; r < count; ++r)
        *reinterpret_cast<float*> (at[r]) = value[r];
}

/** The reads' interpolator states after the block into their lines. */
[[gnu::noinline]] QUORVANE_AVX2 void storeStatesAvx2 (const GatheredReads& g, const float* states, int count) noexcept
{
    storeTapFields (g, tapStateField, states, count);
}

/** A 32-bit field of the lines of the first L reads. */
template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i lineInts (const GatheredReads& g, size_t offset) noexcept
{
    const __m128i low = intsAt (g.line[0], offset, halfOf<0> (g.active));
    if constexpr (L == 4)
        return _mm256_zextsi128_si256 (low);
    else
        return _mm256_inserti128_si256 (_mm256_castsi128_si256 (low), intsAt (g.line[1], offset, halfOf<1> (g.active)),
                                        1);
}

/** runPointers for reads 4h .. 4h + 3. */
template <int h>
[[gnu::always_inline]] QUORVANE_AVX2 inline void pointFour (const GatheredReads& g, __m256i lanes, __m256i index,
                                                           __m256i crossing, __m256i silent, const float** newer,
                                                           __m128& first, __m128& beforeFirst) noexcept
{
    const __m256i running = wideMask<h> (lanes);
    const __m256i buffer = _mm256_mask_i64gather_epi64 (
        _mm256_setzero_si256(), reinterpret_cast<const long long*> (bufferField), g.line[h], running, 1);
    const __m256i at = _mm256_blendv_epi8 (silent, gathers::runsAt (buffer, halfOf<h> (index)), running);
    _mm256_storeu_si256 (reinterpret_cast<__m256i*> (newer + 4 * h), at);
    first = floatsAt (at, sizeof (float), _mm_set1_epi32 (-1));
    beforeFirst = floatsAt (at, 2 * sizeof (float), halfOf<h> (_mm256_and_si256 (crossing, lanes)));
}

/** Where the first L reads take their newer neighbours: newer[r] = read r's buffer + index[r] in
    the lanes set in `lanes` (zeros + n - 1 elsewhere); first[r] = newer[r][1]; beforeFirst[r] =
    newer[r][2] where `crossing` is set too, 0 elsewhere. */
template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline void runPointers (const GatheredReads& g, __m256i lanes, __m256i index,
                                                             __m256i crossing, int n, const float** newer,
                                                             float* first, float* beforeFirst) noexcept
{
    const __m256i silent = _mm256_set1_epi64x ((long long) (uintptr_t) (zeros + n - 1));
    __m128 firsts[2] {}, befores[2] {};
    pointFour<0> (g, lanes, index, crossing, silent, newer, firsts[0], befores[0]);
    if constexpr (L == 8)
    {
        pointFour<1> (g, lanes, index, crossing, silent, newer, firsts[1], befores[1]);
        _mm256_storeu_ps (first, joined (firsts[0], firsts[1]));
        _mm256_storeu_ps (beforeFirst, joined (befores[0], befores[1]));
    }
    else
    {
        _mm_storeu_ps (first, firsts[0]);
        _mm_storeu_ps (beforeFirst, befores[0]);
    }
}

/** What the group reads take from their first L reads (allpass or linear), as their loops over
    them give it: each read's target (at most the longest delay its line allows), the start of its
    glide and, for allpass reads, its interpolator state; the targets become the reads' delays. */
template <typename Read, int L>
[[gnu::noinline]] QUORVANE_AVX2 void gatherReadsAvx2 (const Read* reads, int count, int n, GatheredReads& g,
                                                     float* start, float* target, float* state,
                                                     float* unused = nullptr) noexcept
{
    static_assert (std::is_standard_layout_v<Read> && sizeof (Read) % 8 == 0);
    constexpr bool allpass = std::is_same_v<Read, AllpassTapRead>;
    const __m256i lane = _mm256_setr_epi32 (0, 1, 2, 3, 4, 5, 6, 7);
    g.active = _mm256_cmpgt_epi32 (_mm256_set1_epi32 (count), lane);
    const __m256i at = _mm256_mullo_epi32 (lane, _mm256_set1_epi32 ((int) sizeof (Read)));
    const auto* base = reinterpret_cast<const char*> (reads);
    const __m256 wanted = _mm256_mask_i32gather_ps (
        _mm256_setzero_ps(), reinterpret_cast<const float*> (base + offsetof (Read, targetDelay)), at,
        _mm256_castsi256_ps (g.active), 1);
    __m256i taps = _mm256_setzero_si256();
    if constexpr (allpass)
        taps = _mm256_mask_i32gather_epi32 (taps, reinterpret_cast<const int*> (base + offsetof (AllpassTapRead, tap)),
                                            at, g.active, 1);
    __m128i size[2] {};
    __m128 previous[2] {}, states[2] {};
    gatherFour<Read, 0> (g, base, at, taps, size[0], previous[0], states[0]);
    if constexpr (L == 8)
        gatherFour<Read, 1> (g, base, at, taps, size[1], previous[1], states[1]);
    else
        g.line[1] = g.tapBytes[1] = _mm256_setzero_si256();
    // (float) (size - n - 1), the lesser of it and the target, and glideStart, lane by lane.
    const __m256i sizes = _mm256_inserti128_si256 (_mm256_castsi128_si256 (size[0]), size[1], 1);
    const __m256 longest = _mm256_cvtepi32_ps (_mm256_sub_epi32 (sizes, _mm256_set1_epi32 (n + 1)));
    const __m256 targets8 = _mm256_and_ps (_mm256_min_ps (longest, wanted), _mm256_castsi256_ps (g.active));
    const __m256 last = joined (previous[0], previous[1]);
    const __m256 starts = _mm256_blendv_ps (last, targets8, _mm256_cmp_ps (last, last, _CMP_UNORD_Q));
    const __m256 state8 = joined (states[0], states[1]);
    const __m256 limit = _mm256_set1_ps (2097152.0f), negativeLimit = _mm256_set1_ps (-2097152.0f);
    const __m256 inside = _mm256_and_ps (_mm256_cmp_ps (targets8, limit, _CMP_LT_OQ),
                                         _mm256_cmp_ps (targets8, negativeLimit, _CMP_GT_OQ));
    const bool allFixed =
        _mm256_movemask_ps (_mm256_and_ps (inside, _mm256_cmp_ps (starts, targets8, _CMP_EQ_OQ))) == 0xff;
    g.allNear =
        _mm256_movemask_ps (_mm256_and_ps (inside, _mm256_and_ps (_mm256_cmp_ps (starts, limit, _CMP_LT_OQ),
                                                                  _mm256_cmp_ps (starts, negativeLimit, _CMP_GT_OQ))))
        == 0xff;
    alignas (32) float targets[8];
    _mm256_store_ps (targets, targets8);
    storeTapFields (g, tapDelayField, targets, count);
    if constexpr (L == 8)
    {
        _mm256_store_ps (start, starts);
        _mm256_store_ps (target, targets8);
        if constexpr (allpass)
            _mm256_store_ps (state, state8);
    }
    else
    {
        _mm_store_ps (start, _mm256_castps256_ps128 (starts));
        _mm_store_ps (target, _mm256_castps256_ps128 (targets8));
        if constexpr (allpass)
            _mm_store_ps (state, _mm256_castps256_ps128 (state8));
    }
    // Held reads: heldRun of every read at its whole delay.
    g.held = false;
    if (allFixed)
    {
        const __m256i whole = _mm256_cvttps_epi32 (targets8);
        const gathers::HeldOrCrossing runs =
            gathers::heldOrCrossing (whole, whole, lineInts<L> (g, writeIndexField), lineInts<L> (g, maskField), n);
        if (_mm256_movemask_ps (_mm256_castsi256_ps (_mm256_andnot_si256 (runs.held, g.active))) == 0)
        {
            alignas (32) float unusedBefore[8];
            runPointers<L> (g, g.active, runs.index, _mm256_setzero_si256(), n, g.newer, g.first, unusedBefore);
            g.held = true;
        }
    }
    if (unused != nullptr)
    {
        const __m256i idle = _mm256_set1_epi64x ((long long) (uintptr_t) unused);
        const auto* outputs = reinterpret_cast<const long long*> (base + offsetof (Read, output));
        _mm256_store_si256 (reinterpret_cast<__m256i*> (g.output),
                            _mm256_mask_i32gather_epi64 (idle, outputs, halfOf<0> (at), wideMask<0> (g.active), 1));
        if constexpr (L == 8)
            _mm256_store_si256 (reinterpret_cast<__m256i*> (g.output + 4),
                                _mm256_mask_i32gather_epi64 (idle, outputs, halfOf<1> (at), wideMask<1> (g.active), 1));
    }
}

/** For glides whose whole delays run from `from` to `to` (the first L lanes): true where every
    read's neighbours lie in one run, held (heldRun) or crossing one sample (crossingRun,
    `anyCrossing` then set; side by side the check costs next to nothing, so groups of four make
    it too), with newer, first, beforeFirst and lowWhole set as readAllpassRampedRows sets them.
    False where some read moves, touching none of them; `runs` then holds the runs moveOrHold
    takes (the held reads' runs, -1 for the others). */
template <int L>
[[gnu::noinline]] QUORVANE_AVX2 bool gatheredRunsAvx2 (const GatheredReads& g, const int32_t* from, const int32_t* to,
                                                      int n, const float** newer, float* first, float* beforeFirst,
                                                      int32_t* lowWhole, bool& anyCrossing, int32_t* runs) noexcept
{
    __m256i first0, last;
    if constexpr (L == 4)
    {
        first0 = _mm256_zextsi128_si256 (_mm_loadu_si128 (reinterpret_cast<const __m128i*> (from)));
        last = _mm256_zextsi128_si256 (_mm_loadu_si128 (reinterpret_cast<const __m128i*> (to)));
    }
    else
    {
        first0 = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (from));
        last = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (to));
    }
    const auto [low, index, held, crossing] = gathers::heldOrCrossing (
        first0, last, lineInts<L> (g, writeIndexField), lineInts<L> (g, maskField), n);
    if (_mm256_movemask_ps (_mm256_castsi256_ps (_mm256_andnot_si256 (_mm256_or_si256 (held, crossing), g.active)))
        != 0)
    {
        // Some read moves: then only the held ones keep their runs, as moveOrHold has it.
        alignas (32) int32_t held8[8];
        _mm256_store_si256 (reinterpret_cast<__m256i*> (held8),
                            _mm256_blendv_epi8 (_mm256_set1_epi32 (-1), index, held));
        std::copy_n (held8, L, runs);
        return false;
    }
    anyCrossing = _mm256_movemask_ps (_mm256_castsi256_ps (_mm256_and_si256 (crossing, g.active))) != 0;
    runPointers<L> (g, g.active, index, crossing, n, newer, first, beforeFirst);
    alignas (32) int32_t lows[8];
    _mm256_store_si256 (reinterpret_cast<__m256i*> (lows), low);
    std::copy_n (lows, L, lowWhole);
    return true;
}
/** Whether no active lane's neighbours wrap within a block of n, for glides whose whole delays
    run from `first` to `last` (every lane's whole delays are monotonic, so they lie between the
    two): its newer indices (whole + writeIndex - i, i < n) and older ones (one more) then lie in
    one run of the line without a wrap, each raw sum plus `shift` being its masked index. */
[[gnu::always_inline]] QUORVANE_AVX2 inline bool unwrappedRows (__m256i first, __m256i last, __m256i writeIndex,
                                                               __m256i mask, __m256i active, int n,
                                                               __m256i& shift) noexcept
{
    const __m256i lowest = _mm256_sub_epi32 (_mm256_add_epi32 (_mm256_min_epi32 (first, last), writeIndex),
                                             _mm256_set1_epi32 (n - 1));
    const __m256i highest = _mm256_add_epi32 (_mm256_add_epi32 (_mm256_max_epi32 (first, last), writeIndex),
                                              _mm256_set1_epi32 (1));
    const __m256i start = _mm256_and_si256 (lowest, mask);
    shift = _mm256_sub_epi32 (start, lowest);
    const __m256i beyond = _mm256_cmpgt_epi32 (_mm256_add_epi32 (start, _mm256_sub_epi32 (highest, lowest)), mask);
    return _mm256_testz_si256 (beyond, active) != 0;
}

/** A row of L (four or eight) 32-bit lanes, in the low lanes of eight (the rest zero). */
template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256i rowInts (const int32_t* row) noexcept
{
    if constexpr (L == 8)
        return _mm256_load_si256 (reinterpret_cast<const __m256i*> (row));
    else
        return _mm256_zextsi128_si256 (_mm_load_si128 (reinterpret_cast<const __m128i*> (row)));
}

template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline __m256 rowFloats (const float* row) noexcept
{
    if constexpr (L == 8)
        return _mm256_load_ps (row);
    else
        return _mm256_zextps128_ps256 (_mm_load_ps (row));
}

template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline void storeRow (float* row, __m256 v) noexcept
{
    if constexpr (L == 8)
        _mm256_store_ps (row, v);
    else
        _mm_store_ps (row, _mm256_castps256_ps128 (v));
}

/** One step of the allpass reads' recursions, y = (a - y) x eta + b, stored as the row. */
template <int L>
[[gnu::always_inline]] QUORVANE_AVX2 inline void allpassStep (__m256& y, __m256 a, __m256 b, const float* eta,
                                                             float* row) noexcept
{
    y = _mm256_add_ps (_mm256_mul_ps (_mm256_sub_ps (a, y), rowFloats<L> (eta)), b);
    storeRow<L> (row, y);
}

/** The recursions of L (four or eight) allpass reads of which some move, where their lines lie
    close enough for one gather to reach them all (within 2^30 bytes of the first read's, as lines
    sharing one allocation do): each sample's neighbours of every read gathered as one row
    straight from the lines, the same samples moveOrHold lays out read by read (the newer at
    (whole + writeIndex - i) & mask, the older just after it), so that no tile is transposed on
    the way in. Rows of the outputs (sample i of read r at rows[i][r]) and the states after the
    block. Returns false, touching nothing, where the lines lie further apart. */
template <int L>
[[gnu::noinline]] QUORVANE_AVX2 bool allpassRowsGatheredAvx2 (const GatheredReads& g, int n,
                                                              const int32_t (*wholeRows)[L], const float (*etaRows)[L],
                                                              float* state, float (*rows)[L]) noexcept
{
    // Each line's offset from the first read's, in floats: the byte distance (64 bits) in reach
    // of one gather, its low 32 bits after the shift the same whether the shift is signed or not.
    const auto* field = reinterpret_cast<const long long*> (bufferField);
    const __m256i lowActive = wideMask<0> (g.active), highActive = wideMask<1> (g.active);
    const __m256i none = _mm256_setzero_si256();
    const __m256i low = _mm256_mask_i64gather_epi64 (none, field, g.line[0], lowActive, 1);
    const __m256i high = _mm256_mask_i64gather_epi64 (none, field, g.line[1], highActive, 1);
    const auto firstBuffer = (uintptr_t) _mm256_extract_epi64 (low, 0);
    const __m256i from = _mm256_set1_epi64x ((long long) firstBuffer);
    const __m256i near = _mm256_set1_epi64x (1LL << 30), far = _mm256_set1_epi64x (-(1LL << 30));
    __m256i outside = _mm256_setzero_si256();
    __m256i floats[2];
    for (int h = 0; h < 2; ++h)
    {
        const __m256i bytes = _mm256_sub_epi64 (h == 0 ? low : high, from);
        const __m256i apart = _mm256_or_si256 (_mm256_cmpgt_epi64 (bytes, near), _mm256_cmpgt_epi64 (far, bytes));
        outside = _mm256_or_si256 (outside, _mm256_and_si256 (apart, h == 0 ? lowActive : highActive));
        floats[h] = _mm256_srli_epi64 (bytes, 2);
    }
    if (! _mm256_testz_si256 (outside, outside))
        return false;
    // The low halves of the eight 64-bit offsets, in order.
    const __m256i pick = _mm256_setr_epi32 (0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i offset = _mm256_blend_epi32 (_mm256_permutevar8x32_epi32 (floats[0], pick),
                                               _mm256_permutevar8x32_epi32 (floats[1], pick), 0xf0);
    const float* base = reinterpret_cast<const float*> (firstBuffer);
    const __m256i mask = lineInts<L> (g, maskField);
    __m256i position = lineInts<L> (g, writeIndexField);
    // Four reads run in the low lanes of eight; the others, inactive, gather nothing.
    const __m256i one = _mm256_set1_epi32 (1);
    const __m256 active = _mm256_castsi256_ps (g.active), zero = _mm256_setzero_ps();
    __m256 y = rowFloats<L> (state);
    __m256i shift;
    if (unwrappedRows (rowInts<L> (wholeRows[0]), rowInts<L> (wholeRows[n - 1]), position, mask, g.active, n, shift))
    {
        // No read's neighbours wrap in this block: the indices need no mask, and the older
        // neighbours lie one float after the newer ones.
        __m256i at = _mm256_add_epi32 (_mm256_add_epi32 (position, shift), offset);
#pragma GCC unroll 8
        for (int i = 0; i < n; ++i)
        {
            const __m256i newer = _mm256_add_epi32 (rowInts<L> (wholeRows[i]), at);
            allpassStep<L> (y, _mm256_mask_i32gather_ps (zero, base, newer, active, 4),
                            _mm256_mask_i32gather_ps (zero, base + 1, newer, active, 4), etaRows[i], rows[i]);
            at = _mm256_sub_epi32 (at, one);
        }
    }
    else
#pragma GCC unroll 8
        for (int i = 0; i < n; ++i)
        {
            const __m256i newer = _mm256_and_si256 (_mm256_add_epi32 (rowInts<L> (wholeRows[i]), position), mask);
            const __m256i older = _mm256_and_si256 (_mm256_add_epi32 (newer, one), mask);
            allpassStep<L> (y, _mm256_mask_i32gather_ps (zero, base, _mm256_add_epi32 (newer, offset), active, 4),
                            _mm256_mask_i32gather_ps (zero, base, _mm256_add_epi32 (older, offset), active, 4),
                            etaRows[i], rows[i]);
            position = _mm256_sub_epi32 (position, one);
        }
    storeRow<L> (state, y);
    return true;
}

/** readLinearRampedEight's runs (rows[i][r]: read r's delay at sample i): each read whose whole
    delay holds over the block (heldRun) takes its run (newer, first) and writes its output; the
    others, moving or unused, run on zeros into `unused`. Returns the moving reads as bits. */
[[gnu::noinline]] QUORVANE_AVX2 unsigned heldLinearRunsAvx2 (const GatheredReads& g, const LinearTapRead* reads,
                                                            const float (*rows)[8], int n, const float** newer,
                                                            float* first, float** output, float* unused) noexcept
{
    const gathers::HeldOrCrossing runs =
        gathers::heldOrCrossing (_mm256_cvttps_epi32 (_mm256_load_ps (rows[0])),
                                 _mm256_cvttps_epi32 (_mm256_load_ps (rows[n - 1])), lineInts<8> (g, writeIndexField),
                                 lineInts<8> (g, maskField), n);
    const __m256i held = _mm256_and_si256 (g.active, runs.held);
    alignas (32) float unusedBefore[8];
    runPointers<8> (g, held, runs.index, _mm256_setzero_si256(), n, newer, first, unusedBefore);
    const __m256i idle = _mm256_set1_epi64x ((long long) (uintptr_t) unused);
    const __m128i at = _mm_mullo_epi32 (_mm_setr_epi32 (0, 1, 2, 3), _mm_set1_epi32 ((int) sizeof (LinearTapRead)));
    const auto* outputs = reinterpret_cast<const long long*> (reinterpret_cast<const char*> (reads)
                                                              + offsetof (LinearTapRead, output));
    const __m256i low = _mm256_mask_i32gather_epi64 (idle, outputs, at, wideMask<0> (held), 1);
    const __m256i high = _mm256_mask_i32gather_epi64 (
        idle, outputs, _mm_add_epi32 (at, _mm_set1_epi32 (4 * (int) sizeof (LinearTapRead))), wideMask<1> (held), 1);
    _mm256_store_si256 (reinterpret_cast<__m256i*> (output), low);
    _mm256_store_si256 (reinterpret_cast<__m256i*> (output + 4), high);
    return (unsigned) _mm256_movemask_ps (_mm256_castsi256_ps (_mm256_andnot_si256 (held, g.active)));
}

#if defined(QUORVANE_SHUFFLES)
/** Up to eight linear reads on the wider unit, one per lane: their glides side by side, and the
    neighbours of the reads whose whole delay holds over the block loaded straight from their
    lines into one 8 x 8 transpose per tile, the interpolation done on rows (sample i + k of every
    read) and transposed back. A read whose whole delay moves is read on its own afterwards from
    its column of the same delays. n a multiple of eight. With `quantisedFractions` each
    fraction is rounded down to a multiple of 1/32, as readQuantisedRamped has it. The set-up is
    gathered. */
template <bool quantisedFractions>
[[gnu::always_inline]] inline void readLinearRampedEight (const LinearTapRead* reads, int count, int n,
                                                          float rampFactor) noexcept
{
    alignas (32) float start[8] = {}, target[8] = {};
    GatheredReads g;
    gatherReadsAvx2<LinearTapRead, 8> (reads, count, n, g, start, target, nullptr);
    alignas (32) float rows[DelayLine::maxBlock][8];
    {
        Lanes8 d = loadLanes<Lanes8> (start);
        const Lanes8 step = (loadLanes<Lanes8> (target) - d) * broadcast<Lanes8> (rampFactor);
        forEachVector<1> (n, [&] (int i) {
            d = d + step;
            storeLanes (rows[i], d);
        });
    }
    // Where sample i's newer neighbour lies for each held read (newer[r][-i], the older one just
    // after it); moving and unused reads run on zeros in the tiles.
    alignas (32) const float* newer[8];
    alignas (32) float* output[8];
    alignas (32) float unused[DelayLine::maxBlock];
    alignas (32) float first[8];
    unsigned moving = heldLinearRunsAvx2 (g, reads, rows, n, newer, first, output, unused);
    // A held read's whole delay is the same on every sample (the other lanes read zeros).
    const Lanes8 heldWhole = __builtin_convertvector (__builtin_convertvector (loadLanes<Lanes8> (rows[0]), IntLanes8),
                                                      Lanes8);
    // Sample i's older neighbour is sample i - 1's newer one; a loaded run holds samples i + 7
    // down to i, so after the transpose row 7 - k is sample i + k.
    Lanes8 previous = loadLanes<Lanes8> (first);
    // Always inline, so that the pass is built for the wider unit at every optimisation level.
    forEachVector<8> (n, [&] (int i) __attribute__ ((always_inline)) {
        Lanes8 av[8], out[8];
        for (int r = 0; r < 8; ++r)
            av[r] = loadLanes<Lanes8> (newer[r] - i - 7);
        transpose8 (av);
        for (int k = 0; k < 8; ++k)
        {
            const Lanes8 d = loadLanes<Lanes8> (rows[i + k]), a = av[7 - k];
            Lanes8 frac = d - heldWhole;
            if constexpr (quantisedFractions)
                frac = quantised (frac);
            out[k] = (previous - a) * frac + a;
            previous = a;
        }
        transpose8 (out);
        for (int r = 0; r < 8; ++r)
            storeLanes (output[r] + i, out[r]);
    });
    // The moving reads gathered straight from the rows.
    if (moving != 0)
        interpolateColumns<false, quantisedFractions> (reads, rows, moving, n);
}
#endif
/** Whether every glide is near, where the set-up was gathered. */
inline const bool* nearOf (const GatheredReads* g) noexcept { return g != nullptr ? &g->allNear : nullptr; }
#else
/** Never formed without the wider unit; the group reads name its outputs all the same. */
struct GatheredReads
{
    float* output[8];
};
inline const bool* nearOf (const GatheredReads*) noexcept { return nullptr; }
#endif

/** Each read's output, unused lanes writing to `unused`. */
template <int L>
[[gnu::always_inline]] inline void outputsOf (const AllpassTapRead* reads, int count, float* unused,
                                              float** output) noexcept
{
    for (int r = 0; r < L; ++r)
        output[r] = r < count ? reads[r].output : unused;
}

/** Each read's interpolator state after the block (lane r of y) back into its line. */
template <typename R, typename V>
[[gnu::always_inline]] inline void storeAllpassStates (const AllpassTapRead* reads, int count, R y,
                                                       [[maybe_unused]] const GatheredReads* gathered) noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (laneCount<V> == 8)
    {
        alignas (32) float states[laneCount<R>];
        storeLanes (states, y);
        storeStatesAvx2 (*gathered, states, count);
        return;
    }
#endif
    for (int r = 0; r < count; ++r)
        reads[r].line->tapState[(size_t) reads[r].tap] = y[r];
}

/** readAllpassRampedRows where every read holds its delay over the block (its glide's step is
    zero, so every sample's delay is the target), well below the delays whose coefficients need
    the fraction apart, and the neighbours of each lie in one run: the coefficients once for the
    block instead of once per sample, from the same operations. Returns false, touching nothing,
    where any read does not. */
template <typename R, typename V>
[[gnu::always_inline]] inline bool readAllpassHeldRows (const AllpassTapRead* reads, int count, int n,
                                                        const float* start, const float* target, const float* state,
                                                        float (*rowsOut)[laneCount<R>],
                                                        [[maybe_unused]] const GatheredReads* gathered) noexcept
{
    constexpr int L = laneCount<R>;
    const R d = loadLanes<R> (target);
    alignas (32) const float* heldNewer[L];
    alignas (32) float heldFirst[L];
    const float* const* newer = heldNewer;
    const float* first = heldFirst;
    alignas (32) float unused[DelayLine::maxBlock];
    float* heldOutput[L];
    float* const* output = heldOutput;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (laneCount<V> == 8)
    {
        if (! gathered->held)
            return false;
        newer = gathered->newer;
        first = gathered->first;
        output = gathered->output;
    }
    else
#endif
    {
        const R limit = broadcast<R> (2097152.0f);
        const auto fixed = (loadLanes<R> (start) == d) & (d < limit) & (d > -limit);
        for (int r = 0; r < L; ++r)
            if (fixed[r] == 0)
                return false;
        alignas (32) int32_t whole[L];
        storeIntLanes (whole, __builtin_convertvector (d, IntLanesFor<R>));
        for (int r = 0; r < L; ++r)
        {
            if (r >= count)
            {
                heldNewer[r] = zeros + n - 1;
                heldFirst[r] = 0.0f;
                continue;
            }
            const DelayLine& line = *reads[r].line;
            const int32_t run = heldRun (line, whole[r], whole[r], n);
            if (run < 0)
                return false;
            heldNewer[r] = line.buffer + run;
            heldFirst[r] = heldNewer[r][1];
        }
        if (rowsOut == nullptr)
            outputsOf<L> (reads, count, unused, heldOutput);
    }
    const R eta = coefficientFromDelayLanes (d);
    // As the held reads of readAllpassRampedRows: sample i's older neighbour is sample i - 1's
    // newer one, and after the transpose row L - 1 - k is sample i + k.
    R y = loadLanes<R> (state), previous = loadLanes<R> (first);
    forEachVector<L> (n, [&] (int i) __attribute__ ((always_inline)) {
        R av[L], yv[L];
        for (int r = 0; r < L; ++r)
            av[r] = loadLanes<R> (newer[r] - i - (L - 1));
        transposeTile (av);
        for (int k = 0; k < L; ++k)
        {
            const R x = av[L - 1 - k];
            yv[k] = y = (x - y) * eta + previous;
            previous = x;
        }
        storeAllpassTile (yv, i, output, rowsOut);
    });
    storeAllpassStates<R, V> (reads, count, y, gathered);
    return true;
}

/** The runs of readAllpassRampedRows read by read: where each read's neighbours lie (newer and
    older, the moving reads' gathered into `moved`), whether every read has a run (allHeld) and
    whether any crosses a sample (anyCrossing). With `known` the runs are found already (held
    ones, the rest -1: some read moves). */
template <typename R, typename V>
[[gnu::always_inline]] inline void
moveOrHold (const AllpassTapRead* reads, int count, int n, const int32_t (*wholeRows)[laneCount<R>],
            float (*moved)[2][DelayLine::maxBlock], const float** newer, const float** older, int32_t* lowWhole,
            float* beforeFirst, bool& allHeld, bool& anyCrossing, const int32_t* known = nullptr) noexcept
{
    constexpr int L = laneCount<R>;
    // Each read's run: held (its index, >= 0), crossing (-2 - its index) or neither (-1). Only
    // groups of eight look for crossings: for four the check costs more than it saves (measured).
    int32_t runs[L];
    if (known != nullptr)
    {
        std::copy_n (known, L, runs);
        allHeld = false;
    }
    else
        for (int r = 0; r < count; ++r)
        {
            const DelayLine& line = *reads[r].line;
            const int32_t firstWhole = wholeRows[0][r], lastWhole = wholeRows[n - 1][r];
            lowWhole[r] = std::min (firstWhole, lastWhole);
            runs[r] = heldRun (line, firstWhole, lastWhole, n);
            const bool mayCross = L == 8 && runs[r] < 0;
            if (const int32_t base = mayCross ? crossingRun (line, firstWhole, lastWhole, n) : -1; base >= 0)
            {
                runs[r] = -2 - base;
                anyCrossing = true;
            }
            allHeld = allHeld && runs[r] != -1;
        }
    // Crossing reads take the moving reads' way unless every read has a run.
    anyCrossing = anyCrossing && allHeld;
    // The moving reads' whole delays as columns: transposed at once where several move (after a
    // size change all of them do), copied one by one otherwise.
    alignas (32) int32_t columns[L][DelayLine::maxBlock];
    int movingReads = 0;
    if (! allHeld)
        for (int r = 0; r < count; ++r)
            movingReads += runs[r] < 0 ? 1 : 0;
    const bool transposed = movingReads >= 3;
    if (transposed)
        for (int i = 0; i < n; i += L)
        {
            R v[L];
            for (int k = 0; k < L; ++k)
                v[k] = loadLanes<R> (reinterpret_cast<const float*> (wholeRows[i + k]));
            transposeTile (v);
            for (int r = 0; r < L; ++r)
                storeLanes (reinterpret_cast<float*> (columns[r] + i), v[r]);
        }
    for (int r = 0; r < L; ++r)
    {
        if (r >= count)
        {
            newer[r] = zeros + n - 1;
            older[r] = zeros + n;
            continue;
        }
        const DelayLine& line = *reads[r].line;
        if (runs[r] >= 0 || (runs[r] < -1 && allHeld))
        {
            newer[r] = line.buffer + (runs[r] >= 0 ? runs[r] : -2 - runs[r]);
            older[r] = newer[r] + 1;
            beforeFirst[r] = runs[r] >= 0 ? 0.0f : newer[r][2];
            continue;
        }
        int32_t* const whole = columns[r];
        if (! transposed)
            for (int i = 0; i < n; ++i)
                whole[i] = wholeRows[i][r];
        newer[r] = moved[r][0] + n - 1;
        older[r] = moved[r][1] + n - 1;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
        // On the wider unit (V eight lanes wide; the rows may be four), n a multiple of eight.
        if constexpr (laneCount<V> == 8)
        {
            gatherNeighboursAvx2<true> (line, whole, moved[r][0], moved[r][1], n);
            continue;
        }
#endif
        alignas (32) float a[DelayLine::maxBlock], b[DelayLine::maxBlock];
        neighbours<R> (line, whole, a, b, n);
        for (int i = 0; i < n; i += L)
        {
            storeLanes (moved[r][0] + n - L - i, reversed (loadLanes<R> (a + i)));
            storeLanes (moved[r][1] + n - L - i, reversed (loadLanes<R> (b + i)));
        }
    }
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** readAllpassLanes where some read moves, by allpassRowsGatheredAvx2: the outputs stored as the
    tiles store them, and the states. False, touching nothing, where the lines lie too far apart. */
template <typename R, typename V>
[[gnu::always_inline]] inline bool movingRowsGathered (const AllpassTapRead* reads, int count, int n,
                                                       const int32_t (*wholeRows)[laneCount<R>],
                                                       const float (*etaRows)[laneCount<R>], const float* state,
                                                       float (*rowsOut)[laneCount<R>], const GatheredReads& g) noexcept
{
    constexpr int L = laneCount<R>;
    alignas (32) float ownRows[DelayLine::maxBlock][L];
    alignas (32) float y[L];
    std::copy_n (state, L, y);
    float (*rows)[L] = rowsOut != nullptr ? rowsOut : ownRows;
    if (! allpassRowsGatheredAvx2<L> (g, n, wholeRows, etaRows, y, rows))
        return false;
    if (rowsOut == nullptr)
        for (int i = 0; i < n; i += L)
        {
            R yv[L];
            for (int k = 0; k < L; ++k)
                yv[k] = loadLanes<R> (rows[i + k]);
            storeAllpassTile (yv, i, g.output, nullptr);
        }
    storeAllpassStates<R, V> (reads, count, loadLanes<R> (y), &g);
    return true;
}
#endif

/** readAllpassRampedRows after its set-up: each read's target, glide start and state in lanes,
    gathered as vectors (with eight lanes) or not. */
template <typename R, typename V>
[[gnu::always_inline]] inline void readAllpassLanes (const AllpassTapRead* reads, int count, int n, float rampFactor,
                                                     float (*rowsOut)[laneCount<R>], const float* start,
                                                     const float* target, const float* state,
                                                     [[maybe_unused]] const GatheredReads* gathered) noexcept
{
    constexpr int L = laneCount<R>;
    if (readAllpassHeldRows<R, V> (reads, count, n, start, target, state, rowsOut, gathered))
        return;
    alignas (32) float etaRows[DelayLine::maxBlock][L];
    alignas (32) int32_t wholeRows[DelayLine::maxBlock][L];
    glideAllpassRows<R, V> (start, target, n, rampFactor, etaRows, wholeRows, nearOf (gathered));

    // Per read, where sample i's newer neighbour lies: newer[r][-i], the older one just after it.
    // Unused lanes read zeros; a moving read's neighbours are laid out in `moved` the same way.
    alignas (32) float moved[L][2][DelayLine::maxBlock];
    alignas (32) const float* newer[L];
    const float* older[L];
    // A read whose whole delay crosses one sample within the block reads the run at the lower
    // whole delay: once past the crossing, its neighbours are those of one sample earlier.
    alignas (32) int32_t lowWhole[L] = {};
    alignas (32) float beforeFirst[L] = {};
    // Where every read has a run: the first older neighbours.
    alignas (32) float first[L];
    bool allHeld = false, anyCrossing = false;
    // The runs the gathered set-up found, where some read moves.
    [[maybe_unused]] int32_t runs[L];
    const int32_t* known = nullptr;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (laneCount<V> == 8)
    {
        allHeld = gatheredRunsAvx2<L> (*gathered, wholeRows[0], wholeRows[n - 1], n, newer, first, beforeFirst,
                                       lowWhole, anyCrossing, runs);
        known = runs;
        // Where some read moves, every read's neighbours are gathered a row at a time; in groups of
        // four only where two reads or more move (for one, read by read costs less).
        if (! allHeld && (L == 8 || std::count_if (runs, runs + count, [] (int32_t run) { return run < 0; }) >= 2)
            && movingRowsGathered<R, V> (reads, count, n, wholeRows, etaRows, state, rowsOut, *gathered))
            return;
    }
#endif
    if (! allHeld)
    {
        allHeld = true;
        moveOrHold<R, V> (reads, count, n, wholeRows, moved, newer, older, lowWhole, beforeFirst, allHeld, anyCrossing,
                          known);
        if (allHeld)
            for (int r = 0; r < L; ++r)
                first[r] = older[r][0];
    }
    // The recursions y = (a - y) x eta + b, L samples per tile: a loaded run holds samples
    // i + L - 1 down to i, so after the transpose row L - 1 - k is sample i + k.
    R y = loadLanes<R> (state);
    alignas (32) float unused[DelayLine::maxBlock];
    float* ownOutput[L];
    float* const* output = ownOutput;
    if (gathered != nullptr)
        output = gathered->output;
    else if (rowsOut == nullptr)
        outputsOf<L> (reads, count, unused, ownOutput);
    const auto loadTile = [&] (const float* const* runs, int i, R* v) __attribute__ ((always_inline)) {
        for (int r = 0; r < L; ++r)
            v[r] = loadLanes<R> (runs[r] - i - (L - 1));
        transposeTile (v);
    };
    const auto storeTile = [&] (int i, R* yv) __attribute__ ((always_inline)) {
        storeAllpassTile (yv, i, output, rowsOut);
    };
    if (allHeld)
    {
        // Held reads: sample i's older neighbour is sample i - 1's newer one, so one run serves
        // both and only the first older neighbours are loaded apart.
        R previous = loadLanes<R> (first), beforePrevious = loadLanes<R> (beforeFirst);
        const IntLanesFor<R> low = loadIntLanes<IntLanesFor<R>> (lowWhole);
        const auto tiles = [&] (auto crossing) __attribute__ ((always_inline)) {
            forEachVector<L> (n, [&] (int i) __attribute__ ((always_inline)) {
                R av[L], yv[L];
                loadTile (newer, i, av);
                for (int k = 0; k < L; ++k)
                {
                    const R x = av[L - 1 - k];
                    if constexpr (decltype (crossing)::value)
                    {
                        const auto later = loadIntLanes<IntLanesFor<R>> (wholeRows[i + k]) != low;
                        const R a = later ? previous : x, b = later ? beforePrevious : previous;
                        yv[k] = y = (a - y) * loadLanes<R> (etaRows[i + k]) + b;
                        beforePrevious = previous;
                    }
                    else
                        yv[k] = y = (x - y) * loadLanes<R> (etaRows[i + k]) + previous;
                    previous = x;
                }
                storeTile (i, yv);
            });
        };
        if (anyCrossing)
            tiles (std::true_type {});
        else
            tiles (std::false_type {});
    }
    else
        for (int i = 0; i < n; i += L)
        {
            R av[L], bv[L], yv[L];
            loadTile (newer, i, av);
            loadTile (older, i, bv);
            for (int k = 0; k < L; ++k)
                yv[k] = y = (av[L - 1 - k] - y) * loadLanes<R> (etaRows[i + k]) + bv[L - 1 - k];
            storeTile (i, yv);
        }
    storeAllpassStates<R, V> (reads, count, y, gathered);
}

/** Up to laneCount<R> allpass-interpolated reads, one per lane throughout: their glides advance
    side by side, so each sample's coefficients come out as the row the recursions take, and the
    neighbours of a read whose whole delay holds over the block are loaded straight from its line
    into the transposes (the vectors come reversed, newest sample last, as the line stores them).
    Only a read whose whole delay moves gathers its neighbours first. V as glideAllpassRows takes
    it; with eight lanes the set-up is gathered. n a multiple of laneCount<R>. */
template <typename R, typename V>
[[gnu::always_inline]] inline void readAllpassRampedRows (const AllpassTapRead* reads, int count, int n,
                                                          float rampFactor,
                                                          float (*rowsOut)[laneCount<R>] = nullptr) noexcept
{
    constexpr int L = laneCount<R>;
    alignas (32) float start[L] = {}, target[L] = {}, state[L] = {};
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if constexpr (laneCount<V> == 8)
    {
        GatheredReads g;
        alignas (32) float unused[DelayLine::maxBlock];
        gatherReadsAvx2<AllpassTapRead, L> (reads, count, n, g, start, target, state,
                                            rowsOut == nullptr ? unused : nullptr);
        return readAllpassLanes<R, V> (reads, count, n, rampFactor, rowsOut, start, target, state, &g);
    }
#endif
    for (int r = 0; r < count; ++r)
    {
        DelayLine& line = *reads[r].line;
        const auto tap = (size_t) reads[r].tap;
        target[r] = std::min (reads[r].targetDelay, longestInterpolatedDelay (line, n));
        start[r] = glideStart (line.tapDelay[tap], target[r]);
        line.tapDelay[tap] = target[r];
        state[r] = line.tapState[tap];
    }
    readAllpassLanes<R, V> (reads, count, n, rampFactor, rowsOut, start, target, state, nullptr);
}


#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void writeBlockAvx2 (DelayLine& line, const float* input, int n) noexcept
{
    writeBlockLanes<Lanes8> (line, input, n);
}
QUORVANE_AVX2 void writeBlockSumAvx2 (DelayLine& line, const float* a, const float* b, int n) noexcept
{
    writeBlockSumLanes<Lanes8> (line, a, b, n);
}
QUORVANE_AVX2 void writeBlocksAvx2 (DelayLine* lines, const float* blocks, int stride, const float* const* feeds,
                                    int count, int n) noexcept
{
    writeBlocksLanes<Lanes8> (lines, blocks, stride, feeds, count, n);
}
QUORVANE_AVX2 void readTapAvx2 (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    readTapLanes<Lanes8> (line, output, n, offset, gain);
}
QUORVANE_AVX2 void readTapAddedAvx2 (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    readTapLanes<Lanes8, true> (line, output, n, offset, gain);
}
/** tapsAddedRuns eight taps at a time: their lines' fields gathered, and the taps of gain 0 left
    out without a branch. A group with a tap across its line's wrap goes the scalar way. */
QUORVANE_AVX2 int tapsAddedRunsAvx2 (const DelayLine* lines, int stride, const int* offsets, const float* gains,
                                     int count, int n, const float** runs, float* tapGains,
                                     float (*copies)[DelayLine::maxBlock]) noexcept
{
    const __m256i lane = _mm256_setr_epi32 (0, 1, 2, 3, 4, 5, 6, 7);
    int taps = 0;
    for (int t = 0; t < count; t += 8)
    {
        const __m256i tap = _mm256_add_epi32 (_mm256_set1_epi32 (t), lane);
        const __m256i valid = _mm256_cmpgt_epi32 (_mm256_set1_epi32 (count), tap);
        // Lanes past the last tap gather the last tap's line and count as gain 0.
        const __m256i line = _mm256_mullo_epi32 (_mm256_min_epi32 (tap, _mm256_set1_epi32 (count - 1)),
                                                 _mm256_set1_epi32 (stride));
        const __m256i run = gathers::tapRuns (lines[0], line, _mm256_maskload_epi32 (offsets + t, valid), n);
        const __m256 g = _mm256_maskload_ps (gains + t, valid);
        const int audible = ~_mm256_movemask_ps (_mm256_cmp_ps (g, _mm256_setzero_ps(), _CMP_EQ_OQ)) & 0xff;
        if ((audible & ~gathers::unwrapped (run, n)) != 0)
        {
            const int group = std::min (8, count - t);
            taps += tapsAddedRuns (lines + (std::ptrdiff_t) t * stride, stride, offsets + t, gains + t, group, n,
                                   runs + taps, tapGains + taps, copies + taps);
            continue;
        }
        if ((audible & (audible + 1)) == 0)
        {
            // The audible taps lead (taps fade out one after another): all eight go straight to
            // their places, and the count keeps only those.
            gathers::runsOfLanes<0> (lines[0], line, run, runs + taps);
            gathers::runsOfLanes<1> (lines[0], line, run, runs + taps);
            _mm256_storeu_ps (tapGains + taps, g);
            taps += __builtin_popcount ((unsigned) audible);
            continue;
        }
        const float* at[8];
        alignas (32) float laneGains[8];
        gathers::runsOfLanes<0> (lines[0], line, run, at);
        gathers::runsOfLanes<1> (lines[0], line, run, at);
        _mm256_store_ps (laneGains, g);
        // Every lane written at the next place, which only an audible one then keeps.
        for (int r = 0; r < 8; ++r)
        {
            runs[taps] = at[r];
            tapGains[taps] = laneGains[r];
            taps += (audible >> r) & 1;
        }
    }
    return taps;
}

QUORVANE_AVX2 void readTapsAddedAvx2 (const TapSet* sets, int setCount, int stride, int count, int n) noexcept
{
    readTapsAddedLanes<Lanes8, tapsAddedRunsAvx2> (sets, setCount, stride, count, n);
}
QUORVANE_AVX2 void readLinearRampedAvx2 (DelayLine& line, float* output, float targetDelay, int n,
                                         float rampFactor) noexcept
{
    readLinearRampedLanes<Lanes8> (line, output, targetDelay, n, rampFactor);
}
QUORVANE_AVX2 void readQuantisedRampedAvx2 (DelayLine& line, float* output, float targetDelay, int n,
                                            float rampFactor) noexcept
{
    readQuantisedRampedLanes<Lanes8> (line, output, targetDelay, n, rampFactor);
}
QUORVANE_AVX2 void readLinearRampedGroupAvx2 (const LinearTapRead* reads, int count, int n, float rampFactor) noexcept
{
    // Side by side the glides pay for the transposes from about four reads on.
    if (count >= 4)
        return readLinearRampedEight<false> (reads, count, n, rampFactor);
    for (int r = 0; r < count; ++r)
        readLinearRampedLanes<Lanes8> (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
}
QUORVANE_AVX2 void readQuantisedRampedGroupAvx2 (const LinearTapRead* reads, int count, int n,
                                                 float rampFactor) noexcept
{
    if (count >= 4)
        return readLinearRampedEight<true> (reads, count, n, rampFactor);
    for (int r = 0; r < count; ++r)
        readQuantisedRampedLanes<Lanes8> (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
}
QUORVANE_AVX2 void readAllpassRowsAvx2 (const AllpassTapRead* reads, int count, int n, float rampFactor,
                                       float (*rows)[8]) noexcept
{
    readAllpassRampedRows<Lanes8, Lanes8> (reads, count, n, rampFactor, rows);
}
QUORVANE_AVX2 void readAllpassRampedGroupAvx2 (const AllpassTapRead* reads, int count, int n, float rampFactor) noexcept
{
    if (count > 4)
        return readAllpassRampedRows<Lanes8, Lanes8> (reads, count, n, rampFactor);
    readAllpassRampedRows<Lanes, Lanes8> (reads, count, n, rampFactor);
}
#endif

// The baseline entry points stay out of line: inlined into the dispatching functions they would
// make every call save the registers their loops need before even choosing the unit.
[[gnu::noinline]] void writeBlockBaseline (DelayLine& line, const float* input, int n) noexcept
{
    writeBlockLanes<Lanes> (line, input, n);
}
[[gnu::noinline]] void writeBlockSumBaseline (DelayLine& line, const float* a, const float* b, int n) noexcept
{
    writeBlockSumLanes<Lanes> (line, a, b, n);
}
[[gnu::noinline]] void writeBlocksBaseline (DelayLine* lines, const float* blocks, int stride,
                                          const float* const* feeds, int count, int n) noexcept
{
    writeBlocksLanes<Lanes> (lines, blocks, stride, feeds, count, n);
}
[[gnu::noinline]] void readTapBaseline (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    readTapLanes<Lanes> (line, output, n, offset, gain);
}
[[gnu::noinline]] void readTapAddedBaseline (const DelayLine& line, float* output, int n, int offset,
                                             float gain) noexcept
{
    readTapLanes<Lanes, true> (line, output, n, offset, gain);
}
[[gnu::noinline]] void readTapsAddedBaseline (const TapSet* sets, int setCount, int stride, int count, int n) noexcept
{
    readTapsAddedLanes<Lanes> (sets, setCount, stride, count, n);
}
[[gnu::noinline]] void readLinearRampedBaseline (DelayLine& line, float* output, float targetDelay, int n,
                                                 float rampFactor) noexcept
{
    readLinearRampedLanes<Lanes> (line, output, targetDelay, n, rampFactor);
}
[[gnu::noinline]] void readQuantisedRampedBaseline (DelayLine& line, float* output, float targetDelay, int n,
                                                    float rampFactor) noexcept
{
    readQuantisedRampedLanes<Lanes> (line, output, targetDelay, n, rampFactor);
}
[[gnu::noinline]] void readLinearRampedGroupBaseline (const LinearTapRead* reads, int count, int n,
                                                      float rampFactor) noexcept
{
    // Four glides side by side cost the baseline as much as they save (measured): one by one.
    for (int r = 0; r < count; ++r)
        readLinearRampedLanes<Lanes> (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
}
[[gnu::noinline]] void readQuantisedRampedGroupBaseline (const LinearTapRead* reads, int count, int n,
                                                         float rampFactor) noexcept
{
    for (int r = 0; r < count; ++r)
        readQuantisedRampedLanes<Lanes> (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
}
[[gnu::noinline]] void readAllpassRampedGroupBaseline (const AllpassTapRead* reads, int count, int n,
                                                       float rampFactor) noexcept
{
    for (int first = 0; first < count; first += 4)
        readAllpassRampedRows<Lanes, Lanes> (reads + first, std::min (4, count - first), n, rampFactor);
}

} // namespace

// The AVX2 kernels take whole vectors of eight samples.
#define QUORVANE_WIDE_OR_BASELINE(call, ...) QUORVANE_ON_VECTOR_UNIT (n % 8 == 0, call, __VA_ARGS__)

void writeBlock (DelayLine& line, const float* input, int n) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (writeBlock, line, input, n);
}

void writeBlockSum (DelayLine& line, const float* a, const float* b, int n) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (writeBlockSum, line, a, b, n);
}

void writeBlocks (DelayLine* lines, const float* blocks, int stride, const float* const* feeds, int count,
                  int n) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (writeBlocks, lines, blocks, stride, feeds, count, n);
}

void readTap (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (readTap, line, output, n, offset, gain);
}

void readTapAdded (const DelayLine& line, float* output, int n, int offset, float gain) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (readTapAdded, line, output, n, offset, gain);
}

void readTapsAdded (const TapSet* sets, int setCount, int stride, int count, int n) noexcept
{
    if (n % 4 != 0 || n > DelayLine::maxBlock || count > 16)
    {
        for (const TapSet* set = sets; set != sets + setCount; ++set)
            for (int t = 0; t < count; ++t)
                if (set->gains[t] != 0.0f)
                    readTapAdded (set->lines[(size_t) t * (size_t) stride], set->output, n, set->offsets[t],
                                  set->gains[t]);
        return;
    }
    QUORVANE_WIDE_OR_BASELINE (readTapsAdded, sets, setCount, stride, count, n);
}

void readLinearRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (readLinearRamped, line, output, targetDelay, n, rampFactor);
}

void readLinearRampedGroup (const LinearTapRead* reads, int count, int n, float rampFactor) noexcept
{
    if (count < 1 || count > 8 || n % 4 != 0)
    {
        for (int r = 0; r < count; ++r)
            readLinearRamped (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
        return;
    }
    QUORVANE_WIDE_OR_BASELINE (readLinearRampedGroup, reads, count, n, rampFactor);
}

void readQuantisedRampedGroup (const LinearTapRead* reads, int count, int n, float rampFactor) noexcept
{
    if (count < 1 || count > 8 || n % 4 != 0)
    {
        for (int r = 0; r < count; ++r)
            readQuantisedRamped (*reads[r].line, reads[r].output, reads[r].targetDelay, n, rampFactor);
        return;
    }
    QUORVANE_WIDE_OR_BASELINE (readQuantisedRampedGroup, reads, count, n, rampFactor);
}

void readAllpassRampedGroup (const AllpassTapRead* reads, int count, int n, float rampFactor) noexcept
{
    if (count < 2 || count > 8 || n % 4 != 0)
    {
        for (int r = 0; r < count; ++r)
            readAllpassRamped (*reads[r].line, reads[r].output, reads[r].targetDelay, n, reads[r].tap, rampFactor);
        return;
    }
    QUORVANE_WIDE_OR_BASELINE (readAllpassRampedGroup, reads, count, n, rampFactor);
}

void readAllpassIntoRows (const AllpassTapRead* reads, int count, int n, float rampFactor, float (*rows)[4]) noexcept
{
    readAllpassRampedRows<Lanes, Lanes> (reads, count, n, rampFactor, rows);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
void readAllpassIntoRowsWide (const AllpassTapRead* reads, int count, int n, float rampFactor,
                              float (*rows)[8]) noexcept
{
    readAllpassRowsAvx2 (reads, count, n, rampFactor, rows);
}
#endif

void readQuantisedRamped (DelayLine& line, float* output, float targetDelay, int n, float rampFactor) noexcept
{
    QUORVANE_WIDE_OR_BASELINE (readQuantisedRamped, line, output, targetDelay, n, rampFactor);
}

#undef QUORVANE_WIDE_OR_BASELINE

void readAllpassRamped (DelayLine& line, float* output, float targetDelay, int n, int tap, float rampFactor) noexcept
{
    alignas (16) float frac[DelayLine::maxBlock];
    alignas (16) int32_t whole[DelayLine::maxBlock];
    alignas (16) float eta[DelayLine::maxBlock];
    targetDelay = std::min (targetDelay, longestInterpolatedDelay (line, n));
    glide (glideStart (line.tapDelay[(size_t) tap], targetDelay), targetDelay, n, rampFactor, frac, whole);
    line.tapDelay[(size_t) tap] = targetDelay;
    allpassCoefficients (frac, eta, n);

    // y[n] = eta.a[n] + b[n] - eta.y[n-1], a the newer and b the older neighbour.
    const float* buf = line.buffer;
    float y = line.tapState[(size_t) tap];
    const int32_t first = contiguousRun (line, whole, n);
    if (first >= 0)
    {
        const float* newer = buf + first;
        const float* older = newer + 1;
        for (int i = 0; i < n; ++i)
        {
            y = (newer[-i] - y) * eta[i] + older[-i];
            output[i] = y;
        }
    }
    else
    {
        alignas (16) int32_t index[DelayLine::maxBlock];
        gatherIndices (line, whole, index, n);
        for (int i = 0; i < n; ++i)
        {
            y = (buf[index[i]] - y) * eta[i] + buf[(index[i] + 1) & line.mask];
            output[i] = y;
        }
    }
    line.tapState[(size_t) tap] = y;
}

} // namespace quorvane
