#pragma once

#include <cstring>

namespace quorvane
{

/** Four floats in one vector register of the x86-64 baseline. Each operation acts on every lane
    exactly as the scalar operation would, so a stage written in lanes computes the same samples as
    its scalar form; it only does four of them per instruction. */
typedef float Lanes __attribute__ ((vector_size (16)));

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

} // namespace quorvane
