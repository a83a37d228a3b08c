#include "Renderer.h"

#include "engine/Lanes.h"
#include "engine/VectorUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace quorvane::cli
{

namespace
{
/** scanBlocks for one block, over whole vectors of laneCount<V> samples from the start; returns
    how many samples it took. v - v is 0 for every finite sample and NaN for the others, and NaN stays in a sum, so one
    addition a sample gathers the verdict; the peak skips NaN as the scalar maximum does. */
template <typename V>
[[gnu::always_inline]] inline int scanLanes (const float* x, int n, float& peak, bool& finite) noexcept
{
    constexpr int W = laneCount<V>;
    using IV = std::conditional_t<W == 4, IntLanes, IntLanes8>;
    V m = broadcast<V> (peak), nonFinite {};
    int k = 0;
#pragma GCC unroll 4
    for (; k + W <= n; k += W)
    {
        const V v = loadLanes<V> (x + k);
        nonFinite = nonFinite + (v - v);
        const V a = (V) ((IV) v & 0x7fffffff); // |v|
        m = a > m ? a : m;
    }
    for (int j = 0; j < W; ++j)
    {
        finite = finite && nonFinite[j] == 0.0f;
        peak = std::max (peak, m[j]);
    }
    return k;
}

int scanBaseline (const float* const* blocks, int count, int n, float& peak, bool& finite) noexcept
{
    int k = 0;
    for (int b = 0; b < count; ++b)
        k = scanLanes<Lanes> (blocks[b], n, peak, finite);
    return k;
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** scanLanes with one integer maximum a sample on the wider unit: the magnitudes' bits order as
    their values, and every non-finite one lies above the finite ones (infinity, then NaN), so the
    largest says both. Only a block with a NaN needs the peak of the rest, from scanLanes. */
QUORVANE_AVX2 int scanAvx2 (const float* const* blocks, int count, int n, float& peak, bool& finite) noexcept
{
    constexpr int32_t infinity = 0x7f800000;
    IntLanes8 m {};
    const int k = n - n % 8;
    for (int b = 0; b < count; ++b)
    {
        const float* x = blocks[b];
#pragma GCC unroll 4
        for (int i = 0; i < k; i += 8)
        {
            const IntLanes8 bits = (IntLanes8) loadLanes<Lanes8> (x + i) & 0x7fffffff;
            m = bits > m ? bits : m;
        }
    }
    int32_t largest = 0;
    for (int j = 0; j < 8; ++j)
        largest = std::max (largest, m[j]);
    if (largest > infinity)
    {
        for (int b = 0; b < count; ++b)
            scanLanes<Lanes8> (blocks[b], n, peak, finite);
        return k;
    }
    float magnitude;
    std::memcpy (&magnitude, &largest, sizeof magnitude);
    finite = finite && largest < infinity;
    peak = std::max (peak, magnitude);
    return k;
}
#endif
} // namespace

void scanBlocks (const float* const* blocks, int count, int n, float& peak, bool& finite) noexcept
{
    float largest = peak;
    bool allFinite = true;
    const int whole = QUORVANE_ON_VECTOR_UNIT (true, scan, blocks, count, n, largest, allFinite);
    if (whole < n)
        for (int b = 0; b < count; ++b)
            for (int k = whole; k < n; ++k)
            {
                allFinite = allFinite && std::isfinite (blocks[b][k]);
                largest = std::max (largest, std::fabs (blocks[b][k]));
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

RenderResult Renderer::run (SignalSource& source, SampleSink& sink, int64_t tailSamples,
                            const ProgressCallback& progress, const std::atomic<bool>* cancel)
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

        scanBlocks (channels, 2, n, result.peak, result.finite);

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
