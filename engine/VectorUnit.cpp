#include "VectorUnit.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quorvane
{

namespace
{
constexpr int unchosen = -1;
std::atomic<int> chosen { unchosen };

int initialChoice() noexcept
{
    const char* requested = std::getenv ("QUORVANE_VECTOR_UNIT");
    if (requested != nullptr && std::strcmp (requested, "baseline") == 0)
        return (int) VectorUnit::baseline;
    return (int) (canRun (VectorUnit::avx2) ? VectorUnit::avx2 : VectorUnit::baseline);
}

int currentChoice() noexcept
{
    int c = chosen.load (std::memory_order_relaxed);
    if (c == unchosen)
    {
        // Every thread that gets here computes the same value; storing it twice does no harm.
        c = initialChoice();
        chosen.store (c, std::memory_order_relaxed);
    }
    return c;
}
} // namespace

bool canRun (VectorUnit unit) noexcept
{
    if (unit == VectorUnit::baseline)
        return true;
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    // The compiler's check covers the operating system's support for the wide registers too.
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2") != 0;
#else
    return false;
#endif
}

VectorUnit activeVectorUnit() noexcept { return (VectorUnit) currentChoice(); }

void selectVectorUnit (VectorUnit unit) noexcept
{
    chosen.store ((int) (canRun (unit) ? unit : VectorUnit::baseline), std::memory_order_relaxed);
}

bool wideVectors() noexcept { return currentChoice() == (int) VectorUnit::avx2; }

} // namespace quorvane
