#include "Filters.h"

#include "Lanes.h"
#include "SplitLanes.h"
#include "VectorUnit.h"

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
    transposedPass<V> (x, n, [&] (V c) { return b.template apply<secondUnitLow> (a.template apply<firstUnitLow> (c)); });
    a.store (first, line);
    b.store (second, line);
}

/** The lines from `line` on in groups of laneCount<V>; returns the first line left over. */
template <typename V>
[[gnu::always_inline]] inline int splitBankLanes (const BandSplit& split, float* const* blocks, int line, int count, int n) noexcept
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
[[gnu::always_inline]] inline int splitTwoBankLanes (const BandSplit& first, const BandSplit& second, float* const* blocks,
                                                     int line, int count, int n) noexcept
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

[[gnu::noinline]] int splitTwoBankBaseline (const BandSplit& first, const BandSplit& second, float* const* blocks, int count, int n) noexcept
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

int splitTwoBankVector (const BandSplit& first, const BandSplit& second, float* const* blocks, int count, int n) noexcept
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
/** Two channels as the first two lanes of a vector (the other two idle). */
inline Lanes pairOf (float l, float r) noexcept { return Lanes { l, r, 0.0f, 0.0f }; }

/** Runs `step` (one sample of both channels' recursions, as the first two lanes of a vector, the
    others zero) over two blocks in place. Four samples of each channel are loaded, paired and
    stored back in whole vectors; `step` sees the same pairs in the same order as sample by
    sample. */
template <typename Step>
[[gnu::always_inline]] inline void pairedRun (float* l, float* r, int n, Step&& step) noexcept
{
    int i = 0;
#if defined(QUORVANE_SHUFFLES)
    const Lanes zero {};
    for (; i + 4 <= n; i += 4)
    {
        const Lanes left = loadLanes (l + i), right = loadLanes (r + i);
        const Lanes first = __builtin_shufflevector (left, right, 0, 4, 1, 5);
        const Lanes second = __builtin_shufflevector (left, right, 2, 6, 3, 7);
        const Lanes y0 = step (__builtin_shufflevector (first, zero, 0, 1, 4, 5));
        const Lanes y1 = step (__builtin_shufflevector (first, zero, 2, 3, 4, 5));
        const Lanes y2 = step (__builtin_shufflevector (second, zero, 0, 1, 4, 5));
        const Lanes y3 = step (__builtin_shufflevector (second, zero, 2, 3, 4, 5));
        const Lanes y01 = __builtin_shufflevector (y0, y1, 0, 1, 4, 5), y23 = __builtin_shufflevector (y2, y3, 0, 1, 4, 5);
        storeLanes (l + i, __builtin_shufflevector (y01, y23, 0, 2, 4, 6));
        storeLanes (r + i, __builtin_shufflevector (y01, y23, 1, 3, 5, 7));
    }
#endif
    for (; i < n; ++i)
    {
        const Lanes y = step (pairOf (l[i], r[i]));
        l[i] = y[0];
        r[i] = y[1];
    }
}

} // namespace

namespace
{
/** Both channels' first-order recursions over n samples; returns the state. */
[[gnu::always_inline]] inline Lanes firstOrderPair (const Lanes (&c)[3], Lanes s, float* l, float* r, int n) noexcept
{
    const Lanes b0 = c[0], b1 = c[1], a1 = c[2];
    pairedRun (l, r, n, [&] (Lanes x) {
        const Lanes y = b0 * x + s;
        s = b1 * x - a1 * y;
        return y;
    });
    return s;
}

/** Both channels' biquad recursions over 64 samples, coefficients a1, a2, b0, b1, b2. */
[[gnu::always_inline]] inline void biquadPair (const Lanes (&c)[5], Lanes& s1, Lanes& s2, float* l, float* r) noexcept
{
    const Lanes a1 = c[0], a2 = c[1], b0 = c[2], b1 = c[3], b2 = c[4];
    Lanes w1 = s1, w2 = s2;
    pairedRun (l, r, 64, [&] (Lanes x) {
        const Lanes w = x - a1 * w1 - a2 * w2;
        const Lanes y = b0 * w + b1 * w1 + b2 * w2;
        w2 = w1;
        w1 = w;
        return y;
    });
    s1 = w1;
    s2 = w2;
}

/** Both channels' one-pole recursions: s = g.x + (1 - g).s, g.x formed first as process does. */
[[gnu::always_inline]] inline Lanes onePolePair (Lanes g, Lanes k, Lanes s, float* l, float* r, int n) noexcept
{
    pairedRun (l, r, n, [&] (Lanes x) {
        s = g * x + k * s;
        return s;
    });
    return s;
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
// The same lanes; built for AVX2 only for its three-operand instructions, which spare the copies.
QUORVANE_AVX2 Lanes onePolePairAvx2 (Lanes g, Lanes k, Lanes s, float* l, float* r, int n) noexcept
{
    return onePolePair (g, k, s, l, r, n);
}
QUORVANE_AVX2 Lanes firstOrderPairAvx2 (const Lanes (&c)[3], Lanes s, float* l, float* r, int n) noexcept
{
    return firstOrderPair (c, s, l, r, n);
}
QUORVANE_AVX2 void biquadPairAvx2 (const Lanes (&c)[5], Lanes& s1, Lanes& s2, float* l, float* r) noexcept
{
    biquadPair (c, s1, s2, l, r);
}
#endif
} // namespace

void processPair (OnePoleLowpass& left, OnePoleLowpass& right, float g, float* l, float* r, int n) noexcept
{
    const Lanes gain = pairOf (g, g), rest = pairOf (1.0f - g, 1.0f - g);
    Lanes s = pairOf (left.state, right.state);
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        s = onePolePairAvx2 (gain, rest, s, l, r, n);
    else
#endif
        s = onePolePair (gain, rest, s, l, r, n);
    left.state = s[0];
    right.state = s[1];
}

void processPair (FirstOrderFilter& left, FirstOrderFilter& right, int n, float* l, float* r) noexcept
{
    const Lanes c[3] = { pairOf (left.b0, right.b0), pairOf (left.b1, right.b1), pairOf (left.a1, right.a1) };
    Lanes s = pairOf (left.state, right.state);
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        s = firstOrderPairAvx2 (c, s, l, r, n);
    else
#endif
        s = firstOrderPair (c, s, l, r, n);
    left.state = s[0];
    right.state = s[1];
}

void processPair64 (Biquad& left, Biquad& right, float* l, float* r, bool smoothed, float smoothing) noexcept
{
    float cl[5], cr[5];
    coefficientsOf (left, smoothed, smoothing, cl);
    coefficientsOf (right, smoothed, smoothing, cr);
    Lanes c[5];
    for (size_t k = 0; k < 5; ++k)
        c[k] = pairOf (cl[k], cr[k]);
    Lanes s1 = pairOf (left.w1, right.w1), s2 = pairOf (left.w2, right.w2);
    left.x1 = l[63];
    left.x2 = l[62];
    right.x1 = r[63];
    right.x2 = r[62];
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (wideVectors())
        biquadPairAvx2 (c, s1, s2, l, r);
    else
#endif
        biquadPair (c, s1, s2, l, r);
    left.w1 = s1[0];
    right.w1 = s1[1];
    left.w2 = s2[0];
    right.w2 = s2[1];
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
