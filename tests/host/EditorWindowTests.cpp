// The built VST3 opens and closes its editor in the framework's host, in a real (virtual-display)
// window, while another thread keeps processing audio.
#include "HostedPlugin.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <atomic>
#include <malloc.h>
#include <thread>

namespace juce
{
// The framework's own message pump step (what its modal loops call), not in its public headers.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace quorvane::hosttest
{

namespace
{
int ignoreXError (Display*, XErrorEvent*) { return 0; }

void pumpMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

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
} // namespace

TEST (HostedEditor, Vst3OpensAndClosesTwentyTimesWhileAudioRuns)
{
    if (juce::String (getenv ("DISPLAY")).isEmpty())
        GTEST_SKIP() << "needs a display (run under xvfb-run)";

    // A virtual display without a window manager lacks window properties the framework asks
    // for; outside a stand-alone app it installs no X error handler and Xlib's default one
    // would end the process.
    XSetErrorHandler (ignoreXError);

    juce::VST3PluginFormat format;
    HostedPlugin hosted (format, QUORVANE_VST3_BUNDLE, 48000.0, 256);
    ASSERT_TRUE (hosted.isLoaded()) << hosted.error();
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
    size_t heapAfterWarmUp = 0, heapWithEditorOpen = 0;
    for (int cycle = 1; cycle <= 20; ++cycle)
    {
        int windowsWhileOpen = 0;
        const auto bounds = openAndClose (plugin, windowsWhileOpen);
        EXPECT_EQ (bounds.getWidth(), 735) << "cycle " << cycle;
        EXPECT_EQ (bounds.getHeight(), 500) << "cycle " << cycle;
        EXPECT_EQ (windowsWhileOpen, desktopBefore + 1) << "cycle " << cycle;
        EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), desktopBefore) << "cycle " << cycle;

        if (cycle == 5)
        {
            heapAfterWarmUp = heapInUse();
            // What one open editor holds, to judge the growth over the remaining cycles by.
            std::unique_ptr<juce::AudioProcessorEditor> editor (plugin.createEditorIfNeeded());
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

    EXPECT_GT (blocks.load(), 100) << "the audio thread ran throughout";
    EXPECT_TRUE (finite.load());

    // An editor (or a large part of one) lost per cycle would add up to many editors' worth.
    const auto editorCost = (long long) heapWithEditorOpen - (long long) heapAfterWarmUp;
    const auto growth = (long long) heapAtEnd - (long long) heapAfterWarmUp;
    std::printf ("one open editor: %lld bytes; growth over 15 cycles: %lld bytes\n", editorCost, growth);
    EXPECT_GT (editorCost, 0);
    EXPECT_LT (growth, 2 * editorCost);
}

} // namespace quorvane::hosttest
