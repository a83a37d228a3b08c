#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace quorvane::test
{
namespace
{

bool supports (const Quorvane& p, const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (in);
    layout.outputBuses.add (out);
    return p.checkBusesLayoutSupported (layout);
}

TEST (ProcessorLifecycle, ReportsNameChannelsProgramsAndFields)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    EXPECT_EQ (p.getName(), "Quorvane");
    EXPECT_EQ (p.getTotalNumInputChannels(), 2);
    EXPECT_EQ (p.getTotalNumOutputChannels(), 2);
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_TRUE (p.hasEditor());

    // One program (hosts cope badly with none), named after the current preset: validators
    // reject a program without a name.
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getPresetName(), "Default");
    EXPECT_EQ (p.getProgramName (0), "Default");
    p.presetFromText ("<Quorvane presetName=\"Hall of Mirrors\" decay=\"0.5\"/>");
    EXPECT_EQ (p.getProgramName (0), "Hall of Mirrors");
    p.setPresetName ("Default");

    EXPECT_EQ (p.uiWidth, 735);
    EXPECT_EQ (p.uiHeight, 500);
    EXPECT_FALSE (p.mixLock);
}

TEST (ProcessorLifecycle, OffersMonoOrStereoInToStereoOut)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    using Set = juce::AudioChannelSet;
    EXPECT_TRUE (supports (p, Set::stereo(), Set::stereo()));
    EXPECT_TRUE (supports (p, Set::mono(), Set::stereo()));
    EXPECT_FALSE (supports (p, Set::mono(), Set::mono()));
    EXPECT_FALSE (supports (p, Set::stereo(), Set::mono()));
    EXPECT_FALSE (supports (p, Set::create5point1(), Set::stereo()));
}

TEST (ProcessorLifecycle, TailIsReportedAndGrowsWithDecay)
{
    auto p = makeProcessor();
    double previous = 0.0;
    for (float decaySeconds : { 0.1f, 1.0f, 10.0f, 100.0f })
    {
        setPhysical (*p, param::decay, decaySeconds);
        const double tail = p->getTailLengthSeconds();
        EXPECT_GT (tail, previous) << decaySeconds;
        EXPECT_GE (tail, decaySeconds) << "a tail shorter than the decay time gets cut by hosts";
        previous = tail;
    }

    // Longer predelay delays the tail too.
    const double before = p->getTailLengthSeconds();
    setPhysical (*p, param::predelay, 400.0f);
    EXPECT_GT (p->getTailLengthSeconds(), before);
}

TEST (ProcessorLifecycle, AutomationWhileProcessingKeepsTheOutputSound)
{
    auto p = makeProcessor (48000.0, 128);
    std::atomic<bool> done { false };

    // Mode changes clear and rebuild the networks: they must never meet a running block.
    std::thread automation ([&]
    {
        int step = 0;
        while (! done.load())
        {
            auto& params = p->getParameters();
            params[param::type]->setValue (typeNormalisedForMode (step % modeCount));
            params[param::decay]->setValue ((float) (step % 10) / 10.0f);
            params[param::lateSize]->setValue ((float) (step % 7) / 7.0f);
            if (step % 13 == 0)
                p->reset();
            ++step;
            std::this_thread::yield();
        }
    });

    const auto input = noise (128, 0.5f, 4);
    juce::AudioBuffer<float> buffer (2, 128);
    juce::MidiBuffer midi;
    bool finite = true;
    for (int block = 0; block < 1500 && finite; ++block)
    {
        buffer.copyFrom (0, 0, input.data(), 128);
        buffer.copyFrom (1, 0, input.data(), 128);
        p->processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 128; ++i)
                finite = finite && std::isfinite (buffer.getSample (c, i));
    }
    done.store (true);
    automation.join();
    EXPECT_TRUE (finite);
}

TEST (ProcessorLifecycle, FactoryCreatesTheProcessor)
{
    std::unique_ptr<juce::AudioProcessor> p (createPluginFilter());
    ASSERT_NE (dynamic_cast<Quorvane*> (p.get()), nullptr);
    EXPECT_EQ (p->getParameters().size(), param::count);
}

} // namespace
} // namespace quorvane::test
