#pragma once

#include <cstdint>
#include <cstring>

namespace quorvane
{

/** Four floats in one vector register of the x86-64 baseline. Each operation acts on every lane
    exactly as the scalar operation would, so a stage written in lanes computes the same samples as
    its scalar form; it only does four of them per instruction. */
typedef float Lanes __attribute__ ((vector_size (16)));

/** Four 32-bit integers, for masks and whole-sample indices beside Lanes. */
typedef int32_t IntLanes __attribute__ ((vector_size (16)));

inline IntLanes loadIntLanes (const int32_t* p) noexcept
{
    IntLanes v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

inline Lanes loadLanes (const float* p) noexcept
{
    Lanes v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

inline void storeLanes (float* p, Lanes v) noexcept { std::memcpy (p, &v, sizeof v); }

inline Lanes broadcast (float x) noexcept { return Lanes { x, x, x, x }; }

/** The four lanes in reverse order (a delay line's memory runs backwards in time). */
inline Lanes reversed (Lanes v) noexcept { return Lanes { v[3], v[2], v[1], v[0] }; }

/** Transposes a 4 x 4 tile held in four vectors: afterwards vector k holds element k of each. */
inline void transpose4 (Lanes& a, Lanes& b, Lanes& c, Lanes& d) noexcept
{
#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12)
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

} // namespace quorvane
