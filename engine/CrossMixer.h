#pragma once

#include "Lanes.h"

namespace quorvane
{

/** A 2 x 2 rotation of two signal blocks: for an angle t the gains are (sin t, cos t, -sin t) and
    outA = cos.X - sin.Y, outB = sin.X + cos.Y. Every mixer in the networks is orthogonal, so it
    moves energy between the two signals without adding or losing any. */
struct CrossMixer
{
    float g0 = 0.0f;
    float g1 = 1.0f;
    float g2 = 0.0f;

    /** Sets the rotation angle in radians (single precision sin and cos). */
    void setAngle (float t) noexcept;
    /** outB = g0.X + g1.Y, outA = g1.X + g2.Y over n samples; outputs may alias inputs. */
    void process (int n, float* outA, const float* inX, const float* inY, float* outB) const noexcept;
    /** Rotates two distinct blocks in place: (X, Y) becomes (outA, outB). */
    void rotate (float* __restrict x, float* __restrict y, int n) const noexcept;
};

/** A mixer's gains in lanes, for passes that rotate four samples at a time with the arithmetic of
    CrossMixer::rotate. Taken once before a pass: the pass's stores might otherwise be taken to
    change the gains, and every iteration would load them again. */
template <typename V = Lanes>
struct RotationLanes
{
    V g0, g1, g2;

    [[gnu::always_inline]] explicit RotationLanes (const CrossMixer& m)
        : g0 (broadcast<V> (m.g0)), g1 (broadcast<V> (m.g1)), g2 (broadcast<V> (m.g2))
    {
    }

    /** (x, y) becomes (outA, outB) of the mixer, lane by lane. */
    [[gnu::always_inline]] void operator() (V& x, V& y) const noexcept
    {
        const V a = g2 * y + g1 * x;
        const V b = g1 * y + g0 * x;
        x = a;
        y = b;
    }
};

} // namespace quorvane
