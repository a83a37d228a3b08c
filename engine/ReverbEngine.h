#pragma once

#include "EngineParameters.h"

#include <cstdint>

namespace quorvane
{

/** Placeholder engine: the public interface the processor and the renderer build on. */
struct ReverbEngine
{
    ReverbEngine();

    /** Sizes all delay memory for a host rate (may allocate; never call it on the audio thread). */
    void prepare (int hostRateHz);
    /** Applies the host rate; clears and recomputes rate-dependent quantities when it changed. */
    void setSampleRate (int hostRateHz);
    /** Silences all signal memory. */
    void clear();

    void setNormalised (int index, float normalisedValue);
    float getNormalised (int index) const;
    float getValue (int index) const;
    float getDefaultNormalised (int index) const;

    /** Processes n samples through the current mode; outputs may alias inputs. */
    void process (float* outL, float* outR, const float* inL, const float* inR, int n);

    /** Seeds the modulators' private random generator (the default seed comes from the clock). */
    void seedRandom (uint32_t seed);

    /** Seconds until the wet signal has died away, from the current decay and predelay settings. */
    double tailSeconds() const;

    int mode = 0;
    float hostRate = 48000.0f;
    EngineParameters params;
};

/** Seconds a host should keep processing after the input falls silent: block latency, predelay,
    the early section's spread and 1.5 times the slowest band's 60 dB decay time (about -90 dB). */
double reverbTailSeconds (float predelayMs, float earlySizeMs, float decaySeconds, float bassMultiply, double hostRate);

} // namespace quorvane
