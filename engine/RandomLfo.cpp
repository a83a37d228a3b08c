#include "RandomLfo.h"

#include <chrono>

namespace quorvane
{

void RandomSource::seedFromClock() noexcept
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    state = (uint32_t) ticks ^ (uint32_t) ((uint64_t) ticks >> 32);
}

} // namespace quorvane
