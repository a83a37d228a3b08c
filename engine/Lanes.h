#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quorvane
{

/** Four floats in one vector register of the x86-64 baseline. Each operation acts on every lane
    exactly as the scalar operation would, so a stage written in lanes computes the same samples as
    its scalar form; it only does four of them per instruction. */
typedef float Lanes __attribute__ ((vector_size (16)));

/** Eight floats: one register of the wider unit (see VectorUnit.h), two of the baseline. Kernels
    written for any lane count run with Lanes on the baseline and with Lanes8 inside functions
    built for the wider unit; lane for lane the operations are the same. */
typedef float Lanes8 __attribute__ ((vector_size (32)));

/** Four (eight) 32-bit integers, for masks and whole-sample indices beside Lanes (Lanes8). */
typedef int32_t IntLanes __attribute__ ((vector_size (16)));
typedef int32_t IntLanes8 __attribute__ ((vector_size (32)));

template <typename V>
constexpr int laneCount = (int) (sizeof (V) / sizeof (float));

template <typename V = IntLanes>
[[gnu::always_inline]] inline V loadIntLanes (const int32_t* p) noexcept
{
    V v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

template <typename V>
[[gnu::always_inline]] inline void storeIntLanes (int32_t* p, V v) noexcept
{
    std::memcpy (p, &v, sizeof v);
}

template <typename V = Lanes>
[[gnu::always_inline]] inline V loadLanes (const float* p) noexcept
{
    V v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

template <typename V>
[[gnu::always_inline]] inline void storeLanes (float* p, V v) noexcept
{
    std::memcpy (p, &v, sizeof v);
}

template <typename V = Lanes>
[[gnu::always_inline]] inline V broadcast (float x) noexcept
{
    if constexpr (laneCount<V> == 4)
        return V { x, x, x, x };
    else
    {
        // The kernels of eight lanes are templates built for the baseline and then inlined into
        // functions built for the wider unit; written as eight copies, the broadcast would be split
        // into two halves of four inserts each on the way, and even one lane and a shuffle take
        // three instructions (a load, a move that clears the upper lanes, the shuffle). GCC takes
        // the one instruction as it is, from memory or a register, and refuses it at compile time
        // in any function not built for the wider unit (so every kernel's lambdas must be inlined
        // into it; without optimisation they are not, and the shuffle form stays).
#if defined(__GNUC__) && ! defined(__clang__) && ! defined(__NO_INLINE__)
        V v;
        asm ("vbroadcastss %1, %0" : "=x"(v) : "xm"(x));
        return v;
#else
        V v {};
        v[0] = x;
        return __builtin_shufflevector (v, v, 0, 0, 0, 0, 0, 0, 0, 0);
#endif
    }
}

/** f(i) for i = 0, W, 2W, ... below n (a multiple of W). The engine's two block lengths (64
    samples at the full rate, 32 at the half) get loops of a fixed count, laid out without a trip
    count to work out. */
template <int W, typename F>
[[gnu::always_inline]] inline void forEachVector (int n, F&& f) noexcept
{
    if (n == 64)
    {
#pragma GCC unroll 16
        for (int i = 0; i < 64; i += W)
            f (i);
    }
    else if (n == 32)
    {
#pragma GCC unroll 8
        for (int i = 0; i < 32; i += W)
            f (i);
    }
    else
    {
#pragma GCC unroll 4
        for (int i = 0; i < n; i += W)
            f (i);
    }
}

#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12)
#define QUORVANE_SHUFFLES 1
#endif

/** The lanes in reverse order (a delay line's memory runs backwards in time). */
[[gnu::always_inline]] inline Lanes reversed (Lanes v) noexcept { return Lanes { v[3], v[2], v[1], v[0] }; }

#if defined(QUORVANE_SHUFFLES)
[[gnu::always_inline]] inline Lanes8 reversed (Lanes8 v) noexcept
{
    return __builtin_shufflevector (v, v, 7, 6, 5, 4, 3, 2, 1, 0);
}

/** Two four-lane vectors side by side, and either half of an eight-lane one. */
[[gnu::always_inline]] inline Lanes8 joined (Lanes low, Lanes high) noexcept
{
    return __builtin_shufflevector (low, high, 0, 1, 2, 3, 4, 5, 6, 7);
}
[[gnu::always_inline]] inline Lanes lowHalf (Lanes8 v) noexcept { return __builtin_shufflevector (v, v, 0, 1, 2, 3); }
[[gnu::always_inline]] inline Lanes highHalf (Lanes8 v) noexcept { return __builtin_shufflevector (v, v, 4, 5, 6, 7); }
#endif

/** Transposes a 4 x 4 tile held in four vectors: afterwards vector k holds element k of each. */
[[gnu::always_inline]] inline void transpose4 (Lanes& a, Lanes& b, Lanes& c, Lanes& d) noexcept
{
#if defined(QUORVANE_SHUFFLES)
    const Lanes ab0 = __builtin_shufflevector (a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector (a, b, 2, 6, 3, 7);
    const Lanes cd0 = __builtin_shufflevector (c, d, 0, 4, 1, 5), cd1 = __builtin_shufflevector (c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector (ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector (ab0, cd0, 2, 3, 6, 7);
    c = __builtin_shufflevector (ab1, cd1, 0, 1, 4, 5);
    d = __builtin_shufflevector (ab1, cd1, 2, 3, 6, 7);
#else
    const Lanes w = a, x = b, y = c, z = d;
    a = Lanes { w[0], x[0], y[0], z[0] };
    b = Lanes { w[1], x[1], y[1], z[1] };
    c = Lanes { w[2], x[2], y[2], z[2] };
    d = Lanes { w[3], x[3], y[3], z[3] };
#endif
}

#if defined(QUORVANE_SHUFFLES)
/** Transposes an 8 x 8 tile held in eight vectors: afterwards vector k holds element k of each. */
[[gnu::always_inline]] inline void transpose8 (Lanes8* v) noexcept
{
    Lanes8 t[8], u[8];
    for (int k = 0; k < 8; k += 2)
    {
        t[k] = __builtin_shufflevector (v[k], v[k + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[k + 1] = __builtin_shufflevector (v[k], v[k + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int k = 0; k < 8; k += 4)
        for (int j = 0; j < 2; ++j)
        {
            u[k + j] = __builtin_shufflevector (t[k + j], t[k + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[k + j + 2] = __builtin_shufflevector (t[k + j], t[k + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    // u[0], u[2], u[1], u[3] hold rows 0-3 of the columns 0, 1, 2, 3 in their low halves and of
    // 4, 5, 6, 7 in their high ones; u[4..7] the same for rows 4-7.
    constexpr int column[4] = { 0, 2, 1, 3 };
    for (int k = 0; k < 4; ++k)
    {
        const int c = column[k];
        v[k] = __builtin_shufflevector (u[c], u[c + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        v[k + 4] = __builtin_shufflevector (u[c], u[c + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

/** Transposes two 4 x 4 tiles at once, one in each half of the four vectors. */
[[gnu::always_inline]] inline void transpose4 (Lanes8& a, Lanes8& b, Lanes8& c, Lanes8& d) noexcept
{
    const Lanes8 ab0 = __builtin_shufflevector (a, b, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lanes8 ab1 = __builtin_shufflevector (a, b, 2, 10, 3, 11, 6, 14, 7, 15);
    const Lanes8 cd0 = __builtin_shufflevector (c, d, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lanes8 cd1 = __builtin_shufflevector (c, d, 2, 10, 3, 11, 6, 14, 7, 15);
    a = __builtin_shufflevector (ab0, cd0, 0, 1, 8, 9, 4, 5, 12, 13);
    b = __builtin_shufflevector (ab0, cd0, 2, 3, 10, 11, 6, 7, 14, 15);
    c = __builtin_shufflevector (ab1, cd1, 0, 1, 8, 9, 4, 5, 12, 13);
    d = __builtin_shufflevector (ab1, cd1, 2, 3, 10, 11, 6, 7, 14, 15);
}

/** Transposes a square tile of laneCount<V> vectors. */
template <typename V>
[[gnu::always_inline]] inline void transposeTile (V* v) noexcept
{
    if constexpr (laneCount<V> == 4)
        transpose4 (v[0], v[1], v[2], v[3]);
    else
        transpose8 (v);
}
#endif

/** Vectors vectors of a sum from sample i on, each of `count` runs adding its samples times its
    gain in turn while the sums stay in registers, so every sample takes them in order, as one
    run after another would. With reversedRuns a run holds sample i at runs[r][-i], as a delay
    line holds time. */
template <typename V, int Vectors, bool reversedRuns = false>
[[gnu::always_inline]] inline void weightedRunsAdded (float* sum, const float* const* runs, const float* gains,
                                                      int count, int i) noexcept
{
    constexpr int W = laneCount<V>;
    // Reversed runs add into sums held reversed as well, reversed back once at the end: each lane
    // does the same arithmetic on the same sample either way.
    V acc[Vectors];
    for (int v = 0; v < Vectors; ++v)
    {
        acc[v] = loadLanes<V> (sum + i + v * W);
        if constexpr (reversedRuns)
            acc[v] = reversed (acc[v]);
    }
    for (int r = 0; r < count; ++r)
    {
        const V g = broadcast<V> (gains[r]);
        if constexpr (reversedRuns)
        {
            const float* run = runs[r] - i - (W - 1);
            for (int v = 0; v < Vectors; ++v)
                acc[v] = acc[v] + loadLanes<V> (run - v * W) * g;
        }
        else
            for (int v = 0; v < Vectors; ++v)
                acc[v] = acc[v] + loadLanes<V> (runs[r] + i + v * W) * g;
    }
    for (int v = 0; v < Vectors; ++v)
        storeLanes (sum + i + v * W, reversedRuns ? reversed (acc[v]) : acc[v]);
}

/** weightedRunsAdded over a whole block, n a multiple of the lane count: eight vectors at a time,
    then four, then one. */
template <typename V, bool reversedRuns = false>
[[gnu::always_inline]] inline void weightedRunsAddedBlock (float* sum, const float* const* runs, const float* gains,
                                                           int count, int n) noexcept
{
    constexpr int W = laneCount<V>;
    int i = 0;
    for (; i + 8 * W <= n; i += 8 * W)
        weightedRunsAdded<V, 8, reversedRuns> (sum, runs, gains, count, i);
    for (; i + 4 * W <= n; i += 4 * W)
        weightedRunsAdded<V, 4, reversedRuns> (sum, runs, gains, count, i);
    for (; i < n; i += W)
        weightedRunsAdded<V, 1, reversedRuns> (sum, runs, gains, count, i);
}

} // namespace quorvane
