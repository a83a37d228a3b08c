#pragma once

#include "AudioStreams.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cstdint>
#include <functional>

namespace quorvane::cli
{

/** How one render went. */
struct RenderResult
{
    enum class Failure
    {
        none,
        sourceRead, ///< the source could not deliver its samples
        sinkWrite,  ///< the sink refused the output
        cancelled   ///< stopped by the cancel flag
    };

    Failure failure = Failure::none;
    int64_t samplesWritten = 0;
    float peak = 0.0f;  ///< largest absolute output sample
    bool finite = true; ///< false if the output held a NaN or an infinity

    bool ok() const { return failure == Failure::none; }
};

/** Folds n samples of each of `count` blocks, in one pass, into the largest absolute sample so
    far and whether every sample was finite. Running maxima side by side, so the scan vectorises
    and costs little beside the reverb; a maximum is exact, so splitting it changes nothing (a NaN
    is skipped, as std::max skips it). */
void scanBlocks (const float* const* blocks, int count, int n, float& peak, bool& finite) noexcept;

/** Called now and then with the fraction of the render done, 0..1. */
using ProgressCallback = std::function<void (double fraction)>;

/** Drives an audio processor the way a host does: buses set to the source's channel count in and
    stereo out, rate and block size announced, prepareToPlay, then processBlock per host block. */
class Renderer
{
public:
    /** Configures the processor for the source; call before any parameter is published. */
    Renderer (juce::AudioProcessor& processor, const SignalSource& source, int blockSize);
    ~Renderer();

    /** Runs the source and then tailSamples of silence through the processor into the sink.
        Allocates nothing per block; stops early if cancel becomes true. */
    RenderResult run (SignalSource& source, SampleSink& sink, int64_t tailSamples, const ProgressCallback& progress,
                      const std::atomic<bool>* cancel = nullptr);

    /** True when the processor took the source's channel count as its input bus; a mono source
        is otherwise copied to both input channels. */
    bool inputBusMatchesSource() const { return busMatches; }

private:
    juce::AudioProcessor& processor;
    int blockSize;
    int sourceChannels;
    bool busMatches = false;
    juce::AudioBuffer<float> buffer;
    juce::MidiBuffer midi;
};

} // namespace quorvane::cli
