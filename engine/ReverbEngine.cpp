#include "ReverbEngine.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
constexpr float quarterPi = 0.78539819f;

// Host rates outside this range are not audio rates; they are clamped so that no coefficient
// design divides by zero and no allocation runs away.
constexpr float minimumRate = 8000.0f;
constexpr float maximumRate = 768000.0f;

float usableRate (int hostRateHz)
{
    return std::clamp ((float) hostRateHz, minimumRate, maximumRate);
}

} // namespace

ReverbEngine::ReverbEngine()
{
    sizeLines (48000.0f);
    hostRate = processingRate = 48000.0f;
    initialiseParameters (params);
    random.seedFromClock();

    bassDecayTime = 3.0f;
    decayTime = 1.5f;
    for (size_t k = 8; k < 16; ++k)
        diffusionMixers[k].setAngle (quarterPi);
    designSplitFilters();
    highCutSmoothing = 1.0f - std::exp (-1000.0f / (0.78125f * hostRate));
    gainSmoothing = 1.0f - std::exp (-1000.0f / (50.0f * hostRate));

    routines = describeMode (0).routines;
    routines->configureMode (*this);

    // Start values, assigned physically with the normalised fields still unset; the processor
    // replaces all of them with the defaults right after construction.
    const std::pair<int, float> startValues[] = {
        { param::mix, 0.5f },           { param::predelay, 0.05f },     { param::decay, 2.0f },
        { param::earlyLateMix, 0.5f },  { param::rtBassMultiply, 0.75f }, { param::rtHighXover, 6000.0f },
        { param::rtHighMultiply, 0.5f }, { param::rtXover, 1000.0f },   { param::earlySize, 10.0f },
        { param::diffusion, 1.0f },     { param::earlyCross, 0.2f },    { param::lateModDepth, 0.5f },
        { param::highCut, 8000.0f },    { param::lateSize, 1.0f },      { param::type, 1.0f },
    };
    for (const auto& [index, value] : startValues)
    {
        params[(size_t) index].value = value;
        updateParameter (index);
    }
}

void ReverbEngine::sizeLines (float rate)
{
    // Line capacities follow the rate so that every delay the modes compute fits: the sizes that
    // serve 48 kHz, scaled up for higher rates (powers of two keep index wrapping to one AND).
    const float above48 = std::max (1.0f, rate / 48000.0f);
    const float above96 = std::max (1.0f, rate / 96000.0f);
    constexpr size_t count = std::tuple_size_v<decltype (predelayLines)> + std::tuple_size_v<decltype (earlyLines)>
                             + std::tuple_size_v<decltype (lateLines)>;
    std::array<DelayLine*, count> lines {};
    std::array<int, count> lengths {};
    size_t k = 0;
    const auto add = [&] (DelayLine& line, int length) {
        lines[k] = &line;
        lengths[k++] = length;
    };
    for (auto& line : predelayLines)
        add (line, (int) std::ceil (65000.0f * above48));
    for (auto& line : earlyLines)
        add (line, (int) std::ceil (16000.0f * above48));
    for (size_t j = 0; j < lateLines.size(); ++j)
    {
        const int atRate = j < 16 && rate <= 48000.0f ? 16000 : 32000;
        add (lateLines[j], (int) std::ceil ((float) atRate * above96));
    }
    // One allocation for all of them: a group of reads then gathers from all its lines at once.
    resizeShared (lines.data(), lengths.data(), (int) count, lineMemory);
}

std::size_t ReverbEngine::memoryBytes() const noexcept
{
    std::size_t samples = 0;
    for (const auto& line : predelayLines)
        samples += (std::size_t) line.size;
    for (const auto& line : earlyLines)
        samples += (std::size_t) line.size;
    for (const auto& line : lateLines)
        samples += (std::size_t) line.size;
    return sizeof (*this) + samples * sizeof (float);
}

void ReverbEngine::prepare (int hostRateHz)
{
    sizeLines (usableRate (hostRateHz));
    setSampleRate (hostRateHz);
    restart();
}

void ReverbEngine::setSampleRate (int hostRateHz)
{
    const float r = usableRate (hostRateHz);
    if (r == hostRate)
        return;
    hostRate = r;
    // Normally prepare() has sized the lines for this rate. A rate first seen while audio runs
    // keeps the memory there is (allocating here would stall the audio thread): delays too long
    // for it are held at the longest the lines hold, until the next prepare.
    clear();
    processingRate = halfRate ? r * 0.5f : r;
    designSplitFilters();
    for (int index : { param::lateSize, param::earlySize, param::rtXover, param::rtHighXover, param::earlyModRate,
                       param::earlyModDepth, param::lateModRate, param::lateModDepth, param::highCut, param::predelay })
        updateParameter (index);
    highCutSmoothing = 1.0f - std::exp (-1000.0f / (0.78125f * r));
    gainSmoothing = 1.0f - std::exp (-1000.0f / (50.0f * r));
    // Coefficients designed for the old rate describe another filter at the new one: no glide.
    for (auto& f : highCutFilters)
        f.snapToTargets();
}

void ReverbEngine::designSplitFilters() noexcept
{
    const float d = designAllpass1 (splitFilterHz, processingRate).x;
    for (auto& f : inputSplitFilters)
        f.setCoefficients (d, 1.0f, 0.0f);
    for (auto& f : outputSplitFilters)
        f.setCoefficients (1.0f, 0.0f, d);
}

void ReverbEngine::clear()
{
    for (size_t k = 0; k < lateLines.size(); ++k)
    {
        clearLine (lateLines[k]);
        bassFilters[k].state = 0.0f;
        highFilters[k].state = 0.0f;
    }
    for (auto& line : earlyLines)
        clearLine (line);
    for (size_t c = 0; c < 2; ++c)
    {
        clearLine (predelayLines[c]);
        outputBassFilters[c].state = 0.0f;
        clearState (highCutFilters[c]);
        highCutShelves[c].state = 0.0f;
        inputSplitFilters[c].state = 0.0f;
        outputSplitFilters[c].state = 0.0f;
        decimators[c].clear();
        interpolators[c].clear();
    }
    for (auto* group : { ioBlock.data(), wetBlock.data(), earlyOutBlock.data(), lateSumBlock.data(), auxBlock.data() })
        for (size_t c = 0; c < 2; ++c)
            group[c].zero();
    for (auto* blocks : { &lineBlock, &lineBlockB })
        for (auto& b : *blocks)
            b.zero();
    for (auto& b : tapBlock)
        b.zero();
    for (auto& b : tempBlock)
        b.zero();
}

float ReverbEngine::getDefaultNormalised (int index) const { return defaultNormalised (parameterInfo (index)); }

void ReverbEngine::setNormalised (int index, float normalisedValue)
{
    auto& p = params[(size_t) index];
    if (normalisedValue == p.normalised)
        return;
    p.normalised = normalisedValue;
    p.value = toPhysical (parameterInfo (index), normalisedValue);
    updateParameter (index);
}

namespace
{
/** setRate (modulator j, its rate, its period) for the modulators j < count: the rates and
    periods of a whole set at once (they vectorise), then each modulator's fields. */
template <typename Modulators>
void assignModulatorRates (Modulators& modulators, int count, float rateHz, float blocksPerSecond) noexcept
{
    constexpr int chunk = 32;
    for (int first = 0; first < count; first += chunk)
    {
        const int size = std::min (chunk, count - first);
        float rates[chunk], periods[chunk];
        for (int k = 0; k < size; ++k)
        {
            const auto j = (float) (first + k);
            rates[k] = (j * 0.0311f + rateHz) / blocksPerSecond * 2.0f;
            periods[k] = blocksPerSecond / (rateHz * 4.67f + j * 0.0538f);
        }
        for (int k = 0; k < size; ++k)
        {
            // floor (q) as an integer, without the library call the baseline makes of floor:
            // below 2e9 in magnitude a float's truncation is exact, and q an integer from 2^24
            // up. A period beyond the int range (or no number) only arises from values outside
            // the parameter range.
            const float q = periods[k];
            int32_t period = 2000000000;
            if (std::fabs (q) < 2.0e9f)
            {
                const auto t = (int32_t) q;
                period = (float) t > q ? t - 1 : t;
            }
            auto&& lfo = modulators[first + k];
            lfo.rate = rates[k];
            lfo.step = lfo.step >= 0.0f ? lfo.rate : -lfo.rate;
            lfo.period = period;
        }
    }
}
} // namespace

void ReverbEngine::setModulatorRates (RandomLfo* modulators, int count, float rateHz) noexcept
{
    assignModulatorRates (modulators, count, rateHz, processingRate / controlBlockLength);
}

void ReverbEngine::setModulatorRates (RandomLfoBank& modulators, float rateHz) noexcept
{
    assignModulatorRates (modulators, RandomLfoBank::size, rateHz, processingRate / controlBlockLength);
}

void ReverbEngine::changeMode (float typeValue)
{
    mode = modeForTypeValue (typeValue);
    routines = describeMode (mode).routines;
    // configureMode clears the engine first thing; a second clear here would only cost time.
    routines->configureMode (*this);
}

void ReverbEngine::beginModeConfiguration()
{
    const auto& c = describeMode (mode).constants;
    lateNormaliser = c.lateNormaliser;
    lateLineCount = c.lateLineCount;
    matrixScale = c.matrixScale;
    clear();
    halfRate = c.halfRate;
    processingRate = halfRate ? hostRate * 0.5f : hostRate;
    controlBlockLength = halfRate ? (float) (blockSize / 2) : (float) blockSize;
    splitFilterHz = c.splitFilterHz;
    highCutStage = c.highCut;
    lateCrossAngleScale = c.lateCrossAngleScale;
    designSplitFilters();
    resetModeState();
}

void ReverbEngine::resetModeState() noexcept
{
    // A mode starts as it would in a new engine: its lengths and gains are computed from nothing,
    // every read starts at its own delay, the modulators start from rest and the half-rate offsets
    // from their first sign. Only the smoothed high cut keeps gliding from where it is.
    modeState = ModeState {};
    restartAllGlides();
    lateModulators.reset();
    for (auto& lfo : earlyModulators)
        lfo = RandomLfo {};
    denormalOffsets = { { 1e-15f, 1e-15f } };
}

void ReverbEngine::restartAllGlides() noexcept
{
    for (auto& line : predelayLines)
        restartGlides (line);
    for (auto& line : earlyLines)
        restartGlides (line);
    for (auto& line : lateLines)
        restartGlides (line);
}

void ReverbEngine::restart()
{
    clear();
    startAtRest = true;
    forgetShortRuns();
}

void ReverbEngine::settleForStart() noexcept
{
    // Nothing has been heard since the engine was built, prepared or reset: whatever was set in
    // the meantime applies at once, as in an engine that has been running with those settings.
    wetGain = wetTarget;
    dryGain = dryTarget;
    for (auto& f : highCutFilters)
        f.snapToTargets();
    restartAllGlides();
    startAtRest = false;
}

void ReverbEngine::finishModeConfiguration()
{
    for (int index : { param::rtXover, param::rtHighXover, param::earlyModRate, param::earlyModDepth,
                       param::lateModRate, param::lateModDepth, param::highCut, param::predelay, param::lateCross })
        updateParameter (index);
}

double reverbTailSeconds (float predelayMs, float earlySizeMs, float decaySeconds, float bassMultiply, double hostRate)
{
    const double slowest = std::max (0.0, (double) decaySeconds * std::max (1.0, (double) bassMultiply));
    // The early diffuser's stages add up to about 0.8 x earlySize of spread before the late tail.
    const double early = 0.001 * std::max (0.0, (double) earlySizeMs) * 0.8;
    const double rate = hostRate > 0.0 ? hostRate : 48000.0;
    return 64.0 / rate + 0.001 * std::max (0.0, (double) predelayMs) + early + 1.5 * slowest;
}

} // namespace quorvane
