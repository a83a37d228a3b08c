#include "Renderer.h"

#include <cmath>

namespace quorvane::cli
{

Renderer::Renderer (juce::AudioProcessor& p, const SignalSource& source, int blockSizeToUse)
    : processor (p), blockSize (blockSizeToUse), sourceChannels (source.numChannels())
{
    const auto inputLayout = juce::AudioChannelSet::canonicalChannelSet (sourceChannels);
    processor.setChannelLayoutOfBus (true, 0, inputLayout);
    processor.setChannelLayoutOfBus (false, 0, juce::AudioChannelSet::stereo());
    busMatches = processor.getTotalNumInputChannels() == sourceChannels;
    if (! busMatches)
        processor.setChannelLayoutOfBus (true, 0, juce::AudioChannelSet::stereo());

    processor.setRateAndBufferSizeDetails (source.sampleRate(), blockSize);
    processor.prepareToPlay (source.sampleRate(), blockSize);

    // One buffer for the whole render: processBlock works in place on it.
    buffer.setSize (2, blockSize);
    midi.ensureSize (16);
}

Renderer::~Renderer() { processor.releaseResources(); }

RenderResult Renderer::run (SignalSource& source, SampleSink& sink, int64_t tailSamples, const ProgressCallback& progress,
                            const std::atomic<bool>* cancel)
{
    RenderResult result;
    const int64_t sourceLength = source.lengthInSamples();
    const int64_t total = sourceLength + std::max<int64_t> (0, tailSamples);
    // Report about two hundred times per render, never per sample.
    const int64_t reportEvery = std::max<int64_t> (blockSize, total / 200);
    int64_t nextReport = 0;

    float* const channels[2] = { buffer.getWritePointer (0), buffer.getWritePointer (1) };
    int64_t done = 0;

    while (done < total)
    {
        if (cancel != nullptr && cancel->load (std::memory_order_relaxed))
        {
            result.failure = RenderResult::Failure::cancelled;
            break;
        }

        const int n = (int) std::min<int64_t> (blockSize, total - done);
        const int fromSource = (int) std::clamp<int64_t> (sourceLength - done, 0, n);

        if (fromSource > 0 && ! source.read (channels, fromSource))
        {
            result.failure = RenderResult::Failure::sourceRead;
            break;
        }
        for (int ch = 0; ch < 2; ++ch)
            std::fill (channels[ch] + (ch < sourceChannels ? fromSource : 0), channels[ch] + n, 0.0f);
        if (sourceChannels == 1 && ! busMatches)
            std::copy (channels[0], channels[0] + n, channels[1]);

        // A view of the first n samples: the constructor keeps its channel pointers in place.
        juce::AudioBuffer<float> block (channels, 2, n);
        processor.processBlock (block, midi);

        for (int ch = 0; ch < 2; ++ch)
            for (int k = 0; k < n; ++k)
            {
                const float v = channels[ch][k];
                result.finite = result.finite && std::isfinite (v);
                result.peak = std::max (result.peak, std::abs (v));
            }

        if (! sink.write (channels, n))
        {
            result.failure = RenderResult::Failure::sinkWrite;
            break;
        }
        done += n;
        result.samplesWritten = done;

        if (progress && (done >= nextReport || done == total))
        {
            progress ((double) done / (double) std::max<int64_t> (1, total));
            nextReport = done + reportEvery;
        }
    }
    return result;
}

} // namespace quorvane::cli
