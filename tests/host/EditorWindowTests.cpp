// The built VST3 and LV2 open and close their editor in the framework's host, in a real (virtual-display)
// window, while another thread keeps processing audio.
#include "../common/JuceGuiTestEnvironment.h"
#include "HostedPlugin.h"
#include "Lv2Sandbox.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <atomic>
#include <malloc.h>
#include <thread>

namespace quorvane::hosttest
{

namespace
{
using quorvane::testing::pumpMessages;

size_t heapInUse()
{
    const auto info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

/** Opens the editor in a desktop window, lets it paint, closes it; returns the window's size. */
juce::Rectangle<int> openAndClose (juce::AudioPluginInstance& plugin, int& desktopWindowsWhileOpen)
{
    std::unique_ptr<juce::AudioProcessorEditor> editor (plugin.createEditorIfNeeded());
    if (editor == nullptr)
        return {};
    editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    editor->setVisible (true);
    pumpMessages (60);
    desktopWindowsWhileOpen = juce::Desktop::getInstance().getNumComponents();
    const auto bounds = editor->getLocalBounds();
    editor.reset();
    pumpMessages (20);
    return bounds;
}

/** Opens and closes the editor of a loaded plug-in `cycles` times while another thread keeps
    processing audio; checks every window and measures the heap for a leak. */
void openAndCloseWhileAudioRuns (HostedPlugin& hosted, int cycles)
{
    auto& plugin = hosted.get();
    ASSERT_TRUE (plugin.hasEditor());
    ASSERT_TRUE (hosted.prepareStereo());

    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };
    std::atomic<bool> finite { true };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        while (running.load())
        {
            buffer.clear();
            if (blocks.load() % 50 == 0)
                buffer.setSample (0, 0, 1.0f), buffer.setSample (1, 0, 1.0f);
            plugin.processBlock (buffer, midi);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    if (! std::isfinite (buffer.getSample (c, i)))
                        finite = false;
            ++blocks;
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    const int desktopBefore = juce::Desktop::getInstance().getNumComponents();
    const int warmUp = juce::jmin (5, cycles);
    size_t heapAfterWarmUp = 0, heapWithEditorOpen = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle)
    {
        int windowsWhileOpen = 0;
        const auto bounds = openAndClose (plugin, windowsWhileOpen);
        EXPECT_EQ (bounds.getWidth(), 735) << "cycle " << cycle;
        EXPECT_EQ (bounds.getHeight(), 500) << "cycle " << cycle;
        // The LV2 host embeds the plug-in's window through a second desktop window of its own.
        EXPECT_GT (windowsWhileOpen, desktopBefore) << "cycle " << cycle;
        EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), desktopBefore) << "cycle " << cycle;

        if (cycle == warmUp)
        {
            heapAfterWarmUp = heapInUse();
            // What one open editor holds, to judge the growth over the remaining cycles by.
            std::unique_ptr<juce::AudioProcessorEditor> editor (plugin.createEditorIfNeeded());
            ASSERT_NE (editor, nullptr);
            editor->addToDesktop (0);
            editor->setVisible (true);
            pumpMessages (60);
            heapWithEditorOpen = heapInUse();
            editor.reset();
            pumpMessages (20);
        }
    }
    const size_t heapAtEnd = heapInUse();

    running = false;
    audio.join();

    EXPECT_GT (blocks.load(), 10 * cycles) << "the audio thread ran throughout";
    EXPECT_TRUE (finite.load());

    // An editor (or a large part of one) lost per cycle would add up to many editors' worth.
    const auto editorCost = (long long) heapWithEditorOpen - (long long) heapAfterWarmUp;
    const auto growth = (long long) heapAtEnd - (long long) heapAfterWarmUp;
    std::printf ("one open editor: %lld bytes; growth over %d cycles: %lld bytes\n", editorCost, cycles - warmUp,
                 growth);
    EXPECT_GT (editorCost, 0);
    EXPECT_LT (growth, 4 * editorCost); // caches settle well below this
}

bool hasDisplay() { return juce::String (getenv ("DISPLAY")).isNotEmpty(); }
} // namespace

TEST (HostedEditor, Vst3OpensAndClosesTwentyTimesWhileAudioRuns)
{
    if (! hasDisplay())
        GTEST_SKIP() << "needs a display (run under xvfb-run)";

    juce::VST3PluginFormat format;
    HostedPlugin hosted (format, QUORVANE_VST3_BUNDLE, 48000.0, 256);
    ASSERT_TRUE (hosted.isLoaded()) << hosted.error();
    openAndCloseWhileAudioRuns (hosted, 20);
}

TEST (HostedEditor, Lv2ShowsTheEditorWhileAudioRuns)
{
    if (! hasDisplay())
        GTEST_SKIP() << "needs a display (run under xvfb-run)";

    // HOME must point at the sandbox before the format scans its search path.
    Lv2Sandbox sandbox (juce::File (QUORVANE_LV2_BUNDLE));
    ASSERT_TRUE (sandbox.isReady());
    juce::LV2PluginFormat format;
    HostedPlugin hosted (format, pluginUriFromManifest (sandbox.bundle()), 48000.0, 256);
    ASSERT_TRUE (hosted.isLoaded()) << hosted.error();
    openAndCloseWhileAudioRuns (hosted, 10);
}

} // namespace quorvane::hosttest
