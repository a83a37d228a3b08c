#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace quorvane::test
{
namespace
{

constexpr double rate = 48000.0;
constexpr int engineBlock = 64;

Stereo noisyStereo (size_t samples)
{
    return { noise (samples, 0.5f, 1), noise (samples, 0.5f, 2) };
}

Stereo silence (size_t samples) { return { std::vector<float> (samples), std::vector<float> (samples) }; }

/** Full wet and dry together, with modulation on both sections, so every path is exercised. */
void useModulatedMix (Quorvane& p)
{
    setPhysical (p, param::mix, 50.0f);
    p.setParameter (param::earlyModDepth, 1.0f);
    p.setParameter (param::lateModDepth, 1.0f);
    p.setParameter (param::earlySend, 0.5f);
}

TEST (ProcessorAudio, HostBlockSizeDoesNotChangeTheOutput)
{
    const auto input = noisyStereo ((size_t) (2.5 * rate));

    auto reference = makeProcessor (rate, 64, 99);
    useModulatedMix (*reference);
    const auto expected = render (*reference, input, 64);

    for (int blockSize : { 1, 63, 65, 1000 })
    {
        auto p = makeProcessor (rate, blockSize, 99);
        useModulatedMix (*p);
        const auto out = render (*p, input, blockSize);

        size_t mismatches = 0;
        for (size_t i = 0; i < input.size(); ++i)
            mismatches += (out.left[i] != expected.left[i] || out.right[i] != expected.right[i]) ? 1u : 0u;
        EXPECT_EQ (mismatches, 0u) << "block size " << blockSize;
    }
}

TEST (ProcessorAudio, WetSignalLeavesOneEngineBlockPlusPredelayLater)
{
    for (float predelayMs : { 0.0f, 10.0f, 100.0f })
    {
        auto p = makeProcessor (rate, 256);
        setPhysical (*p, param::predelay, predelayMs);
        const auto in = impulse ((size_t) rate);
        const auto out = render (*p, Stereo { in, in }, 256);

        // Before one engine block has run only traces may show: at mix 100 the dry gain is
        // cos(pi/2) in single precision, about -4e-8, not exactly 0.
        for (int i = 0; i < engineBlock; ++i)
        {
            ASSERT_LT (std::abs (out.left[(size_t) i]), 1e-6f) << "wet output before one engine block, sample " << i;
            ASSERT_LT (std::abs (out.right[(size_t) i]), 1e-6f) << "wet output before one engine block, sample " << i;
        }

        const double predelaySamples = rate * predelayMs * 0.001 + 2.0;
        const long onset = firstAbove (out, 1e-6f);
        ASSERT_GE (onset, 0) << "no wet output at all";
        EXPECT_GE (onset, engineBlock + (long) std::floor (predelaySamples)) << predelayMs << " ms";
        EXPECT_LT (onset, engineBlock + (long) predelaySamples + (long) (0.05 * rate)) << predelayMs << " ms";
    }
}

// A host may change the rate between blocks without preparing again: the next block runs at the
// new rate, each time it changes (the predelay, in samples, shows which rate the engine runs at).
TEST (ProcessorAudio, RateChangedWithoutPreparingTakesEffectAtTheNextBlock)
{
    constexpr float predelayMs = 100.0f;
    auto p = makeProcessor (rate, 256);
    setPhysical (*p, param::predelay, predelayMs);
    render (*p, silence (256), 256);

    for (const double newRate : { 96000.0, 44100.0, 96000.0 })
    {
        p->setRateAndBufferSizeDetails (newRate, 256);
        const auto in = impulse ((size_t) newRate / 2);
        const long onset = firstAbove (render (*p, Stereo { in, in }, 256), 1e-6f);
        const long predelaySamples = (long) (newRate * predelayMs * 0.001);
        EXPECT_GE (onset, engineBlock + predelaySamples) << newRate;
        EXPECT_LT (onset, engineBlock + predelaySamples + (long) (0.05 * newRate)) << newRate;
    }
}

TEST (ProcessorAudio, MixZeroPassesTheInputOnceTheGainsHaveSettled)
{
    auto p = makeProcessor (rate, 512);
    p->setParameter (param::mix, 0.0f);
    const auto input = noisyStereo ((size_t) (2.0 * rate));
    const auto out = render (*p, input, 512);

    // The gains glide with a 50 ms time constant; twenty of them leave no audible difference.
    const size_t settled = (size_t) (1.0 * rate);
    for (size_t i = settled; i < input.size(); ++i)
    {
        ASSERT_NEAR (out.left[i], input.left[i], 1e-5f) << i;
        ASSERT_NEAR (out.right[i], input.right[i], 1e-5f) << i;
    }
}

TEST (ProcessorAudio, DecayingTailStaysFiniteAndFreeOfDenormals)
{
    for (float decayNormalised : { 0.0f, 0.02f })
    {
        auto p = makeProcessor (rate, 480);
        p->setParameter (param::decay, decayNormalised);
        auto input = noisyStereo ((size_t) (6.0 * rate));
        std::fill (input.left.begin() + (long) (0.3 * rate), input.left.end(), 0.0f);
        std::fill (input.right.begin() + (long) (0.3 * rate), input.right.end(), 0.0f);

        const auto out = render (*p, input, 480);
        for (size_t i = 0; i < out.size(); ++i)
            for (float x : { out.left[i], out.right[i] })
            {
                ASSERT_TRUE (std::isfinite (x)) << "sample " << i;
                ASSERT_TRUE (x == 0.0f || std::abs (x) >= FLT_MIN) << "denormal at sample " << i;
            }

        // The tail has died away by the end.
        const size_t last = out.size() - 4800;
        for (size_t i = last; i < out.size(); ++i)
            ASSERT_LT (std::abs (out.left[i]), 1e-3f) << "decay " << decayNormalised << " sample " << i;
    }
}

TEST (ProcessorAudio, MonoInputFeedsBothSides)
{
    const auto in = noise ((size_t) rate, 0.5f, 5);

    auto mono = makeProcessor (rate, 300);
    const auto monoOut = renderMono (*mono, in, 300);
    ASSERT_EQ (mono->getTotalNumInputChannels(), 1);

    auto stereo = makeProcessor (rate, 300);
    const auto stereoOut = render (*stereo, Stereo { in, in }, 300);

    for (size_t i = 0; i < in.size(); ++i)
    {
        ASSERT_EQ (monoOut.left[i], stereoOut.left[i]) << i;
        ASSERT_EQ (monoOut.right[i], stereoOut.right[i]) << i;
    }
}

TEST (ProcessorAudio, OneChannelBufferIsProcessedSafely)
{
    auto p = makeProcessor (rate, 1000);
    juce::AudioBuffer<float> buffer (1, 1000);
    juce::MidiBuffer midi;
    const auto in = noise (1000, 0.5f, 3);
    for (int block = 0; block < 20; ++block)
    {
        buffer.copyFrom (0, 0, in.data(), 1000);
        p->processBlock (buffer, midi);
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE (std::isfinite (buffer.getSample (0, i)));
    }
}

TEST (ProcessorAudio, EmptyBlocksChangeNothing)
{
    const auto input = noisyStereo (20000);
    auto reference = makeProcessor (rate, 500);
    const auto expected = render (*reference, input, 500);

    auto p = makeProcessor (rate, 500);
    juce::AudioBuffer<float> empty (2, 0);
    juce::MidiBuffer midi;
    Stereo out = silence (input.size());
    juce::AudioBuffer<float> buffer (2, 500);
    for (size_t start = 0; start < input.size(); start += 500)
    {
        p->processBlock (empty, midi);
        buffer.copyFrom (0, 0, input.left.data() + start, 500);
        buffer.copyFrom (1, 0, input.right.data() + start, 500);
        p->processBlock (buffer, midi);
        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + 500, out.left.begin() + (long) start);
    }
    EXPECT_EQ (out.left, expected.left);
}

TEST (ProcessorAudio, BypassCopiesTheDrySignal)
{
    auto p = makeProcessor (rate, 256);
    const auto left = noise (256, 0.5f, 8), right = noise (256, 0.5f, 9);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    buffer.copyFrom (0, 0, left.data(), 256);
    buffer.copyFrom (1, 0, right.data(), 256);
    p->processBlockBypassed (buffer, midi);
    for (int i = 0; i < 256; ++i)
    {
        ASSERT_EQ (buffer.getSample (0, i), left[(size_t) i]);
        ASSERT_EQ (buffer.getSample (1, i), right[(size_t) i]);
    }

    renderMono (*p, left, 256); // switches the input bus to mono
    buffer.copyFrom (0, 0, left.data(), 256);
    buffer.clear (1, 0, 256);
    p->processBlockBypassed (buffer, midi);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ (buffer.getSample (1, i), left[(size_t) i]);
}

TEST (ProcessorAudio, ResetThenSilenceGivesSilence)
{
    auto p = makeProcessor (rate, 512);
    setPhysical (*p, param::decay, 20.0f);
    render (*p, noisyStereo ((size_t) rate), 512);

    p->reset();
    const auto out = render (*p, silence ((size_t) rate), 512);
    for (size_t i = 0; i < out.size(); ++i)
    {
        ASSERT_LT (std::abs (out.left[i]), 1e-10f) << i;
        ASSERT_LT (std::abs (out.right[i]), 1e-10f) << i;
    }
}

} // namespace
} // namespace quorvane::test
