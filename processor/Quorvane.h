#pragma once

#include "PresetDocument.h"
#include "engine/ReverbEngine.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace quorvane
{

/** The host-facing reverb processor: twenty parameters, lifecycle and audio dispatch.

    Threading. Hosts call parameter, state, preset and reset operations from any thread while
    the audio thread runs, and the engine is not re-entrant (a mode change clears and rebuilds
    its networks). So those calls never touch the engine: each parameter's normalised value is
    published in a std::atomic<float> (what getParameter and the host parameter objects read)
    and its bit is set in an atomic dirty mask; reset() only raises a "clear requested" flag;
    seedRandom() publishes a pending seed. At the start of every block the audio thread takes the
    mask (exchange with 0) and applies the dirty values to the engine in index order 0..19, so
    `type`, which clears and reconfigures the mode, comes last, after every other value of a
    state or preset is in place; then it honours a clear request and applies the host rate.
    prepareToPlay, which hosts never run concurrently with processing, prepares the engine for
    the rate and clears it. The audio thread thus never takes a lock and never waits for another
    thread, and every engine update happens between blocks. Change messages go out directly
    only on the message thread; a change made on any other thread (host automation, often on
    the audio thread, where posting a message would lock) is flagged and relayed by a
    message-thread timer. */
class Quorvane final : public juce::AudioProcessor,
                       public juce::ChangeBroadcaster,
                       private juce::Timer
{
public:
    /** Builds the engine, assigns every default in index order and reports no latency. */
    Quorvane();
    ~Quorvane() override;

    //==============================================================================
    /** Number of host parameters (the framework's own getNumParameters is a deprecated virtual). */
    static constexpr int numParameters() noexcept { return param::count; }
    /** Publishes a normalised value; an unchanged value does nothing, a change sends a message. */
    void setParameter (param::Index index, float newValue);
    /** The published normalised value (0 for an index outside 0..19). */
    float getParameter (param::Index index) const;
    /** The parameter identifier; empty for an index outside 0..19. */
    juce::String getParameterName (param::Index index) const;
    /** Display text of the current value: two decimals and the suffix. */
    juce::String getParameterText (param::Index index) const;
    /** The normalised default of the parameter table. */
    float getParameterDefaultValue (param::Index index) const;

    /** Tells the wrapper's listeners every current value, as if each had just changed: how the
        LV2 wrapper learns to send them all to its host (with its next block). */
    void announceParametersToHost();

    /** Seeds the modulators' random generator at the start of the next block. */
    void seedRandom (uint32_t seed);

    /** Name of the current preset (a copy: the name may be replaced from another thread). */
    juce::String getPresetName() const;
    /** Renames the current preset. */
    void setPresetName (const juce::String& newName);

    //==============================================================================
    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void reset() override;

    using juce::AudioProcessor::processBlock;
    using juce::AudioProcessor::processBlockBypassed;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    void processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    /** The one program carries the current preset's name: hosts and validators expect a name. */
    const juce::String getProgramName (int) override { return getPresetName(); }
    void changeProgramName (int, const juce::String&) override {}

    /** The saved state: "VC2!", the length, one line of XML (values, name, editor settings), a zero byte. */
    void getStateInformation (juce::MemoryBlock& destData) override;
    /** Restores a saved state; anything that is not one changes nothing. */
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    /** The current settings as a preset document (the clipboard text and the file content). */
    juce::String presetToText() const;
    /** Applies a preset document given as text; text that is not a preset of this product is ignored. */
    void presetFromText (const juce::String& text);
    /** Writes the preset document through a temporary file; false when it cannot be written. */
    bool savePresetFile (const juce::File& file) const;
    /** Reads and applies a preset file; an unreadable or foreign file changes nothing. */
    void loadPresetFile (const juce::File& file);
    /** The factory (0) or user (1) preset folder; never creates anything. */
    static juce::File getPresetFolder (int kind);

    //==============================================================================
    /** Editor size and MIX lock: written by the editor on the message thread and by state
        restores on host threads, read by both; atomics, since the audio thread never uses them
        and no caller may ever wait for another. */
    std::atomic<int> uiWidth { 735 };
    std::atomic<int> uiHeight { 500 };
    std::atomic<bool> mixLock { false };

private:
    // The preset name is a heap string, so it cannot be an atomic; its short lock is taken only
    // by the message thread and host threads (state, presets), never by the audio thread.
    juce::String presetName;
    mutable juce::SpinLock presetNameLock;

    presetdoc::Values currentValues() const;
    void applyPreset (const juce::XmlElement& element);
    void notifyParameterChanged();
    void timerCallback() override;
    /** Whether another thread left a change for the audio thread: plain loads, no locked operation. */
    bool changesPending() const noexcept
    {
        return dirtyMask.load (std::memory_order_relaxed) != 0 || seedPending.load (std::memory_order_relaxed)
               || clearRequested.load (std::memory_order_relaxed);
    }
    void applyPendingChanges();
    void dispatch (juce::AudioBuffer<float>& buffer);

    ReverbEngine engine;

    std::array<std::atomic<float>, param::count> published {};
    std::atomic<uint32_t> dirtyMask { 0 };
    std::atomic<bool> clearRequested { false };
    std::atomic<bool> seedPending { false };
    std::atomic<uint32_t> pendingSeed { 0 };
    std::atomic<bool> changeMessagePending { false };
    // The host rate for calls from other threads (the tail length): the framework's own field is
    // a plain double that a host's rate change writes while such a call may be reading it.
    std::atomic<double> hostRate { 0.0 };

    static_assert (std::atomic<float>::is_always_lock_free && std::atomic<double>::is_always_lock_free,
                   "the audio thread must not lock");
    static_assert (param::count <= 32, "one dirty bit per parameter");

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Quorvane)
};

} // namespace quorvane
