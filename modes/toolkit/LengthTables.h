#pragma once

namespace quorvane::kit
{

/** Late loop lengths of the room networks at 48 kHz and size factor 1: a geometric series with
    ratio 1.0587, so no two loops share a period and their echoes never pile up. */
extern const float roomLengths[32];

/** Early diffuser stage delays (left 0..6, right 8..14) and the offsets of the second predelay tap
    (left 7, right 15), relative: each is scaled by earlySize and the network rate. Left and right
    differ so the two channels diffuse differently. */
extern const float earlyLengths[16];

} // namespace quorvane::kit
