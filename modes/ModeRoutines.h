#pragma once

namespace quorvane
{

struct ReverbEngine;

/** The constants a mode sets when it is selected. */
struct ModeConstants
{
    float lateNormaliser;
    int lateLineCount;
    float matrixScale;
    float controlBlockLength; ///< network samples per block: 64 at the host rate, 32 at half rate
    float splitFilterHz;      ///< corner of the split allpass around the network
};

/** The routines every reverb mode supplies. Each takes the engine; processNetwork advances the
    mode's modulators by one block and runs its network over the conditioned input already in the
    predelay lines, leaving the wet block in ioBlock and advancing the lines it wrote. */
struct ModeRoutines
{
    void (*configureMode) (ReverbEngine&);
    void (*updateDecayGains) (ReverbEngine&);
    void (*updateBassGains) (ReverbEngine&);
    void (*updateHighGains) (ReverbEngine&);
    void (*updateLateLengths) (ReverbEngine&);
    void (*updateEarlyLengths) (ReverbEngine&);
    void (*processNetwork) (ReverbEngine&);
};

/** True for the modes that have their own network in this build. */
bool isModeAvailable (int mode) noexcept;
/** The routines of a mode; a mode without its own network runs mode 0's. */
const ModeRoutines& modeRoutines (int mode) noexcept;
/** The constants of a mode (0..11). */
const ModeConstants& modeConstants (int mode) noexcept;

/** Shared start of every configureMode: constants, clear, rates and the split allpass. */
void beginConfigure (ReverbEngine& engine, int mode);
/** Shared end of every configureMode: re-applies the rate-dependent parameters. */
void endConfigure (ReverbEngine& engine);

} // namespace quorvane
