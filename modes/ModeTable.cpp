// The twelve reverb modes as data: each mode's constants and, per routine, whose routine it runs.
// Modes share routines where their networks share formulas (every routine computes at the rate
// its lines run at, so a full-rate mode's routine serves its half-rate sibling).
#include "Modes.h"

#include "engine/ModeInterface.h"
#include "toolkit/ModeSetup.h"

namespace quorvane
{

namespace
{
using kit::configureStandard;
using kit::updateEarlyLengths;

const ModeRoutines largeRoom { largeroom::configureMode,     largeroom::updateDecayGains, largeroom::updateBassGains,
                               largeroom::updateHighGains,   largeroom::updateLateLengths, updateEarlyLengths,
                               largeroom::processNetwork, largeroom::updateAllGains };

const ModeRoutines mediumRoom { mediumroom::configureMode, mediumroom::updateDecayGains,  mediumroom::updateBassGains,
                                mediumroom::updateHighGains, mediumroom::updateLateLengths, updateEarlyLengths,
                                mediumroom::processNetwork };

const ModeRoutines brightRoom { brightroom::configureMode,   largeroom::updateDecayGains,  brightroom::updateBassGains,
                                brightroom::updateHighGains, largeroom::updateLateLengths, updateEarlyLengths,
                                brightroom::processNetwork };

const ModeRoutines largeChamber { configureStandard,     largechamber::updateDecayGains,
                                  largeroom::updateBassGains,      largeroom::updateHighGains,
                                  largechamber::updateLateLengths, updateEarlyLengths,
                                  largechamber::processNetwork, largechamber::updateAllGains };

const ModeRoutines darkRoom { configureStandard,   darkroom::updateDecayGains,  darkroom::updateBassGains,
                              darkroom::updateHighGains, darkroom::updateLateLengths, updateEarlyLengths,
                              darkroom::processNetwork };

// Dark Chamber is Large Chamber at half the rate; written for the rate the lines run at, Large
// Chamber's and Large Room's routines are its own.
const ModeRoutines darkChamber { configureStandard,     largechamber::updateDecayGains,
                                 largeroom::updateBassGains,      largeroom::updateHighGains,
                                 largechamber::updateLateLengths, updateEarlyLengths,
                                 darkchamber::processNetwork, largechamber::updateAllGains };

// Dark Space: Large Room's gains (at the rate the lines run at) and output taps, its own lengths.
const ModeRoutines darkSpace { largeroom::configureMode,   largeroom::updateDecayGains,  largeroom::updateBassGains,
                               largeroom::updateHighGains, darkspace::updateLateLengths, updateEarlyLengths,
                               darkspace::processNetwork, largeroom::updateAllGains };

const ModeRoutines nostromo { configureStandard,   darkroom::updateDecayGains,  darkroom::updateBassGains,
                              darkroom::updateHighGains, nostromo::updateLateLengths, updateEarlyLengths,
                              nostromo::processNetwork };

const ModeRoutines narcissus { configureStandard,    narcissus::updateDecayGains, narcissus::updateBassGains,
                               narcissus::updateHighGains, darkroom::updateLateLengths,  updateEarlyLengths,
                               narcissus::processNetwork };

const ModeRoutines sulaco { configureStandard,   sulaco::updateDecayGains,  sulaco::updateBassGains,
                            largeroom::updateHighGains, sulaco::updateLateLengths, updateEarlyLengths,
                            sulaco::processNetwork, sulaco::updateAllGains };

const ModeRoutines lv426 { configureStandard, lv426::updateDecayGains,  lv426::updateBassGains,
                           lv426::updateHighGains,      lv426::updateLateLengths, updateEarlyLengths,
                           lv426::processNetwork };

// Dense Room: Dark Space's decay gains, Dark Chamber's high ratios, and bass gains per line (the
// bass normaliser that Large Room's routine also computes is not used here), Large Room's taps.
const ModeRoutines denseRoom { largeroom::configureMode,   largeroom::updateDecayGains,  largeroom::updateBassGains,
                               largeroom::updateHighGains, denseroom::updateLateLengths, updateEarlyLengths,
                               denseroom::processNetwork, largeroom::updateAllGains };

constexpr auto biquad = HighCutStage::biquad;
constexpr auto smoothed = HighCutStage::smoothedBiquad;
constexpr auto shelf = HighCutStage::shelf;

// lateNormaliser, lateLineCount, matrixScale, halfRate, splitFilterHz, high cut, lateCross angle scale
const ModeDescription table[12] = {
    { { 241920.0f, 32, 0.25f, false, 25.0f, biquad, 0.5f }, &largeRoom },
    { { 287697.0f, 16, 0.35355339f, false, 25.0f, biquad, 0.5f }, &mediumRoom },
    { { 241920.0f, 32, 0.5f, false, 2122.0f, biquad, 0.5f }, &brightRoom },
    { { 144000.0f, 32, 0.25f, false, 25.0f, biquad, 0.5f }, &largeChamber },
    { { 241920.0f, 32, 0.5f, true, 3183.0f, smoothed, 0.5f }, &darkRoom },
    { { 144000.0f, 32, 0.25f, true, 3183.0f, biquad, 0.5f }, &darkChamber },
    { { 241920.0f, 32, 0.25f, true, 3183.0f, biquad, 0.5f }, &darkSpace },
    { { 241920.0f, 32, 0.5f, true, 3183.0f, biquad, 0.5f }, &nostromo },
    { { 69301.765625f, 16, 0.5f, true, 3183.0f, biquad, 0.5f }, &narcissus },
    { { 241920.0f, 16, 0.35355339f, true, 2128.0f, biquad, 0.5f }, &sulaco },
    { { 69301.765625f, 28, 0.5f, true, 200.0f, biquad, 0.5f }, &lv426 },
    { { 182380.0f, 32, 0.25f, true, 3183.0f, shelf, 1.0f }, &denseRoom },
};
} // namespace

const ModeDescription& describeMode (int mode) noexcept
{
    return table[(mode >= 0 && mode < 12) ? mode : 0];
}

} // namespace quorvane
