#pragma once

#include "Filters.h"
#include "Lanes.h"

namespace quorvane
{

/** One split of laneCount<V> lines in lanes: its factors, gains and the recursions' state. */
template <typename V>
struct SplitLanes
{
    V g, k, hi, lo, s;

    [[gnu::always_inline]] SplitLanes (const BandSplit& split, int first)
        : g (broadcast<V> (split.g)), k (broadcast<V> (1.0f - split.g)), hi (lanesOf (split.highGain, first)),
          lo (lanesOf (split.lowGain, first)), s (stateOf (split, first))
    {
    }

    /** The split's factors with gains and states already in lanes. */
    [[gnu::always_inline]] SplitLanes (const BandSplit& split, V highGains, V lowGains, V states)
        : g (broadcast<V> (split.g)), k (broadcast<V> (1.0f - split.g)), hi (highGains), lo (lowGains), s (states)
    {
    }

    // A filter is its one state, so the states of consecutive filters are consecutive floats.
    static_assert (sizeof (OnePoleLowpass) == sizeof (float));

    [[gnu::always_inline]] static V stateOf (const BandSplit& split, int first)
    {
        return loadLanes<V> (&split.filters[first].state);
    }

    [[gnu::always_inline]] static V lanesOf (const float* gains, int first)
    {
        if (gains == nullptr)
            return broadcast<V> (1.0f);
        return loadLanes<V> (gains + first);
    }

    [[gnu::always_inline]] void store (const BandSplit& split, int first) const
    {
        storeLanes (&split.filters[first].state, s);
    }

    /** One sample of the lines; a unit low gain is left out (x times 1 is x, bit for bit). */
    template <bool unitLow>
    [[gnu::always_inline]] V apply (V column) noexcept
    {
        s = g * column + k * s;
        if constexpr (unitLow)
            return (column - s) * hi + s;
        else
            return (column - s) * hi + s * lo;
    }
};

} // namespace quorvane
