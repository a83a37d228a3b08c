#include "Renderer.h"

#include "engine/Lanes.h"

#include <algorithm>
#include <cmath>

namespace quorvane::cli
{

void scanBlock (const float* x, int n, float& peak, bool& finite) noexcept
{
    Lanes m = broadcast (peak);
    IntLanes nonFinite {};
    int k = 0;
    for (; k + 4 <= n; k += 4)
    {
        const Lanes v = loadLanes (x + k);
        nonFinite |= v - v != 0.0f;
        const Lanes a = (Lanes) ((IntLanes) v & 0x7fffffff); // |v|
        m = a > m ? a : m;
    }
    bool allFinite = (nonFinite[0] | nonFinite[1] | nonFinite[2] | nonFinite[3]) == 0;
    float largest = std::max (std::max (m[0], m[1]), std::max (m[2], m[3]));
    for (; k < n; ++k)
    {
        allFinite = allFinite && std::isfinite (x[k]);
        largest = std::max (largest, std::fabs (x[k]));
    }
    peak = largest;
    finite = finite && allFinite;
}

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
            scanBlock (channels[ch], n, result.peak, result.finite);

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
