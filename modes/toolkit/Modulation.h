#pragma once

namespace quorvane
{
struct ReverbEngine;
}

namespace quorvane::kit
{

/** Excursions of the four predelay taps (left first and second, right first and second), >= 0. */
struct EarlyModulation
{
    float tap[4];
};

/** Steps both early modulators once (wrapping rule) and turns each triangle t into the pair
    (t + 1) x depth x scale and (1 - t) x depth x scale: the two taps of a channel move in
    opposite directions and never below their nominal delay. */
EarlyModulation stepEarlyModulators (ReverbEngine& e, float scale);

/** Steps late modulators 0..count-1 once (bouncing rule); out[j] = late depth x its value. */
void stepBounceModulators (ReverbEngine& e, float* out, int count);

/** Steps late modulators first, first + stride, .. (count of them) once (wrapping rule);
    out[j] = the triangle of the j-th, in -1..1, for the mode to scale. */
void stepWrapModulators (ReverbEngine& e, float* out, int count, int first, int stride);

} // namespace quorvane::kit
