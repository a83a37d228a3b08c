#pragma once

#include <array>
#include <cstdint>

namespace quorvane
{

struct ReverbEngine;

/* The contract between the engine frame and the reverb modes. The frame knows a mode only by the
   constants and routines it looks up here; the table itself, one row per mode, is defined with the
   modes, which build on the engine and never the other way round. */

/** The high cut the frame runs at the host rate after the network. */
enum class HighCutStage
{
    biquad,         ///< the second-order lowpass
    smoothedBiquad, ///< the same lowpass, its coefficients gliding to their targets once per block
    shelf           ///< a first-order shelf, at most 40 dB down
};

/** What a mode sets when it is selected (the common start of every configureMode). */
struct ModeConstants
{
    float lateNormaliser;
    int lateLineCount;
    float matrixScale;
    bool halfRate;             ///< network at half the host rate on 32-sample blocks, else 64 at the host rate
    float splitFilterHz;       ///< corner of the split allpass around the network
    HighCutStage highCut;
    float lateCrossAngleScale; ///< the lateCross rotations turn by c x this x pi/2
};

/** The routines every mode supplies. Each takes the engine. processNetwork advances the mode's
    modulators by one block and runs its network over the conditioned input already written into the
    predelay lines, leaving the wet block (controlBlockLength samples) in ioBlock. */
struct ModeRoutines
{
    void (*configureMode) (ReverbEngine&);
    void (*updateDecayGains) (ReverbEngine&);
    void (*updateBassGains) (ReverbEngine&);
    void (*updateHighGains) (ReverbEngine&);
    void (*updateLateLengths) (ReverbEngine&);
    void (*updateEarlyLengths) (ReverbEngine&);
    void (*processNetwork) (ReverbEngine&);
    /** The three gain routines' work in one pass, where a mode has one (nullptr: each in turn). */
    void (*updateAllGains) (ReverbEngine&) = nullptr;
};

/** The decay, bass and high gains after a change that moves all three (the decay, the lengths,
    the rate): decay first, as the ratios divide by the mid gains. */
inline void updateAllGains (const ModeRoutines& r, ReverbEngine& e)
{
    if (r.updateAllGains != nullptr)
        return r.updateAllGains (e);
    r.updateDecayGains (e);
    r.updateBassGains (e);
    r.updateHighGains (e);
}

/** One row of the mode table. */
struct ModeDescription
{
    ModeConstants constants;
    const ModeRoutines* routines;
};

/** The row of a mode 0..11 (any other value gives mode 0's row). */
const ModeDescription& describeMode (int mode) noexcept;

/** The lengths, gains and tables of the running network, by role. A mode change starts it afresh,
    so nothing of the previous mode survives. Lengths are in samples at the network rate. */
struct ModeState
{
    float sizeFactor = 0.0f;     ///< the lateSize-dependent factor of every late length
    float normaliserBase = 0.0f; ///< what the late normalisers are the square root of, over the decay
    std::array<float, 32> segmentLength {};
    std::array<int32_t, 32> segmentFloor {};
    std::array<float, 16> earlyLength {};
    std::array<int32_t, 16> earlyFloor {};
    std::array<float, 32> segmentGain {}; ///< decay gain of each segment (above the bass split)
    std::array<float, 32> bassGain {};    ///< gain below the bass split, per line or loop
    std::array<float, 32> highGain {};    ///< ratio above the high split, per line or loop
    std::array<float, 8> loopLength {};   ///< summed segment lengths of each loop (networks of loops)
    std::array<float, 8> loopGain {};     ///< mid-band decay gain over each loop (networks of loops)
    std::array<float, 16> leftTapGain {}, rightTapGain {};
    std::array<int32_t, 16> leftTapOffset {}, rightTapOffset {};
    float outputGain = 0.0f;     ///< late output gain of networks tapped at a plain gain
    float midNormaliser = 0.0f;  ///< late output gain above the bass split
    float bassNormaliser = 0.0f; ///< late output gain below the bass split
};

} // namespace quorvane
