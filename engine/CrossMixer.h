#pragma once

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

} // namespace quorvane
