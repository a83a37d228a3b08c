// A host session's worth of instances of each built format, opened, run and closed one after
// another: every instance is prepared, processes, is moved to another rate and block size,
// takes over the previous instance's state and hands its own on. Nothing may stay behind: the
// heap in use after the last instance is what it was after the first few (the
// host.instances-under-valgrind test runs a few of them under valgrind's leak checker).
#include "../common/JuceGuiTestEnvironment.h"
#include "HostedPlugin.h"

#include "EngineParameters.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstdlib>

namespace quorvane::hosttest
{
namespace
{

int instanceCount()
{
    const char* text = std::getenv ("QUORVANE_HOST_INSTANCES");
    const int count = text != nullptr ? std::atoi (text) : 50;
    return count > 0 ? count : 50;
}

/** Bytes the allocator has handed out and not yet taken back. */
size_t heapInUse()
{
    const auto info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct RunSettings
{
    double rate;
    int blockSize;
};

constexpr RunSettings runs[] = { { 44100.0, 256 },  { 48000.0, 512 }, { 96000.0, 128 },
                                 { 88200.0, 1024 }, { 192000.0, 64 }, { 22050.0, 333 } };

/** Processes noise in blocks of the prepared size; false when any output sample is not finite. */
bool processNoise (juce::AudioPluginInstance& instance, int blockSize, int blocks, juce::Random& random)
{
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    bool finite = true;
    for (int b = 0; b < blocks; ++b)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (c, i, random.nextFloat() - 0.5f);
        instance.processBlock (buffer, midi);
        midi.clear();
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < blockSize; ++i)
                finite = finite && std::isfinite (buffer.getSample (c, i));
    }
    return finite;
}

class InstanceLifecycle : public ::testing::TestWithParam<bool>
{
protected:
    bool isVst3() const { return GetParam(); }
};

TEST_P (InstanceLifecycle, ManyInstancesOpenRunSaveRestoreAndCloseWithoutLeaking)
{
    const BuiltFormat built (isVst3());
    ASSERT_TRUE (built.isReady());

    const int count = instanceCount();
    // The first instances fill the framework's and the format libraries' caches.
    const int warmUp = std::min (count, 5);
    size_t heapAfterWarmUp = 0;
    juce::MemoryBlock handedOn;
    juce::Random random (17);

    for (int n = 0; n < count; ++n)
    {
        SCOPED_TRACE ("instance " + std::to_string (n));
        const auto first = runs[(size_t) n % std::size (runs)];
        const auto second = runs[(size_t) (n + 1) % std::size (runs)];
        {
            HostedPlugin plugin (*built.format, built.location, first.rate, first.blockSize);
            ASSERT_TRUE (plugin.isLoaded()) << plugin.error();
            auto& instance = plugin.get();
            ASSERT_TRUE (plugin.prepareStereo());

            if (! handedOn.isEmpty())
            {
                instance.setStateInformation (handedOn.getData(), (int) handedOn.getSize());
                juce::MemoryBlock restored;
                instance.getStateInformation (restored);
                EXPECT_EQ (restored, handedOn) << "the previous instance's state did not come back whole";
            }

            plugin.setNormalised ("decay", random.nextFloat());
            plugin.setNormalised ("type", typeNormalisedForMode (n % modeCount));
            EXPECT_TRUE (processNoise (instance, first.blockSize, 8, random));

            instance.releaseResources();
            instance.prepareToPlay (second.rate, second.blockSize);
            EXPECT_TRUE (processNoise (instance, second.blockSize, 8, random));

            instance.getStateInformation (handedOn);
            EXPECT_GT (handedOn.getSize(), 8u);
        }
        quorvane::testing::pumpMessages (2);

        if (n + 1 == warmUp)
            heapAfterWarmUp = heapInUse();
    }

    // One engine alone is several megabytes: a leaked instance shows at once, and the bound
    // leaves room only for the framework's small lazily grown caches.
    if (count >= 20)
    {
        const auto growth = (double) heapInUse() - (double) heapAfterWarmUp;
        std::printf ("%d instances: heap grew by %.0f kB after the first %d\n", count, growth / 1024.0, warmUp);
        EXPECT_LT (growth, 1024.0 * 1024.0) << "the heap grew over " << count - warmUp << " instances";
    }
}

INSTANTIATE_TEST_SUITE_P (Formats, InstanceLifecycle, ::testing::Bool(),
                          [] (const auto& info) { return info.param ? std::string ("VST3") : std::string ("LV2"); });

} // namespace
} // namespace quorvane::hosttest
