#include "Filters.h"

#include "Lanes.h"
#include "SplitLanes.h"
#include "VectorUnit.h"

#include <array>
#include <cmath>

namespace quorvane
{

// 2 pi as every coefficient design has always used it; changing it would shift every corner.
constexpr float twoPi = 6.28318f;

void FirstOrderFilter::process (int n, const float* input, float* output) noexcept
{
    float s = state;
    for (int i = 0; i < n; ++i)
    {
        const float x = input[i];
        const float y = b0 * x + s;
        s = b1 * x - a1 * y;
        output[i] = y;
    }
    state = s;
}

void FirstOrderFilter::setCoefficients (float newB0, float newB1, float newA1) noexcept
{
    b0 = newB0;
    b1 = newB1;
    a1 = newA1;
}

void OnePoleLowpass::process (float g, const float* input, float* output, int n) noexcept
{
    alignas (16) float scaled[128];
    for (int i = 0; i < n; ++i)
        scaled[i] = g * input[i];
    const float k = 1.0f - g;
    float s = state;
    for (int i = 0; i < n; ++i)
    {
        s = scaled[i] + k * s;
        output[i] = s;
    }
    state = s;
}

namespace
{
/** Scalar split of one block: the reference arithmetic every path below reproduces per lane. */
void splitBands (OnePoleLowpass& filter, float g, float* x, float highGain, float lowGain, int n) noexcept
{
    const float k = 1.0f - g;
    float s = filter.state;
    for (int i = 0; i < n; ++i)
    {
        s = g * x[i] + k * s;
        x[i] = (x[i] - s) * highGain + s * lowGain;
    }
    filter.state = s;
}

#if defined(QUORVANE_SHUFFLES)
/** Four blocks at once (eight with Lanes8), one lane per block: 4 x 4 tiles are transposed so that
    each vector holds one sample time of the blocks, `column` advances their recursions on it, and
    the tile goes back. With Lanes8 the blocks 0-3 lie in the low halves, 4-7 in the high ones. */
template <typename V, typename Column>
[[gnu::always_inline]] inline void transposedPass (float* const* blocks, int n, Column&& column) noexcept
{
    // The block pointers in locals: the stores could otherwise be taken to change them, and every
    // tile would load them again.
    constexpr int count = laneCount<V>;
    float* x[count];
    for (int l = 0; l < count; ++l)
        x[l] = blocks[l];
    if constexpr (laneCount<V> == 8)
        if (n % 8 == 0)
        {
            // Eight samples of the eight blocks per tile: whole-vector loads and stores around
            // 8 x 8 transposes, which cost fewer instructions than two tiles of 4 x 4.
            for (int i = 0; i < n; i += 8)
            {
                V t[8];
                for (int l = 0; l < 8; ++l)
                    t[l] = loadLanes<V> (x[l] + i);
                transpose8 (t);
                for (auto& c : t)
                    c = column (c);
                transpose8 (t);
                for (int l = 0; l < 8; ++l)
                    storeLanes (x[l] + i, t[l]);
            }
            return;
        }
    for (int i = 0; i < n; i += 4)
    {
        V t[4];
        for (int l = 0; l < 4; ++l)
        {
            if constexpr (laneCount<V> == 4)
                t[l] = loadLanes (x[l] + i);
            else
                t[l] = joined (loadLanes (x[l] + i), loadLanes (x[l + 4] + i));
        }
        transpose4 (t[0], t[1], t[2], t[3]);
        for (auto& c : t)
            c = column (c);
        transpose4 (t[0], t[1], t[2], t[3]);
        for (int l = 0; l < 4; ++l)
        {
            if constexpr (laneCount<V> == 4)
                storeLanes (x[l] + i, t[l]);
            else
            {
                storeLanes (x[l] + i, lowHalf (t[l]));
                storeLanes (x[l + 4] + i, highHalf (t[l]));
            }
        }
    }
}

/** One split of laneCount<V> lines. */
template <typename V, bool unitLow>
[[gnu::always_inline]] inline void splitBandsLanes (const BandSplit& split, int line, float* const* x, int n) noexcept
{
    SplitLanes<V> a (split, line);
    transposedPass<V> (x, n, [&] (V c) { return a.template apply<unitLow> (c); });
    a.store (split, line);
}

/** Two splits of the same lines, the second on the first's output, in one pass. */
template <typename V, bool firstUnitLow, bool secondUnitLow>
[[gnu::always_inline]] inline void splitTwoBandsLanes (const BandSplit& first, const BandSplit& second, int line,
                                                       float* const* x, int n) noexcept
{
    SplitLanes<V> a (first, line), b (second, line);
    transposedPass<V> (x, n,
                       [&] (V c) { return b.template apply<secondUnitLow> (a.template apply<firstUnitLow> (c)); });
    a.store (first, line);
    b.store (second, line);
}

/** The lines from `line` on in groups of laneCount<V>; returns the first line left over. */
template <typename V>
[[gnu::always_inline]] inline int splitBankLanes (const BandSplit& split, float* const* blocks, int line, int count,
                                                  int n) noexcept
{
    for (; line + laneCount<V> <= count; line += laneCount<V>)
    {
        if (split.lowGain == nullptr)
            splitBandsLanes<V, true> (split, line, blocks + line, n);
        else
            splitBandsLanes<V, false> (split, line, blocks + line, n);
    }
    return line;
}

template <typename V>
[[gnu::always_inline]] inline int splitTwoBankLanes (const BandSplit& first, const BandSplit& second,
                                                     float* const* blocks, int line, int count, int n) noexcept
{
    const bool unitA = first.lowGain == nullptr, unitB = second.lowGain == nullptr;
    for (; line + laneCount<V> <= count; line += laneCount<V>)
    {
        if (unitA)
            unitB ? splitTwoBandsLanes<V, true, true> (first, second, line, blocks + line, n)
                  : splitTwoBandsLanes<V, true, false> (first, second, line, blocks + line, n);
        else
            unitB ? splitTwoBandsLanes<V, false, true> (first, second, line, blocks + line, n)
                  : splitTwoBandsLanes<V, false, false> (first, second, line, blocks + line, n);
    }
    return line;
}

[[gnu::noinline]] int splitBankBaseline (const BandSplit& split, float* const* blocks, int count, int n) noexcept
{
    return splitBankLanes<Lanes> (split, blocks, 0, count, n);
}

[[gnu::noinline]] int splitTwoBankBaseline (const BandSplit& first, const BandSplit& second, float* const* blocks,
                                            int count, int n) noexcept
{
    return splitTwoBankLanes<Lanes> (first, second, blocks, 0, count, n);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 int splitBankAvx2 (const BandSplit& split, float* const* blocks, int count, int n) noexcept
{
    return splitBankLanes<Lanes> (split, blocks, splitBankLanes<Lanes8> (split, blocks, 0, count, n), count, n);
}

QUORVANE_AVX2 int splitTwoBankAvx2 (const BandSplit& first, const BandSplit& second, float* const* blocks, int count,
                                    int n) noexcept
{
    const int line = splitTwoBankLanes<Lanes8> (first, second, blocks, 0, count, n);
    return splitTwoBankLanes<Lanes> (first, second, blocks, line, count, n);
}
#endif

/** The lines the vector kernels can take (multiples of four of them), on the unit in use;
    returns the first line left to the scalar form. */
int splitBankVector (const BandSplit& split, float* const* blocks, int count, int n) noexcept
{
    if (n % 4 != 0)
        return 0;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        return splitBankAvx2 (split, blocks, count, n);
#endif
    return splitBankBaseline (split, blocks, count, n);
}

int splitTwoBankVector (const BandSplit& first, const BandSplit& second, float* const* blocks, int count,
                        int n) noexcept
{
    if (n % 4 != 0)
        return 0;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        return splitTwoBankAvx2 (first, second, blocks, count, n);
#endif
    return splitTwoBankBaseline (first, second, blocks, count, n);
}
#else
int splitBankVector (const BandSplit&, float* const*, int, int) noexcept { return 0; }
int splitTwoBankVector (const BandSplit&, const BandSplit&, float* const*, int, int) noexcept { return 0; }
#endif
} // namespace

void splitBandsBank (OnePoleLowpass* filters, float g, float* const* blocks, const float* highGain,
                     const float* lowGain, int count, int n) noexcept
{
    const BandSplit split { filters, g, highGain, lowGain };
    for (int first = splitBankVector (split, blocks, count, n); first < count; ++first)
        splitBands (filters[first], g, blocks[first], highGain != nullptr ? highGain[first] : 1.0f,
                    lowGain != nullptr ? lowGain[first] : 1.0f, n);
}

void splitTwoBandsBank (const BandSplit& first, const BandSplit& second, float* const* blocks, int count,
                        int n) noexcept
{
    const float* none = nullptr;
    for (int line = splitTwoBankVector (first, second, blocks, count, n); line < count; ++line)
        for (const BandSplit* split : { &first, &second })
            splitBands (split->filters[line], split->g, blocks[line],
                        split->highGain != none ? split->highGain[line] : 1.0f,
                        split->lowGain != none ? split->lowGain[line] : 1.0f, n);
}

namespace
{
/** 64 samples of the direct-form-II recursion with the given coefficients. */
void runBiquad64 (Biquad& f, float* output, const float* input, const float (&c)[5]) noexcept
{
    const float a1 = c[0], a2 = c[1], b0 = c[2], b1 = c[3], b2 = c[4];
    const float last = input[63], beforeLast = input[62];
    float s1 = f.w1, s2 = f.w2;
    for (int i = 0; i < 64; ++i)
    {
        const float w = input[i] - a1 * s1 - a2 * s2;
        output[i] = b0 * w + b1 * s1 + b2 * s2;
        s2 = s1;
        s1 = w;
    }
    f.w1 = s1;
    f.w2 = s2;
    f.x1 = last;
    f.x2 = beforeLast;
    f.y1 = output[63];
    f.y2 = output[62];
}

/** The five coefficients a biquad runs with: its targets, or its current ones moved a step on. */
void coefficientsOf (Biquad& f, bool smoothed, float smoothing, float (&c)[5]) noexcept
{
    const float target[5] = { f.a1, f.a2, f.b0, f.b1, f.b2 };
    const float sumBefore = f.current[2] + f.current[3] + f.current[4];
    for (size_t k = 0; k < 5; ++k)
    {
        if (smoothed)
            f.current[k] = f.current[k] + (target[k] - f.current[k]) * smoothing;
        c[k] = smoothed ? f.current[k] : target[k];
    }
    // The first steps of a glide from a low corner far upwards grow the numerator many times over:
    // as after a jump, the state then starts from the output's level.
    const float sumAfter = c[2] + c[3] + c[4];
    if (smoothed && sumAfter > 2.0f * sumBefore && sumBefore > 0.0f)
        holdOutputLevel (f, sumAfter);
}
} // namespace

void Biquad::process64 (float* output, const float* input) noexcept
{
    const float c[5] = { a1, a2, b0, b1, b2 };
    runBiquad64 (*this, output, input, c);
}

void Biquad::processSmoothed64 (float* output, const float* input, float smoothing) noexcept
{
    float c[5];
    coefficientsOf (*this, true, smoothing, c);
    runBiquad64 (*this, output, input, c);
}

namespace
{
/* Both channels' recursions run side by side. Their input is read as frames interleaved in vectors
   (left, right, left, right, ...), and whatever of a recursion does not depend on its outputs is
   formed there, for two (four) frames per instruction. Only the rest runs frame by frame, on the
   frame in lanes 0 and 1 of a vector; the lanes above hold other frames and run the same
   recursion on them, which nothing reads. So coefficients and states are held in every pair of
   lanes alike, and no lane needs clearing. */

/** The values of both channels in every pair of lanes of V. */
template <typename V>
[[gnu::always_inline]] inline V interleavedOf (float l, float r) noexcept
{
#if defined(QUORVANE_SHUFFLES)
    if constexpr (laneCount<V> == 8)
    {
        // Built from one pair and one shuffle: the four lanes written out would be joined through
        // more moves on the way to eight.
        Lanes pair {};
        pair[0] = l;
        pair[1] = r;
        return __builtin_shufflevector (pair, pair, 0, 1, 0, 1, 0, 1, 0, 1);
    }
    else
#endif
        return Lanes { l, r, l, r };
}

/** y = b0.x + s, s = b1.x - a1.y: both products are taken from the input alone. */
template <typename V>
struct FirstOrderRecursion
{
    V b0, b1, a1, s;

    [[gnu::always_inline]] std::array<V, 2> prepare (V x) const noexcept { return { b0 * x, b1 * x }; }
    [[gnu::always_inline]] V step (const std::array<V, 2>& p) noexcept
    {
        const V y = p[0] + s;
        s = p[1] - a1 * y;
        return y;
    }
};

/** s = g.x + (1 - g).s, g.x formed first as OnePoleLowpass::process does. */
template <typename V>
struct OnePoleRecursion
{
    V g, k, s;

    [[gnu::always_inline]] std::array<V, 1> prepare (V x) const noexcept { return { g * x }; }
    [[gnu::always_inline]] V step (const std::array<V, 1>& p) noexcept
    {
        s = p[0] + k * s;
        return s;
    }
};

/** The recursive half of the direct form: w = x - a1.w1 - a2.w2, returned as the output. */
template <typename V>
struct BiquadRecursion
{
    V a1, a2, w1, w2;

    [[gnu::always_inline]] std::array<V, 1> prepare (V x) const noexcept { return { x }; }
    [[gnu::always_inline]] V step (const std::array<V, 1>& x) noexcept
    {
        const V w = x[0] - a1 * w1 - a2 * w2;
        w2 = w1;
        w1 = w;
        return w;
    }
};

#if defined(QUORVANE_SHUFFLES)
/** Pair `p` (1 to 3) of each vector moved down to lanes 0 and 1 (what lands above does not matter). */
template <int p, typename V, size_t n>
[[gnu::always_inline]] inline std::array<V, n> pairAt (const std::array<V, n>& v) noexcept
{
    static_assert (p >= 1 && p < laneCount<V> / 2);
    std::array<V, n> u;
    for (size_t k = 0; k < n; ++k)
    {
        if constexpr (laneCount<V> == 4)
            u[k] = __builtin_shufflevector (v[k], v[k], 2, 3, 2, 3);
        else if constexpr (p == 1)
            u[k] = __builtin_shufflevector (v[k], v[k], 2, 3, 2, 3, 6, 7, 6, 7);
        else if constexpr (p == 2)
            u[k] = __builtin_shufflevector (v[k], v[k], 4, 5, 6, 7, 4, 5, 6, 7);
        else
            u[k] = __builtin_shufflevector (v[k], v[k], 6, 7, 6, 7, 6, 7, 6, 7);
    }
    return u;
}
#endif

/** Runs a recursion over both channels' blocks (in from inL and inR, out to outL and outR, which
    may be the same memory), laneCount<V> frames at a time, then frame by frame: every frame sees
    the same operations in the same order either way. */
template <typename V, typename Recursion>
[[gnu::always_inline]] inline void pairedFrames (Recursion& recursion, const float* inL, const float* inR,
                                                 float* outL, float* outR, int n) noexcept
{
    int i = 0;
#if defined(QUORVANE_SHUFFLES)
    for (; i + laneCount<V> <= n; i += laneCount<V>)
    {
        const V left = loadLanes<V> (inL + i), right = loadLanes<V> (inR + i);
        // What one unpack instruction of each kind gives: frames 0 and 1 in `low`, 2 and 3 in
        // `high`, and with eight lanes 4 and 5, 6 and 7 in their upper halves.
        V low, high;
        if constexpr (laneCount<V> == 4)
        {
            low = __builtin_shufflevector (left, right, 0, 4, 1, 5);
            high = __builtin_shufflevector (left, right, 2, 6, 3, 7);
        }
        else
        {
            low = __builtin_shufflevector (left, right, 0, 8, 1, 9, 4, 12, 5, 13);
            high = __builtin_shufflevector (left, right, 2, 10, 3, 11, 6, 14, 7, 15);
        }
        const auto a = recursion.prepare (low), b = recursion.prepare (high);
        const V y0 = recursion.step (a), y1 = recursion.step (pairAt<1> (a));
        const V y2 = recursion.step (b), y3 = recursion.step (pairAt<1> (b));
        // Each two frames' outputs into one vector, then each channel's lanes out of two of those.
        if constexpr (laneCount<V> == 4)
        {
            const V y01 = __builtin_shufflevector (y0, y1, 0, 1, 4, 5);
            const V y23 = __builtin_shufflevector (y2, y3, 0, 1, 4, 5);
            storeLanes (outL + i, __builtin_shufflevector (y01, y23, 0, 2, 4, 6));
            storeLanes (outR + i, __builtin_shufflevector (y01, y23, 1, 3, 5, 7));
        }
        else
        {
            const V y4 = recursion.step (pairAt<2> (a)), y5 = recursion.step (pairAt<3> (a));
            const V y6 = recursion.step (pairAt<2> (b)), y7 = recursion.step (pairAt<3> (b));
            const V y01 = __builtin_shufflevector (y0, y1, 0, 1, 8, 9, 4, 5, 12, 13);
            const V y23 = __builtin_shufflevector (y2, y3, 0, 1, 8, 9, 4, 5, 12, 13);
            const V y45 = __builtin_shufflevector (y4, y5, 0, 1, 8, 9, 4, 5, 12, 13);
            const V y67 = __builtin_shufflevector (y6, y7, 0, 1, 8, 9, 4, 5, 12, 13);
            // Frames 0, 1 | 4, 5 and 2, 3 | 6, 7: the lanes of each channel lie in order across them.
            const V even = __builtin_shufflevector (y01, y45, 0, 1, 2, 3, 8, 9, 10, 11);
            const V odd = __builtin_shufflevector (y23, y67, 0, 1, 2, 3, 8, 9, 10, 11);
            storeLanes (outL + i, __builtin_shufflevector (even, odd, 0, 2, 8, 10, 4, 6, 12, 14));
            storeLanes (outR + i, __builtin_shufflevector (even, odd, 1, 3, 9, 11, 5, 7, 13, 15));
        }
    }
#endif
    for (; i < n; ++i)
    {
        V x {};
        x[0] = inL[i];
        x[1] = inR[i];
        const V y = recursion.step (recursion.prepare (x));
        outL[i] = y[0];
        outR[i] = y[1];
    }
}

/** pairedFrames, with loops of a fixed count for the engine's two block lengths (64 samples at the
    full rate, 32 at the half). */
template <typename V, typename Recursion>
[[gnu::always_inline]] inline void pairedRun (Recursion& recursion, const float* inL, const float* inR, float* outL,
                                              float* outR, int n) noexcept
{
    if (n == 64)
        pairedFrames<V> (recursion, inL, inR, outL, outR, 64);
    else if (n == 32)
        pairedFrames<V> (recursion, inL, inR, outL, outR, 32);
    else
        pairedFrames<V> (recursion, inL, inR, outL, outR, n);
}

/** Both channels' first-order filters over n samples in place. */
template <typename V>
[[gnu::always_inline]] inline void firstOrderPair (FirstOrderFilter& left, FirstOrderFilter& right, int n,
                                                   const float* inL, const float* inR, float* outL,
                                                   float* outR) noexcept
{
    FirstOrderRecursion<V> recursion { interleavedOf<V> (left.b0, right.b0), interleavedOf<V> (left.b1, right.b1),
                                       interleavedOf<V> (left.a1, right.a1),
                                       interleavedOf<V> (left.state, right.state) };
    pairedRun<V> (recursion, inL, inR, outL, outR, n);
    left.state = recursion.s[0];
    right.state = recursion.s[1];
}

/** Both channels' one-pole lowpasses over n samples. */
template <typename V>
[[gnu::always_inline]] inline void onePolePair (OnePoleLowpass& left, OnePoleLowpass& right, float g, const float* inL,
                                                const float* inR, float* outL, float* outR, int n) noexcept
{
    const float k = 1.0f - g;
    OnePoleRecursion<V> recursion { interleavedOf<V> (g, g), interleavedOf<V> (k, k),
                                    interleavedOf<V> (left.state, right.state) };
    pairedRun<V> (recursion, inL, inR, outL, outR, n);
    left.state = recursion.s[0];
    right.state = recursion.s[1];
}

/** One channel's biquad outputs y = b0.w + b1.w1 + b2.w2 over 64 samples, from its w (w[-1] and
    w[-2] the states before the block), in whole vectors. */
template <typename V>
[[gnu::always_inline]] inline void biquadOutputs (const float* w, float b0, float b1, float b2, float* y) noexcept
{
    const V c0 = broadcast<V> (b0), c1 = broadcast<V> (b1), c2 = broadcast<V> (b2);
#pragma GCC unroll 16
    for (int i = 0; i < 64; i += laneCount<V>)
        storeLanes (y + i, c0 * loadLanes<V> (w + i) + c1 * loadLanes<V> (w + i - 1) + c2 * loadLanes<V> (w + i - 2));
}

/** Both channels' biquads over 64 samples in place with coefficients a1, a2, b0, b1, b2 of each:
    the recursion for w alone, then the outputs from the w kept. */
template <typename V>
[[gnu::always_inline]] inline void biquadPair (Biquad& left, Biquad& right, const float (&cl)[5], const float (&cr)[5],
                                               float* l, float* r) noexcept
{
    // Each channel's w of the block from index 8 on (aligned), its two states just before.
    alignas (32) float w[2][8 + 64];
    w[0][6] = left.w2;
    w[0][7] = left.w1;
    w[1][6] = right.w2;
    w[1][7] = right.w1;
    BiquadRecursion<V> recursion { interleavedOf<V> (cl[0], cr[0]), interleavedOf<V> (cl[1], cr[1]),
                                   interleavedOf<V> (left.w1, right.w1), interleavedOf<V> (left.w2, right.w2) };
    pairedRun<V> (recursion, l, r, w[0] + 8, w[1] + 8, 64);
    left.w1 = recursion.w1[0];
    right.w1 = recursion.w1[1];
    left.w2 = recursion.w2[0];
    right.w2 = recursion.w2[1];
    biquadOutputs<V> (w[0] + 8, cl[2], cl[3], cl[4], l);
    biquadOutputs<V> (w[1] + 8, cr[2], cr[3], cr[4], r);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
// Eight frames per group and eight lanes for the whole-block parts; the frame-by-frame part costs
// as many instructions in eight lanes as in four and spares the moves between the two widths.
QUORVANE_AVX2 void onePolePairAvx2 (OnePoleLowpass& left, OnePoleLowpass& right, float g, const float* inL,
                                    const float* inR, float* outL, float* outR, int n) noexcept
{
    onePolePair<Lanes8> (left, right, g, inL, inR, outL, outR, n);
}
QUORVANE_AVX2 void firstOrderPairAvx2 (FirstOrderFilter& left, FirstOrderFilter& right, int n, const float* inL,
                                       const float* inR, float* outL, float* outR) noexcept
{
    firstOrderPair<Lanes8> (left, right, n, inL, inR, outL, outR);
}
QUORVANE_AVX2 void firstOrderPairInPlaceAvx2 (FirstOrderFilter& left, FirstOrderFilter& right, int n, float* l,
                                              float* r) noexcept
{
    firstOrderPair<Lanes8> (left, right, n, l, r, l, r);
}
QUORVANE_AVX2 void biquadPairAvx2 (Biquad& left, Biquad& right, const float (&cl)[5], const float (&cr)[5], float* l,
                                   float* r) noexcept
{
    biquadPair<Lanes8> (left, right, cl, cr, l, r);
}
#endif
} // namespace

void processPair (OnePoleLowpass& left, OnePoleLowpass& right, float g, const float* inL, const float* inR, float* outL,
                  float* outR, int n) noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        return onePolePairAvx2 (left, right, g, inL, inR, outL, outR, n);
#endif
    onePolePair<Lanes> (left, right, g, inL, inR, outL, outR, n);
}

void processPair (FirstOrderFilter& left, FirstOrderFilter& right, int n, const float* inL, const float* inR,
                  float* outL, float* outR) noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        return firstOrderPairAvx2 (left, right, n, inL, inR, outL, outR);
#endif
    firstOrderPair<Lanes> (left, right, n, inL, inR, outL, outR);
}

void processPair (FirstOrderFilter& left, FirstOrderFilter& right, int n, float* l, float* r) noexcept
{
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        return firstOrderPairInPlaceAvx2 (left, right, n, l, r);
#endif
    firstOrderPair<Lanes> (left, right, n, l, r, l, r);
}

void processPair64 (Biquad& left, Biquad& right, float* l, float* r, bool smoothed, float smoothing) noexcept
{
    float cl[5], cr[5];
    coefficientsOf (left, smoothed, smoothing, cl);
    coefficientsOf (right, smoothed, smoothing, cr);
    left.x1 = l[63];
    left.x2 = l[62];
    right.x1 = r[63];
    right.x2 = r[62];
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        biquadPairAvx2 (left, right, cl, cr, l, r);
    else
#endif
        biquadPair<Lanes> (left, right, cl, cr, l, r);
    left.y1 = l[63];
    left.y2 = l[62];
    right.y1 = r[63];
    right.y2 = r[62];
}

void continueFromHistory (Biquad& f) noexcept { holdOutputLevel (f, f.b0 + f.b1 + f.b2); }

void holdOutputLevel (Biquad& f, float sum) noexcept
{
    // The state that holds the level of the last outputs at rest: w1 = w2 = W gives the output
    // (b0 + b1 + b2).W for a steady input. Their mean drops what alternates from sample to sample,
    // which a lower corner would otherwise take as a steep slope and overshoot on.
    if (! (std::fabs (sum) > 1e-30f))
        return;
    const float level = 0.5f * (f.y1 + f.y2) / sum;
    if (std::isfinite (level))
        f.w1 = f.w2 = level;
}

void clearState (Biquad& f) noexcept { f.w1 = f.w2 = f.x1 = f.x2 = f.y1 = f.y2 = 0.0f; }

void designLowpass (Biquad& filter, float f, float fs) noexcept
{
    const float w = f * twoPi / fs;
    const float s = std::sin (w);
    const float c = std::cos (w);
    const float alpha = s / 1.4142f;
    const float norm = 1.0f + alpha;
    filter.a1 = -2.0f * c / norm;
    filter.a2 = (1.0f - alpha) / norm;
    filter.b0 = 0.5f * (1.0f - c) / norm;
    filter.b2 = filter.b0;
    filter.b1 = (1.0f - c) / norm;
}

Coefficients3 designShelf (float fc, float h, float fs) noexcept
{
    const float k = 1.0f / (fc * twoPi);
    const float d = 2.0f * fs * k;
    const float e = 2.0f * fs * k * h;
    return { (1.0f + e) / (1.0f + d), (1.0f - e) / (1.0f + d), (1.0f - d) / (1.0f + d) };
}

Coefficients3 designAllpass1 (float fc, float fs) noexcept
{
    const float c = 2.0f * fs / (fc * twoPi);
    const float d = (1.0f - c) / (1.0f + c);
    return { d, 1.0f, d };
}

Coefficients3 designDamper (float fs) noexcept
{
    const float k = 2.0f * fs / (twoPi * 9000.0f);
    return { 1.0f, 1.0f, (1.0f - k) / (1.0f + k) };
}

} // namespace quorvane
