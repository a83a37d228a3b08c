#pragma once

#include "toolkit/LateNetwork.h"
#include "toolkit/Modulation.h"

namespace quorvane
{
struct ReverbEngine;

/* Each mode's own routines, and the pieces of a mode that other modes are built from. The mode
   table pairs them, per mode, with the routines it shares; a mode that is selected the common way
   runs the toolkit's configureStandard. */

/** Mode 0, "Large Room" (also what every unknown type value runs). At the host rate: the early
    section feeds a 32-line feedback delay network of plain delays (a quarter of them modulated each
    way), damped in three bands, tapped with fixed gains and mixed by a 32 x 32 orthogonal matrix. */
namespace largeroom
{
void configureMode (ReverbEngine& e);
/** Mid-band gain of each of the lateLineCount late lines, and the normaliser above the bass split. */
void updateDecayGains (ReverbEngine& e);
/** Bass gain of each late line, and the normaliser below the bass split. */
void updateBassGains (ReverbEngine& e);
/** High-band ratio of each late line. */
void updateHighGains (ReverbEngine& e);
/** The three above in one pass over the lines. */
void updateAllGains (ReverbEngine& e);
/** The size factor and the 32 line lengths from the room table, then every gain and the early lengths. */
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);

/** Large Room's taps: the damped line blocks with the fixed gains. */
void outputTaps (ReverbEngine& e, int n);
/** The late output stage of the network: the line blocks (or lines) summed into the late sums. */
using TapStage = void (*) (ReverbEngine& e, int n);
/** What the modes built on this network change in it. */
struct NetworkShape
{
    TapStage taps = outputTaps;
    kit::LineRead modulatedRead = kit::LineRead::linear; ///< how the modulated lines are read
    bool bandNormaliser = true; ///< late sums split at the bass crossover, else one gain (the mid normaliser)
};
/** The whole network over n samples: early section, 32 plain lines (lines 4g and 4g + 1 read at
    +groupModulation[g] and -groupModulation[g], g < 8), bass and high splits, the taps, the
    matrix, the late normaliser and the mode output. */
void runNetwork (ReverbEngine& e, const float* groupModulation, const kit::EarlyModulation& early, int n,
                 const NetworkShape& shape);
} // namespace largeroom

/** Mode 1, "Medium Room". At the host rate: the early section feeds 16 lines, each a modulated lossy
    allpass, a plain delay and a two-band correction, tapped twice and mixed by a 16 x 16 matrix. */
namespace mediumroom
{
void configureMode (ReverbEngine& e);
void updateDecayGains (ReverbEngine& e);
void updateBassGains (ReverbEngine& e);
void updateHighGains (ReverbEngine& e);
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace mediumroom

/** Mode 2, "Bright Room". Large Room's early section and line lengths; the late section is 8 loops
    of three modulated allpasses and a delay inside a split allpass at 2122 Hz. */
namespace brightroom
{
void configureMode (ReverbEngine& e);
/** Bass gain of each loop. */
void updateBassGains (ReverbEngine& e);
/** High-band ratio of each loop. */
void updateHighGains (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace brightroom

/** Mode 3, "Large Chamber". Large Room's network on shorter lines, its late output taken from 15
    fixed positions per channel read straight out of the lines, with gains falling steeply. */
namespace largechamber
{
/** Large Room's mid gains and normaliser, and the 30 tap gains. */
void updateDecayGains (ReverbEngine& e);
/** Large Room's gains of all three bands in one pass, and the 30 tap gains. */
void updateAllGains (ReverbEngine& e);
/** Size factor, line lengths and tap positions, then every gain and the early lengths. */
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
/** The chamber taps read out of the lines. */
void outputTaps (ReverbEngine& e, int n);
} // namespace largechamber

/** Mode 4, "Dark Room". At half the rate: the early section feeds 8 lines, each a modulated and two
    fixed allpasses, a high correction, a plain delay and a bass correction; only the first pair is
    heard, and a scaled 8 x 8 matrix mixes them. The high cut glides to new corners. */
namespace darkroom
{
/** Decay gain of each of the 32 segments, and the late output gain. */
void updateDecayGains (ReverbEngine& e);
/** Bass ratio of each line, limited. */
void updateBassGains (ReverbEngine& e);
/** High ratio of each line. */
void updateHighGains (ReverbEngine& e);
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);

/** The 32 segment lengths from the room table for a size factor, then every gain and the early lengths. */
void setLengths (ReverbEngine& e, float sizeFactor);
/** How the lines feed back into each other. */
enum class Feedback
{
    matrix, ///< the butterfly matrix
    rings   ///< line k into line k + 2, the two rings joined by the lateCross rotations alone
};
/** The network of lineCount (8 or 4) lines over one 32-sample block, its allpass modulation (per
    line), early modulation, allpass coefficient and feedback given. */
void runNetwork (ReverbEngine& e, int lineCount, const float* lineModulation, const kit::EarlyModulation& early,
                 float allpassGain, Feedback feedback);
/** The network with centred late modulation, doubled early modulation, 0.7071 allpasses and ring
    feedback: Nostromo on eight lines, Narcissus on four. */
void runRings (ReverbEngine& e, int lineCount);
/** The 32 segment gains, the late output gain (outputFactor x the normaliser), and the lengths
    and mid gains of the first lineCount loops, which the band ratios divide by. */
void setDecayGains (ReverbEngine& e, float outputFactor, int lineCount);
/** Bass ratios (limited) of the first lineCount lines, from the loops setDecayGains left. */
void setBassRatios (ReverbEngine& e, int lineCount);
/** High ratios of the first lineCount lines, from the loops setDecayGains left. */
void setHighRatios (ReverbEngine& e, int lineCount);
} // namespace darkroom

/** Mode 5, "Dark Chamber": Large Chamber's network at half the rate. */
namespace darkchamber
{
void processNetwork (ReverbEngine& e);
/** Late modulators 0..7 (wrapping), each moving its pair of lines two depths either way. */
void stepLateModulators (ReverbEngine& e, float* groupModulation);
} // namespace darkchamber

/** Mode 6, "Dark Space": Large Room's network at half the rate, with longer lines. */
namespace darkspace
{
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace darkspace

/** Mode 7, "Nostromo": Dark Room's lines with twice the size range, centred modulation and the
    lines passed around two rings instead of a matrix. */
namespace nostromo
{
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace nostromo

/** Mode 8, "Narcissus": four of Dark Room's lines, swapped in pairs. */
namespace narcissus
{
void updateDecayGains (ReverbEngine& e);
void updateBassGains (ReverbEngine& e);
void updateHighGains (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace narcissus

/** Mode 9, "Sulaco": at half the rate, Large Room's early section and 16 lines on a geometric
    series, all but the first pair modulated, the late output taken from the first matrix pair. */
namespace sulaco
{
void updateDecayGains (ReverbEngine& e);
void updateBassGains (ReverbEngine& e);
void updateAllGains (ReverbEngine& e);
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace sulaco

/** Mode 10, "LV-426": four long lines of six modulated allpasses and a delay on one geometric
    series, swapped in pairs, inside a split allpass at 200 Hz. */
namespace lv426
{
void updateDecayGains (ReverbEngine& e);
void updateBassGains (ReverbEngine& e);
void updateHighGains (ReverbEngine& e);
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace lv426

/** Mode 11, "Dense Room": Large Room's 32-line network at half the rate on a denser series, the
    modulated pairs read through allpass interpolation, the lateCross reaching 90 degrees and a
    shelf for the high cut. */
namespace denseroom
{
void updateLateLengths (ReverbEngine& e);
void processNetwork (ReverbEngine& e);
} // namespace denseroom

} // namespace quorvane
