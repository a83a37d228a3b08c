// Every processor entry point a host, the editor and a project loader may call, from several
// threads at once while the audio thread processes: meant to be run under ThreadSanitizer and
// AddressSanitizer (scripts/stress.sh), and briefly in the ordinary processor suite.
//
// prepareToPlay is never concurrent with processBlock in a host: the plug-in wrappers process
// under the processor's callback lock, and hosts stop processing before they prepare. The audio
// thread here takes that lock around each block as the wrappers do, and the lifecycle thread
// takes it around a rate change; nothing else is serialised.
#include "ProcessorHarness.h"
#include "processor/PresetDocument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace juce
{
// The framework's own message pump step (what its modal loops call), not in its public headers.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace quorvane::test
{
namespace
{

void pumpMessagesFor (std::chrono::duration<double> time)
{
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
}

double stressSeconds()
{
    const char* text = std::getenv ("QUORVANE_STRESS_SECONDS");
    const double seconds = text != nullptr ? std::atof (text) : 2.0;
    return seconds > 0.0 ? seconds : 2.0;
}

/** Counts what the wrapper would forward to its host, from whichever thread it arrives on. */
struct HostListener final : juce::AudioProcessorListener
{
    std::atomic<int> valueChanges { 0 };
    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++valueChanges; }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
};

/** The editor's side of the processor: change messages on the message thread. */
struct EditorListener final : juce::ChangeListener
{
    explicit EditorListener (Quorvane& p) : processor (p) {}
    void changeListenerCallback (juce::ChangeBroadcaster*) override
    {
        ++messages;
        text = processor.getPresetName() + processor.getParameterText (param::decay);
    }
    Quorvane& processor;
    int messages = 0;
    juce::String text;
};

} // namespace

TEST (ThreadStress, EveryEntryPointFromEveryThreadWhileAudioRuns)
{
    const juce::ScopedJuceInitialiser_GUI framework;
    const double seconds = stressSeconds();
    constexpr int maxBlock = 512;
    const double rates[] = { 44100.0, 48000.0, 96000.0, 22050.0, 192000.0, 88200.0 };

    auto p = makeProcessor (48000.0, maxBlock, 3);
    HostListener host;
    p->addListener (&host);
    EditorListener editor (*p);
    p->addChangeListener (&editor);

    const auto folder =
        juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("quorvane-stress", "");
    ASSERT_TRUE (folder.createDirectory());
    folder.getChildFile ("foreign.kpreset").replaceWithText ("<Other decay=\"1\"/>");
    folder.getChildFile ("broken.kpreset").replaceWithText ("<Quorvane decay=\"0.5\"");

    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 };
    std::atomic<bool> audioFinite { true };
    std::atomic<bool> savedStatesValid { true };
    std::atomic<long> states { 0 }, presets { 0 }, prepares { 0 };

    std::vector<std::thread> threads;
    auto spawn = [&] (uint32_t seed, std::function<void (juce::Random&)> body)
    {
        threads.emplace_back (
            [&stop, seed, body]
            {
                juce::Random random ((juce::int64) seed);
                while (! stop.load())
                    body (random);
            });
    };

    // The audio thread: blocks of changing length under the wrappers' callback lock, with the
    // host automation that VST3 hosts deliver inside process().
    threads.emplace_back (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, maxBlock);
            juce::MidiBuffer midi;
            juce::Random random (11);
            const auto input = noise (maxBlock, 0.5f, 5);
            while (! stop.load())
            {
                const int n = 1 + random.nextInt (maxBlock);
                buffer.setSize (2, n, false, false, true);
                buffer.copyFrom (0, 0, input.data(), n);
                buffer.copyFrom (1, 0, input.data(), n);
                if (random.nextInt (8) == 0)
                    p->getParameters()[random.nextInt (param::count)]->setValue (random.nextFloat());
                {
                    const juce::ScopedLock lock (p->getCallbackLock());
                    p->processBlock (buffer, midi);
                }
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < n; ++i)
                        if (! std::isfinite (buffer.getSample (c, i)))
                            audioFinite.store (false);
                ++blocks;
            }
        });

    // Host automation from another thread, gestures included, and mode changes.
    spawn (21,
           [&] (juce::Random& random)
           {
               auto* parameter = p->getParameters()[random.nextInt (param::count)];
               parameter->beginChangeGesture();
               parameter->setValueNotifyingHost (random.nextFloat());
               parameter->endChangeGesture();
               p->setParameter (param::type, typeNormalisedForMode (random.nextInt (modeCount)));
               p->getParameters()[random.nextInt (param::count)]->getText (random.nextFloat(), 16);
           });

    // Project saves and loads, including chunks a host may hand over damaged.
    spawn (31,
           [&] (juce::Random& random)
           {
               juce::MemoryBlock chunk;
               p->getStateInformation (chunk);
               if (presetdoc::decodeStateChunk (chunk.getData(), (int) chunk.getSize()) == nullptr)
                   savedStatesValid.store (false);
               if (random.nextBool())
                   chunk.setSize ((size_t) random.nextInt ((int) chunk.getSize()));
               p->setStateInformation (chunk.getData(), (int) chunk.getSize());
               ++states;
               p->getTailLengthSeconds();
               p->getProgramName (0);
           });

    // The editor's and the preset menu's work: preset text, files, names, lock and size.
    spawn (41,
           [&] (juce::Random& random)
           {
               const auto file = folder.getChildFile ("Preset " + juce::String (random.nextInt (4)) + ".kpreset");
               ++presets;
               switch (random.nextInt (7))
               {
                   case 0:
                       p->presetFromText (p->presetToText());
                       break;
                   case 1:
                       p->savePresetFile (file);
                       break;
                   case 2:
                       p->loadPresetFile (file);
                       break;
                   case 3:
                       p->loadPresetFile (
                           folder.getChildFile (random.nextBool() ? "foreign.kpreset" : "broken.kpreset"));
                       break;
                   case 4:
                       p->setPresetName ("Renamed " + juce::String (random.nextInt()));
                       break;
                   case 5:
                       p->mixLock = ! p->mixLock;
                       break;
                   default:
                       p->uiWidth = 367 + random.nextInt (736);
                       p->uiHeight = 250 + random.nextInt (501);
                       break;
               }
           });

    // Lifecycle: resets at any time, rate changes the way a host makes them.
    spawn (51,
           [&] (juce::Random& random)
           {
               p->reset();
               // Rate changes are rare in a session, and each holds the audio thread up like a host's.
               if (random.nextInt (16) == 0)
               {
                   const double rate = rates[random.nextInt ((int) std::size (rates))];
                   const juce::ScopedLock lock (p->getCallbackLock());
                   p->setRateAndBufferSizeDetails (rate, maxBlock);
                   p->prepareToPlay (rate, maxBlock);
                   ++prepares;
               }
               std::this_thread::sleep_for (std::chrono::milliseconds (2));
           });

    // The message thread relays change messages to the editor until the time is up.
    pumpMessagesFor (std::chrono::duration<double> (seconds));

    stop.store (true);
    for (auto& t : threads)
        t.join();
    pumpMessagesFor (std::chrono::milliseconds (50));

    std::printf ("%.1f s: %ld blocks, %ld state round trips, %ld preset operations, %ld rate changes\n", seconds,
                 blocks.load(), states.load(), presets.load(), prepares.load());
    EXPECT_TRUE (audioFinite.load());
    EXPECT_TRUE (savedStatesValid.load());
    EXPECT_GT (blocks.load(), 50);
    EXPECT_GT (host.valueChanges.load(), 0);
    EXPECT_GT (editor.messages, 0);

    // Nothing was lost on the way: a state restored now reads back exactly.
    auto reference = makeProcessor();
    for (int i = 0; i < param::count; ++i)
        reference->setParameter (static_cast<param::Index> (i), 0.05f * (float) i);
    reference->setPresetName ("After the storm");
    reference->mixLock = true;
    reference->uiWidth = 900;
    juce::MemoryBlock expected, actual;
    reference->getStateInformation (expected);
    p->setStateInformation (expected.getData(), (int) expected.getSize());
    p->getStateInformation (actual);
    EXPECT_EQ (actual, expected);

    p->removeChangeListener (&editor);
    p->removeListener (&host);
    folder.deleteRecursively();
}

} // namespace quorvane::test
