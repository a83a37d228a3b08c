#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

namespace quorvane::hosttest
{

/** What the renderer makes of the same settings a host test applies, read back as floats. */
struct ReferenceRender
{
    juce::AudioBuffer<float> audio;
    double sampleRate = 0.0;
    juce::String error; ///< empty on success; otherwise what went wrong, with the renderer's output

    /** Runs quorvane-render --impulse with 32-bit float output and the given --set arguments. */
    static ReferenceRender impulse (double rate, int blockSize, double tailSeconds, const juce::StringArray& settings);

    /** Runs quorvane-render on the given audio, written as a 32-bit float WAV file at that rate. */
    static ReferenceRender file (const juce::AudioBuffer<float>& input, double rate, int blockSize,
                                 double tailSeconds, const juce::StringArray& settings);
};

/** Largest absolute sample difference over the first numSamples of both channels. */
float maxAbsDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int numSamples);

/** Index of the first sample at which the two differ in either channel, or -1 if none within numSamples. */
int firstDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int numSamples);

} // namespace quorvane::hosttest
