#include "HalfbandFilter.h"

#include "Gathers.h"
#include "Lanes.h"
#include "VectorUnit.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
    #include <immintrin.h>
#endif

namespace quorvane
{

void AllpassSection::process32 (float* output, const float* input) noexcept
{
    float previous = state;
    for (int i = 0; i < 32; ++i)
    {
        const float v = input[i] + offset - a * previous;
        output[i] = a * v + previous;
        previous = v;
    }
    state = previous;
    offset = -offset;
}

HalfbandFilter::HalfbandFilter()
{
    // An 8-coefficient half-band design, its coefficients alternately assigned to the branches.
    const float branchA[4] = { 0.035832789f, 0.27204013f, 0.57205719f, 0.82712477f };
    const float branchB[4] = { 0.13409014f, 0.42432487f, 0.70629215f, 0.94150311f };
    for (int k = 0; k < 4; ++k)
    {
        sections[(std::size_t) k].a = branchA[k];
        sections[(std::size_t) k + 6].a = branchB[k];
    }
}

void HalfbandFilter::decimate (const float* input, float* output) noexcept
{
    alignas (16) float bufA[32];
    alignas (16) float bufB[32];
    for (int k = 0; k < 32; ++k)
        bufA[k] = input[2 * k];
    // The odd branch sees the input one sample late: lastSample, in[1], in[3], .., in[61].
    bufB[0] = lastSample;
    for (int k = 1; k < 32; ++k)
        bufB[k] = input[2 * k - 1];
    lastSample = input[63];

    for (int s = 0; s < sectionCount; ++s)
    {
        sections[(std::size_t) s].process32 (bufA, bufA);
        sections[(std::size_t) s + 6].process32 (bufB, bufB);
    }
    for (int k = 0; k < 32; ++k)
        output[k] = 0.5f * (bufA[k] + bufB[k]);
}

void HalfbandFilter::interpolate (const float* input, float* output) noexcept
{
    alignas (16) float bufA[32];
    alignas (16) float bufB[32];
    const float* inA = input;
    const float* inB = input;
    for (int s = 0; s < sectionCount; ++s)
    {
        sections[(std::size_t) s].process32 (bufA, inA);
        sections[(std::size_t) s + 6].process32 (bufB, inB);
        inA = bufA;
        inB = bufB;
    }
    if (sectionCount == 0)
        for (int k = 0; k < 32; ++k)
            bufA[k] = bufB[k] = input[k];
    for (int k = 0; k < 32; ++k)
    {
        output[2 * k] = bufA[k];
        output[2 * k + 1] = bufB[k];
    }
}

namespace
{
/** Section s's states as lanes (left branch A, left B, right A, right B) into the filters, every
    offset flipped, as one pass of each section leaves them. */
void storeSections (HalfbandFilter& l, HalfbandFilter& r, const Lanes* states, int count) noexcept
{
    for (size_t s = 0; s < (size_t) count; ++s)
    {
        AllpassSection* sections[4] = { &l.sections[s], &l.sections[s + 6], &r.sections[s], &r.sections[s + 6] };
        for (size_t lane = 0; lane < 4; ++lane)
        {
            sections[lane]->state = states[s][lane];
            sections[lane]->offset = -sections[lane]->offset;
        }
    }
}

/** The sections of two filters as lanes: left branch A, left B, right A, right B. The section
    count is a constant, so the recursions' states stay in registers over the block. */
template <int Count>
struct SectionLanes
{
    Lanes a[Count > 0 ? Count : 1], state[Count > 0 ? Count : 1], offset[Count > 0 ? Count : 1];

    SectionLanes (const HalfbandFilter& l, const HalfbandFilter& r)
    {
        for (size_t s = 0; s < (size_t) Count; ++s)
        {
            const auto &lA = l.sections[s], &lB = l.sections[s + 6], &rA = r.sections[s], &rB = r.sections[s + 6];
            a[s] = Lanes { lA.a, lB.a, rA.a, rB.a };
            state[s] = Lanes { lA.state, lB.state, rA.state, rB.state };
            offset[s] = Lanes { lA.offset, lB.offset, rA.offset, rB.offset };
        }
    }

    [[gnu::always_inline]] Lanes operator() (Lanes x) noexcept
    {
        for (size_t s = 0; s < (size_t) Count; ++s)
        {
            const Lanes v = x + offset[s] - a[s] * state[s];
            x = a[s] * v + state[s];
            state[s] = v;
        }
        return x;
    }

    void finish (HalfbandFilter& l, HalfbandFilter& r) const noexcept { storeSections (l, r, state, Count); }
};

bool pairable (const HalfbandFilter& l, const HalfbandFilter& r) noexcept
{
    return l.sectionCount == r.sectionCount && l.sectionCount >= 0 && l.sectionCount <= 6;
}

/** Calls body.template operator()<Count>() with the filters' section count as a constant. */
template <typename Body>
void withSectionCount (int count, Body&& body) noexcept
{
    switch (count)
    {
        case 0: return body (std::integral_constant<int, 0> {});
        case 1: return body (std::integral_constant<int, 1> {});
        case 2: return body (std::integral_constant<int, 2> {});
        case 3: return body (std::integral_constant<int, 3> {});
        case 4: return body (std::integral_constant<int, 4> {});
        case 5: return body (std::integral_constant<int, 5> {});
        default: return body (std::integral_constant<int, 6> {});
    }
}

template <int Count>
void decimateLanes (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                    float* outR) noexcept
{
    SectionLanes<Count> sections (left, right);
#if defined(QUORVANE_SHUFFLES)
    // Four output samples at a time: their inputs are gathered with whole-vector shuffles (evens,
    // and the odds one sample late), transposed so each vector holds one sample time of the four
    // recursions, and the results transposed back so both branches' sums are vectors too.
    Lanes oddL { 0.0f, 0.0f, 0.0f, left.lastSample }, oddR { 0.0f, 0.0f, 0.0f, right.lastSample };
    const Lanes half = broadcast (0.5f);
    for (int k = 0; k < 32; k += 4)
    {
        const Lanes l0 = loadLanes (inL + 2 * k), l1 = loadLanes (inL + 2 * k + 4);
        const Lanes r0 = loadLanes (inR + 2 * k), r1 = loadLanes (inR + 2 * k + 4);
        const Lanes nextOddL = __builtin_shufflevector (l0, l1, 1, 3, 5, 7);
        const Lanes nextOddR = __builtin_shufflevector (r0, r1, 1, 3, 5, 7);
        Lanes t0 = __builtin_shufflevector (l0, l1, 0, 2, 4, 6);
        Lanes t1 = __builtin_shufflevector (oddL, nextOddL, 3, 4, 5, 6);
        Lanes t2 = __builtin_shufflevector (r0, r1, 0, 2, 4, 6);
        Lanes t3 = __builtin_shufflevector (oddR, nextOddR, 3, 4, 5, 6);
        oddL = nextOddL;
        oddR = nextOddR;
        transpose4 (t0, t1, t2, t3);
        t0 = sections (t0);
        t1 = sections (t1);
        t2 = sections (t2);
        t3 = sections (t3);
        transpose4 (t0, t1, t2, t3);
        storeLanes (outL + k, half * (t0 + t1));
        storeLanes (outR + k, half * (t2 + t3));
    }
    left.lastSample = oddL[3];
    right.lastSample = oddR[3];
#else
    // The odd branch sees the input one sample late.
    float lateL = left.lastSample, lateR = right.lastSample;
    for (int k = 0; k < 32; ++k)
    {
        const Lanes y = sections (Lanes { inL[2 * k], lateL, inR[2 * k], lateR });
        outL[k] = 0.5f * (y[0] + y[1]);
        outR[k] = 0.5f * (y[2] + y[3]);
        lateL = inL[2 * k + 1];
        lateR = inR[2 * k + 1];
    }
    left.lastSample = lateL;
    right.lastSample = lateR;
#endif
    sections.finish (left, right);
}

#if defined(QUORVANE_SHUFFLES)
/** Branch A then B of each output of samples k..k+3 into both channels' blocks (2k onwards). */
[[gnu::always_inline]] inline void storeInterpolated (const Lanes (&o)[4], float* outL, float* outR, int k) noexcept
{
    storeLanes (outL + 2 * k, __builtin_shufflevector (o[0], o[1], 0, 1, 4, 5));
    storeLanes (outL + 2 * k + 4, __builtin_shufflevector (o[2], o[3], 0, 1, 4, 5));
    storeLanes (outR + 2 * k, __builtin_shufflevector (o[0], o[1], 2, 3, 6, 7));
    storeLanes (outR + 2 * k + 4, __builtin_shufflevector (o[2], o[3], 2, 3, 6, 7));
}

#endif

template <int Count>
void interpolateLanes (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                       float* outR) noexcept
{
    SectionLanes<Count> sections (left, right);
#if defined(QUORVANE_SHUFFLES)
    // Four input samples at a time, each spread to its four recursions with one shuffle; the two
    // branches' outputs of two samples are interleaved into whole vectors of the output.
    for (int k = 0; k < 32; k += 4)
    {
        const Lanes l = loadLanes (inL + k), r = loadLanes (inR + k);
        const Lanes y[4] = { sections (__builtin_shufflevector (l, r, 0, 0, 4, 4)),
                             sections (__builtin_shufflevector (l, r, 1, 1, 5, 5)),
                             sections (__builtin_shufflevector (l, r, 2, 2, 6, 6)),
                             sections (__builtin_shufflevector (l, r, 3, 3, 7, 7)) };
        storeInterpolated (y, outL, outR, k);
    }
#else
    for (int k = 0; k < 32; ++k)
    {
        const Lanes y = sections (Lanes { inL[k], inL[k], inR[k], inR[k] });
        outL[2 * k] = y[0];
        outL[2 * k + 1] = y[1];
        outR[2 * k] = y[2];
        outR[2 * k + 1] = y[3];
    }
#endif
    sections.finish (left, right);
}

#if defined(QUORVANE_HAS_AVX2_KERNELS) && defined(QUORVANE_SHUFFLES)
/* Four sections as a wavefront on the wider unit: at step t section s filters sample t - s, so
   its input is what section s - 1 gave one step before, and two vectors hold all four sections of
   the four recursions, sections [0 | 1] in one and [3 | 2] in the other (the last section's output
   is then the low half). Every lane does the operations of its section on its samples in order, as
   the sections one after another do; only which lanes share an instruction changes. Steps before a
   section's first sample and after its last keep its state. */

struct Wavefront
{
    Lanes8 a[2], offset[2], state[2], y[2] {};

    /** The four recursions' sections: left A, left B, right A, right B of each section index. */
    [[gnu::always_inline]] QUORVANE_AVX2 static __m256i sectionsAt (const HalfbandFilter& l, const HalfbandFilter& r,
                                                                    int s) noexcept
    {
        return _mm256_setr_epi64x ((long long) &l.sections[(size_t) s], (long long) &l.sections[(size_t) s + 6],
                                   (long long) &r.sections[(size_t) s], (long long) &r.sections[(size_t) s + 6]);
    }

    /** Field `offset` bytes into the sections of [first | second], their four recursions each. */
    [[gnu::always_inline]] QUORVANE_AVX2 static Lanes8 fieldOf (const __m256i (&at)[4], size_t field, int first,
                                                                int second) noexcept
    {
        const __m128i all = _mm_set1_epi32 (-1);
        return (Lanes8) gathers::joined (gathers::floatsAt (at[first], field, all),
                                         gathers::floatsAt (at[second], field, all));
    }

    // The fields gathered straight into the wavefront's order, four recursions at a time.
    QUORVANE_AVX2 Wavefront (const HalfbandFilter& l, const HalfbandFilter& r) noexcept
    {
        const __m256i at[4] = { sectionsAt (l, r, 0), sectionsAt (l, r, 1), sectionsAt (l, r, 2),
                                sectionsAt (l, r, 3) };
        a[0] = fieldOf (at, offsetof (AllpassSection, a), 0, 1);
        a[1] = fieldOf (at, offsetof (AllpassSection, a), 3, 2);
        offset[0] = fieldOf (at, offsetof (AllpassSection, offset), 0, 1);
        offset[1] = fieldOf (at, offsetof (AllpassSection, offset), 3, 2);
        state[0] = fieldOf (at, offsetof (AllpassSection, state), 0, 1);
        state[1] = fieldOf (at, offsetof (AllpassSection, state), 3, 2);
    }

    /** One step; bit s of `running` set when section s has a sample in it. Returns the last
        section's output. */
    template <unsigned running = 15u>
    [[gnu::always_inline]] QUORVANE_AVX2 Lanes step (Lanes x) noexcept
    {
        // x below the first section's output (the upper half of the cast is left undefined, then
        // replaced).
        const Lanes8 in[2] = { (Lanes8) _mm256_insertf128_ps (_mm256_castps128_ps256 ((__m128) x),
                                                              _mm256_castps256_ps128 ((__m256) y[0]), 1),
                               __builtin_shufflevector (y[1], y[0], 4, 5, 6, 7, 12, 13, 14, 15) };
        advance<running, 0> (in[0]);
        advance<running, 1> (in[1]);
        return __builtin_shufflevector (y[1], y[1], 0, 1, 2, 3);
    }

    template <unsigned running, size_t j>
    [[gnu::always_inline]] QUORVANE_AVX2 void advance (Lanes8 x) noexcept
    {
        const Lanes8 v = x + offset[j] - a[j] * state[j];
        y[j] = a[j] * v + state[j];
        state[j] = keep<running, j> (state[j], v);
    }

    /** The new states of the running sections (low half: section 0 or 3, high: 1 or 2). */
    template <unsigned running, size_t j>
    [[gnu::always_inline]] QUORVANE_AVX2 static Lanes8 keep (Lanes8 old, Lanes8 v) noexcept
    {
        constexpr bool low = (running >> (j == 0 ? 0 : 3)) & 1u, high = (running >> (j == 0 ? 1 : 2)) & 1u;
        if constexpr (low && high)
            return v;
        else
            return __builtin_shufflevector (old, v, low ? 8 : 0, low ? 9 : 1, low ? 10 : 2, low ? 11 : 3,
                                            high ? 12 : 4, high ? 13 : 5, high ? 14 : 6, high ? 15 : 7);
    }

    /** The low or high two floats of v to p (unaligned, 64 bits). */
    [[gnu::always_inline]] QUORVANE_AVX2 static void storePair (float* p, __m128d v, bool high) noexcept
    {
        const double d = high ? _mm_cvtsd_f64 (_mm_unpackhi_pd (v, v)) : _mm_cvtsd_f64 (v);
        std::memcpy (p, &d, sizeof d);
    }

    /** Each section's state and its offset flipped, as one pass leaves them: the two fields lie
        side by side, so each recursion's pair is one 64-bit store. */
    QUORVANE_AVX2 void finish (HalfbandFilter& l, HalfbandFilter& r) const noexcept
    {
        static_assert (offsetof (AllpassSection, offset) == offsetof (AllpassSection, state) + sizeof (float));
        const int sectionOf[2][2] = { { 0, 1 }, { 3, 2 } };
        for (size_t j = 0; j < 2; ++j)
        {
            const __m256 flipped = _mm256_xor_ps ((__m256) offset[j], _mm256_set1_ps (-0.0f));
            // Per 128-bit half (one section): recursions 0 and 1, then 2 and 3, each (state, offset).
            const __m256 low = _mm256_unpacklo_ps ((__m256) state[j], flipped);
            const __m256 high = _mm256_unpackhi_ps ((__m256) state[j], flipped);
            for (int h = 0; h < 2; ++h)
            {
                const size_t s = (size_t) sectionOf[j][h];
                const __m128 first = h == 0 ? _mm256_castps256_ps128 (low) : _mm256_extractf128_ps (low, 1);
                const __m128 second = h == 0 ? _mm256_castps256_ps128 (high) : _mm256_extractf128_ps (high, 1);
                storePair (&l.sections[s].state, _mm_castps_pd (first), false);
                storePair (&l.sections[s + 6].state, _mm_castps_pd (first), true);
                storePair (&r.sections[s].state, _mm_castps_pd (second), false);
                storePair (&r.sections[s + 6].state, _mm_castps_pd (second), true);
            }
        }
    }
};

/** The four outputs of samples k..k+3 (last sections' outputs o) into both channels' blocks. */
[[gnu::always_inline]] inline void storeDecimated (const Lanes (&o)[4], float* outL, float* outR, int k) noexcept
{
    const Lanes half = broadcast (0.5f);
    // Branch A plus branch B of each channel, as 0.5 (a + b) of the scalar form.
    const Lanes a01 = __builtin_shufflevector (o[0], o[1], 0, 2, 4, 6);
    const Lanes b01 = __builtin_shufflevector (o[0], o[1], 1, 3, 5, 7);
    const Lanes a23 = __builtin_shufflevector (o[2], o[3], 0, 2, 4, 6);
    const Lanes b23 = __builtin_shufflevector (o[2], o[3], 1, 3, 5, 7);
    const Lanes s01 = a01 + b01, s23 = a23 + b23; // left, right, left, right
    storeLanes (outL + k, half * __builtin_shufflevector (s01, s23, 0, 2, 4, 6));
    storeLanes (outR + k, half * __builtin_shufflevector (s01, s23, 1, 3, 5, 7));
}

/** Step t of the decimator takes in[2t] and, one sample late for the odd branch, in[2t - 1]. */
[[gnu::always_inline]] inline Lanes decimatorInput (const float* inL, const float* inR, int t) noexcept
{
    return __builtin_shufflevector (loadLanes (inL + 2 * t - 2), loadLanes (inR + 2 * t - 2), 2, 1, 6, 5);
}

/** Both branches of a channel take the same sample: sample j of the four in l and r. */
template <int j>
[[gnu::always_inline]] inline Lanes interpolatorInput (Lanes l, Lanes r) noexcept
{
    return __builtin_shufflevector (l, r, j, j, j + 4, j + 4);
}

QUORVANE_AVX2 void decimateWavefront (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR,
                                      float* outL, float* outR) noexcept
{
    Wavefront w (left, right);
    w.step<1u> (Lanes { inL[0], left.lastSample, inR[0], right.lastSample });
    w.step<3u> (decimatorInput (inL, inR, 1));
    w.step<7u> (decimatorInput (inL, inR, 2));
    Lanes o[4];
    for (int k = 0; k < 28; k += 4)
    {
        for (int j = 0; j < 4; ++j)
            o[j] = w.step (decimatorInput (inL, inR, k + j + 3));
        storeDecimated (o, outL, outR, k);
    }
    o[0] = w.step (decimatorInput (inL, inR, 31));
    o[1] = w.step<14u> (Lanes {});
    o[2] = w.step<12u> (Lanes {});
    o[3] = w.step<8u> (Lanes {});
    storeDecimated (o, outL, outR, 28);
    left.lastSample = inL[63];
    right.lastSample = inR[63];
    w.finish (left, right);
}

/** storeInterpolated with the stores as the unit's own: as plain copies the compiler may route
    them through integer registers. */
[[gnu::always_inline]] QUORVANE_AVX2 inline void storeInterpolatedAvx2 (const Lanes (&o)[4], float* outL, float* outR,
                                                                        int k) noexcept
{
    _mm_storeu_ps (outL + 2 * k, (__m128) __builtin_shufflevector (o[0], o[1], 0, 1, 4, 5));
    _mm_storeu_ps (outL + 2 * k + 4, (__m128) __builtin_shufflevector (o[2], o[3], 0, 1, 4, 5));
    _mm_storeu_ps (outR + 2 * k, (__m128) __builtin_shufflevector (o[0], o[1], 2, 3, 6, 7));
    _mm_storeu_ps (outR + 2 * k + 4, (__m128) __builtin_shufflevector (o[2], o[3], 2, 3, 6, 7));
}

QUORVANE_AVX2 void interpolateWavefront (HalfbandFilter& left, HalfbandFilter& right, const float* inL,
                                         const float* inR, float* outL, float* outR) noexcept
{
    Wavefront w (left, right);
    Lanes l = loadLanes (inL), r = loadLanes (inR);
    w.step<1u> (interpolatorInput<0> (l, r));
    w.step<3u> (interpolatorInput<1> (l, r));
    w.step<7u> (interpolatorInput<2> (l, r));
    Lanes o[4];
    for (int k = 0; k < 28; k += 4)
    {
        o[0] = w.step (interpolatorInput<3> (l, r));
        l = loadLanes (inL + k + 4);
        r = loadLanes (inR + k + 4);
        o[1] = w.step (interpolatorInput<0> (l, r));
        o[2] = w.step (interpolatorInput<1> (l, r));
        o[3] = w.step (interpolatorInput<2> (l, r));
        storeInterpolatedAvx2 (o, outL, outR, k);
    }
    o[0] = w.step (interpolatorInput<3> (l, r));
    o[1] = w.step<14u> (Lanes {});
    o[2] = w.step<12u> (Lanes {});
    o[3] = w.step<8u> (Lanes {});
    storeInterpolatedAvx2 (o, outL, outR, 28);
    w.finish (left, right);
}
#endif
} // namespace

void decimateStereo (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                     float* outR) noexcept
{
    if (! pairable (left, right))
    {
        left.decimate (inL, outL);
        right.decimate (inR, outR);
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS) && defined(QUORVANE_SHUFFLES)
    if (left.sectionCount == 4 && wideVectors())
        return decimateWavefront (left, right, inL, inR, outL, outR);
#endif
    withSectionCount (left.sectionCount,
                      [&] (auto count) { decimateLanes<count()> (left, right, inL, inR, outL, outR); });
}

void interpolateStereo (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                        float* outR) noexcept
{
    if (! pairable (left, right))
    {
        left.interpolate (inL, outL);
        right.interpolate (inR, outR);
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS) && defined(QUORVANE_SHUFFLES)
    if (left.sectionCount == 4 && wideVectors())
        return interpolateWavefront (left, right, inL, inR, outL, outR);
#endif
    withSectionCount (left.sectionCount,
                      [&] (auto count) { interpolateLanes<count()> (left, right, inL, inR, outL, outR); });
}

void HalfbandFilter::clear() noexcept
{
    for (auto& s : sections)
        s.state = 0.0f;
    lastSample = 0.0f;
}

} // namespace quorvane
