#pragma once

#include <array>
#include <cstddef>

namespace quorvane
{

/** One first-order allpass section v[n] = x[n] + offset - a.v[n-1], y[n] = a.v[n] + v[n-1] of a
    polyphase half-band filter. The tiny offset flips sign every block: it keeps the recursion out
    of denormal numbers without adding a steady DC. */
struct AllpassSection
{
    float a = 0.0f;
    float state = 0.0f;
    float offset = 1e-15f;

    /** Filters exactly 32 samples; output may be the same memory as input. */
    void process32 (float* output, const float* input) noexcept;
};

/** Polyphase IIR half-band resampler: two branches of allpass sections (0..5 and 6..11) that
    halve the rate of a 64-sample block to 32 samples, or double 32 back to 64, so that a network
    can run at half the host rate. Only sectionCount sections per branch are run. */
struct HalfbandFilter
{
    HalfbandFilter();

    std::array<AllpassSection, 12> sections {};
    float lastSample = 0.0f;
    int sectionCount = 4;

    /** Reduces 64 input samples to 32 output samples. */
    void decimate (const float* input, float* output) noexcept;
    /** Expands 32 input samples to 64 output samples (output must not overlap input). */
    void interpolate (const float* input, float* output) noexcept;
    /** Zeroes the section states and the delayed sample. */
    void clear() noexcept;
};

/** Both channels' decimators (or interpolators) in one pass: the two branches of the two channels
    are four independent recursions, run side by side in one vector with the same operations per
    sample as decimate and interpolate on each channel. */
void decimateStereo (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                     float* outR) noexcept;
void interpolateStereo (HalfbandFilter& left, HalfbandFilter& right, const float* inL, const float* inR, float* outL,
                        float* outR) noexcept;

} // namespace quorvane
