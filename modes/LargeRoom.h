#pragma once

namespace quorvane
{
struct ReverbEngine;

/** Mode 0, "Large Room", also the mode every unknown type value runs. At the host rate: two
    modulated taps per predelay line feed seven delay-and-rotation diffuser stages per channel;
    their output is the early section and feeds a 32-line feedback delay network whose lines are
    plain delays (a quarter of them modulated each way), damped in three bands, tapped for the
    output with fixed gains and mixed by a 32 x 32 orthogonal matrix ending in the lateCross
    rotation. The per-line gains alone set the decay. */
namespace largeroom
{
/** Sets the constants, clears, computes every length and gain and re-applies rate-dependent parameters. */
void configureMode (ReverbEngine& e);
/** Mid-band gain of every late line and the normaliser above the bass split. */
void updateDecayGains (ReverbEngine& e);
/** Bass gain of every late line and the normaliser below the bass split. */
void updateBassGains (ReverbEngine& e);
/** High-band ratio of every late line. */
void updateHighGains (ReverbEngine& e);
/** Size factor and late line lengths from lateSize, then every gain and the early lengths. */
void updateLateLengths (ReverbEngine& e);
/** Early diffuser delays and second-tap offsets from earlySize. */
void updateEarlyLengths (ReverbEngine& e);
/** Advances the modulators and runs the network over one 64-sample block. */
void processNetwork (ReverbEngine& e);
} // namespace largeroom

} // namespace quorvane
