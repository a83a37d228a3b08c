#pragma once

#include "Block.h"
#include "CrossMixer.h"
#include "DelayLine.h"
#include "EngineParameters.h"
#include "Filters.h"
#include "HalfbandFilter.h"
#include "ModeInterface.h"
#include "RandomLfo.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane
{

/** The whole reverb: the parameter table and every quantity derived from it, the sample-rate
    handling, all delay memory, filter and modulator state, and the work blocks the reverb modes
    run in. The frame mixes wet and dry per sample and runs the current mode's network once per
    64 collected samples, so the wet signal leaves exactly 64 samples after it entered whatever the
    host block size. Not internally synchronised: one thread at a time. */
struct ReverbEngine
{
    ReverbEngine();
    ReverbEngine (const ReverbEngine&) = delete;
    ReverbEngine& operator= (const ReverbEngine&) = delete;

    /** Sizes all delay memory for a host rate, applies it and restarts (allocates; never on the
        audio thread). */
    void prepare (int hostRateHz);
    /** Applies the host rate; when it changed: clears and recomputes every rate-dependent quantity.
        Never allocates: the lines keep the sizes prepare gave them. */
    void setSampleRate (int hostRateHz);
    /** Silences all signal memory; parameters, coefficients, gains and modulators survive. */
    void clear();
    /** Clears and starts afresh: until audio runs again, every setting applies without a glide
        (the gains, the smoothed high cut, the first reads of every line), so the first samples
        sound as they would in an engine that had been running with those settings. */
    void restart();

    /** Sets a parameter from its normalised value; an unchanged value does nothing. */
    void setNormalised (int index, float normalisedValue);
    /** The normalised value last set (-1 before the first assignment). */
    float getNormalised (int index) const { return params[(size_t) index].normalised; }
    /** The physical value of a parameter. */
    float getValue (int index) const { return params[(size_t) index].value; }
    /** The normalised default of a parameter. */
    float getDefaultNormalised (int index) const;
    /** Derives the engine quantities of one parameter from its physical value. */
    void updateParameter (int index);

    /** Processes n samples through the current mode; outputs may be the same memory as inputs. */
    void process (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept;

    /** Bytes this engine holds: itself and all its delay memory (nothing else is allocated). */
    std::size_t memoryBytes() const noexcept;

    /** Seeds the modulators' random generator (by default it is seeded from the clock). */
    void seedRandom (uint32_t seed) noexcept { random.seed (seed); }

    // Mode and rates
    int mode = 0;
    float hostRate = 48000.0f;
    float processingRate = 48000.0f;
    float controlBlockLength = 64.0f;
    int blockPosition = 0;
    float splitFilterHz = 25.0f;
    float lateNormaliser = 241920.0f;
    int lateLineCount = 32;
    float matrixScale = 0.25f;
    bool halfRate = false;
    HighCutStage highCutStage = HighCutStage::biquad;
    float lateCrossAngleScale = 0.5f;
    const ModeRoutines* routines = nullptr; ///< the current mode's routines

    EngineParameters params;

    // Quantities derived from the parameters
    float wetTarget = 0.0f, dryTarget = 0.0f;
    float wetGain = 0.0f, dryGain = 0.0f;
    float gainSmoothing = 0.0f;
    float predelaySamples = 0.0f;
    float decayTime = 1.5f;
    float bassMultiply = 1.0f, highMultiply = 1.0f;
    float bassDecayTime = 3.0f, bassDecayShaped = 3.0f, highDecayTime = 1.5f;
    float bassSplitCoef = 0.0f, highSplitCoef = 0.0f;
    float earlyLevel = 0.0f, lateLevel = 0.0f;
    float earlySendGain = 0.0f, directSendGain = 1.0f;
    float lateModDepthSamples = 0.0f, earlyModDepthSamples = 0.0f;
    float highCutSmoothing = 0.0f;
    float highCutCorner = 0.0f; ///< the corner the high-cut filters were last designed for
    float diffuserGain = 0.7071f;
    float auxDiffuserGain = 0.618f;

    // Delay lines
    /** The memory every line below shares (sizeLines). */
    SharedLineMemory lineMemory;
    std::array<DelayLine, 2> predelayLines;
    std::array<DelayLine, 16> earlyLines;
    std::array<DelayLine, 32> lateLines;

    // Filters
    std::array<OnePoleLowpass, 32> bassFilters;
    std::array<OnePoleLowpass, 32> highFilters;
    std::array<OnePoleLowpass, 2> outputBassFilters;
    std::array<FirstOrderFilter, 2> inputSplitFilters;
    std::array<FirstOrderFilter, 2> outputSplitFilters;
    std::array<Biquad, 2> highCutFilters;
    std::array<FirstOrderFilter, 2> highCutShelves;
    std::array<HalfbandFilter, 2> decimators;
    std::array<HalfbandFilter, 2> interpolators;

    // Modulators and mixers
    RandomLfoBank lateModulators;
    std::array<RandomLfo, 2> earlyModulators;
    RandomSource random;
    std::array<CrossMixer, 8> earlyCrossMixers;
    std::array<CrossMixer, 16> lateCrossMixers;
    std::array<CrossMixer, 16> diffusionMixers;
    std::array<float, 2> denormalOffsets { { 1e-15f, 1e-15f } };

    // Work blocks
    std::array<Block64, 2> ioBlock;
    /** The wet samples of the current block already scaled by the settled wet gain, for hosts
        that send one sample at a time (valid from blockPosition while blockPosition < oneSampleEnd). */
    std::array<Block64, 2> wetBlock;
    std::array<Block64, 2> earlyOutBlock;
    std::array<Block64, 2> lateSumBlock;
    std::array<Block64, 2> auxBlock;
    std::array<Block64, 4> tapBlock;
    std::array<Block64, 16> tempBlock;
    std::array<Block64, 32> lineBlock;
    std::array<Block64, 32> lineBlockB;

    ModeState modeState;

    /** True when the current mode runs its network at half the host rate. */
    bool isHalfRate() const noexcept { return halfRate; }
    /** Designs the split allpass around the network for splitFilterHz at processingRate. */
    void designSplitFilters() noexcept;

    /** The common start of every configureMode: the current mode's constants, a clear, its rates
        and split allpass, and per-mode state, glides and modulators as a fresh engine has them. */
    void beginModeConfiguration();
    /** The common end of every configureMode: re-applies the parameters that depend on the rates. */
    void finishModeConfiguration();

private:
    /** process for more than one sample, or one that ends a block; out of line, so a call of one
        sample needs none of the registers these paths take. */
    [[gnu::noinline]] void processLonger (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept;
    /** The general path of process: the host block cut at the block boundaries, any gains. */
    [[gnu::noinline]] void processRuns (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept;
    void blockStep() noexcept;
    /** Mixes the sample at blockPosition with its scaled wet sample and moves on. */
    [[gnu::always_inline]] inline void mixOneSample (float& outL, float& outR, float inL, float inR) noexcept;
    /** Scales the block's wet samples into wetBlock and lets single samples mix with them. */
    void prepareOneSampleRuns() noexcept;
    /** Sends every host block through the general path until a run leaves the gains settled
        again (after a mix change or a restart). */
    void forgetShortRuns() noexcept;
    [[gnu::always_inline]] inline void mixRun (float* outL, float* outR, const float* inL, const float* inR,
                                               int n) noexcept;
    void conditionInput() noexcept;
    void outputStage() noexcept;
    void highCut() noexcept;
    void changeMode (float typeValue);
    void resetModeState() noexcept;
    void restartAllGlides() noexcept;
    void settleForStart() noexcept;

    bool startAtRest = true; ///< nothing processed since construction, prepare or restart
    /** The last position in the block a host block may end at and be only the mix: blockSize - 1
        after each general run that leaves the gains settled, -1 (none) after a mix change or a
        restart. */
    int shortRunEnd = -1;
    /** The same for single samples, which mix with wetBlock: set only after a run of one sample. */
    int oneSampleEnd = -1;
    void setModulatorRates (RandomLfo* modulators, int count, float rateHz) noexcept;
    void setModulatorRates (RandomLfoBank& modulators, float rateHz) noexcept;
    void sizeLines (float rate);
};

/** Seconds a host should keep processing after the input falls silent: block latency, predelay,
    the early section's spread and 1.5 times the slowest band's 60 dB decay time (about -90 dB). */
double reverbTailSeconds (float predelayMs, float earlySizeMs, float decaySeconds, float bassMultiply, double hostRate);

} // namespace quorvane
