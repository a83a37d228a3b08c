// Not a test: a workload for scripts/measure-plugin-cost.sh, which runs it under callgrind to count
// the instructions the built plug-ins spend per frame at a given host block size. Disabled, so
// ctest leaves it alone; the script asks for it with --gtest_also_run_disabled_tests.
//
//   QUORVANE_COST_FRAMES   frames to process (default 48000)
//   QUORVANE_COST_BLOCK    host block size (default 256)
#include "HostedPlugin.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quorvane::hosttest
{
namespace
{

int setting (const char* name, int fallback)
{
    const char* text = std::getenv (name);
    const int value = text != nullptr ? std::atoi (text) : 0;
    return value > 0 ? value : fallback;
}

class PluginCost : public ::testing::TestWithParam<bool>
{
protected:
    bool isVst3() const { return GetParam(); }
};

TEST_P (PluginCost, DISABLED_ProcessesNoiseInHostBlocks)
{
    const BuiltFormat built (isVst3());
    ASSERT_TRUE (built.isReady());
    const int frames = setting ("QUORVANE_COST_FRAMES", 48000);
    const int blockSize = setting ("QUORVANE_COST_BLOCK", 256);
    HostedPlugin plugin (*built.format, built.location, 48000.0, blockSize);
    ASSERT_TRUE (plugin.isLoaded()) << plugin.error();
    ASSERT_TRUE (plugin.prepareStereo());

    // The noise is made before the run, so the run costs only what the host and plug-in do.
    juce::Random random (5);
    juce::AudioBuffer<float> noise (2, 4096);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < noise.getNumSamples(); ++i)
            noise.setSample (c, i, 0.5f * (random.nextFloat() - 0.5f));
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    int position = 0;
    for (int done = 0; done < frames; done += blockSize)
    {
        const int n = std::min (blockSize, noise.getNumSamples() - position);
        for (int c = 0; c < 2; ++c)
            buffer.copyFrom (c, 0, noise, c, position, n);
        position = (position + n) % noise.getNumSamples();
        plugin.get().processBlock (buffer, midi);
        midi.clear();
    }
    EXPECT_TRUE (std::isfinite (buffer.getSample (0, 0)));
}

INSTANTIATE_TEST_SUITE_P (Formats, PluginCost, ::testing::Bool(),
                          [] (const auto& info) { return info.param ? std::string ("VST3") : std::string ("LV2"); });

} // namespace
} // namespace quorvane::hosttest
