#include "VectorUnit.h"

#include <cstdlib>
#include <cstring>

namespace quorvane
{

namespace
{
bool initialChoice() noexcept
{
    const char* requested = std::getenv ("QUORVANE_VECTOR_UNIT");
    if (requested != nullptr && std::strcmp (requested, "baseline") == 0)
        return false;
    return canRun (VectorUnit::avx2);
}
} // namespace

std::atomic<bool> detail::wideUnitChosen { initialChoice() };

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

VectorUnit activeVectorUnit() noexcept { return wideVectors() ? VectorUnit::avx2 : VectorUnit::baseline; }

void selectVectorUnit (VectorUnit unit) noexcept
{
    detail::wideUnitChosen.store (unit == VectorUnit::avx2 && canRun (unit), std::memory_order_relaxed);
}

} // namespace quorvane
