#include "Quorvane.h"

#include "Lv2Bridge.h"
#include "QuorvaneParameter.h"
#include "editor/QuorvaneEditor.h"

#include <climits>
#include <cmath>

namespace quorvane
{

namespace
{
bool isValidIndex (param::Index index) noexcept
{
    const int i = static_cast<int> (index);
    return i >= 0 && i < param::count;
}

/** The framework's rate as the engine's integer rate (truncated); 0 when unusable. */
int toEngineRate (double rate) noexcept
{
    return (std::isfinite (rate) && rate >= 1.0 && rate < (double) INT_MAX) ? static_cast<int> (rate) : 0;
}

/** Samples per pass when a one-channel buffer needs a scratch right channel. */
constexpr int scratchSamples = 256;

/** A one-channel buffer has no right output to write to: the right side runs through scratch
    memory, so the engine still sees a mono input on both sides. Out of line, so that the usual
    stereo call does not set up the scratch memory's stack frame. */
[[gnu::noinline]] void processWithScratchRight (ReverbEngine& engine, float* left, int n) noexcept
{
    float right[scratchSamples];
    for (int start = 0; start < n; start += scratchSamples)
    {
        const int count = juce::jmin (scratchSamples, n - start);
        std::copy (left + start, left + start + count, right);
        engine.process (left + start, right, left + start, right, count);
    }
}
} // namespace

Quorvane::Quorvane()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    engine.setSampleRate (48000);

    // Published values start outside 0..1 so that every default below counts as a change.
    for (auto& value : published)
        value.store (-1.0f);

    for (int i = 0; i < param::count; ++i)
        setParameter (static_cast<param::Index> (i), engine.getDefaultNormalised (i));

    // No audio thread exists yet: bring the engine in line at once instead of at the first block.
    applyPendingChanges();

    for (int i = 0; i < param::count; ++i)
        addParameter (new QuorvaneParameter (*this, static_cast<param::Index> (i)));

    setPresetName ("Default");
    setLatencySamples (0);

    if (juce::MessageManager::getInstanceWithoutCreating() != nullptr)
        startTimerHz (30);
}

Quorvane::~Quorvane() { stopTimer(); }

//==============================================================================
void Quorvane::setParameter (param::Index index, float newValue)
{
    if (! isValidIndex (index) || ! std::isfinite (newValue))
        return;

    const int i = static_cast<int> (index);
    if (published[(size_t) i].load() == newValue)
        return;

    published[(size_t) i].store (newValue);
    dirtyMask.fetch_or (1u << i);
    notifyParameterChanged();
}

float Quorvane::getParameter (param::Index index) const
{
    return isValidIndex (index) ? published[(size_t) index].load() : 0.0f;
}

juce::String Quorvane::getParameterName (param::Index index) const
{
    return isValidIndex (index) ? juce::String (parameterInfo (index).identifier) : juce::String();
}

juce::String Quorvane::getParameterText (param::Index index) const
{
    if (! isValidIndex (index))
        return {};

    const auto& info = parameterInfo (index);
    return juce::String (displayText (info, toPhysical (info, getParameter (index))));
}

float Quorvane::getParameterDefaultValue (param::Index index) const
{
    return isValidIndex (index) ? defaultNormalised (parameterInfo (index)) : 0.0f;
}

void Quorvane::seedRandom (uint32_t seed)
{
    pendingSeed.store (seed);
    seedPending.store (true);
}

void Quorvane::notifyParameterChanged()
{
    if (juce::MessageManager::existsAndIsCurrentThread())
        sendChangeMessage();
    else
        changeMessagePending.store (true);
}

void Quorvane::announceParametersToHost()
{
    for (auto* parameter : getParameters())
        parameter->sendValueChangedMessageToListeners (parameter->getValue());
}

void Quorvane::timerCallback()
{
    if (changeMessagePending.exchange (false))
        sendChangeMessage();
}

//==============================================================================
const juce::String Quorvane::getName() const { return "Quorvane"; }

void Quorvane::prepareToPlay (double sampleRate, int)
{
    hostRate.store (sampleRate);
    if (const int rate = toEngineRate (sampleRate); rate > 0)
        engine.prepare (rate);

    // The LV2 wrapper tells its host a parameter value only when that value changes inside the
    // plug-in, and it prepares once, when it is instantiated. Reporting every value here makes it
    // send them all with its first block, so a host that listens learns the real values rather
    // than assuming zeros. Other formats ask the processor itself; reporting there would look
    // like user edits.
    if (wrapperType == wrapperType_LV2)
        announceParametersToHost();

    applyPendingChanges();
    clearRequested.store (false);
    engine.restart();
}

void Quorvane::releaseResources() {}

void Quorvane::reset() { clearRequested.store (true); }

void Quorvane::applyPendingChanges()
{
    // Plain loads first: most blocks have nothing pending, and an exchange is a locked operation.
    if (seedPending.load (std::memory_order_relaxed) && seedPending.exchange (false))
        engine.seedRandom (pendingSeed.load());

    // Index order puts `type` last: the mode is rebuilt with every other new value in place.
    if (dirtyMask.load (std::memory_order_relaxed) != 0)
        if (const uint32_t dirty = dirtyMask.exchange (0); dirty != 0)
            for (int i = 0; i < param::count; ++i)
                if ((dirty & (1u << i)) != 0)
                    engine.setNormalised (i, published[(size_t) i].load());

    if (clearRequested.load (std::memory_order_relaxed) && clearRequested.exchange (false))
        engine.restart();
}

void Quorvane::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    // Both checks are a few loads when nothing changed, as almost always: a host calling with
    // blocks of a sample or two pays them every sample.
    if (changesPending())
        applyPendingChanges();

    // prepareToPlay gives the engine its rate; a host that changes the rate without preparing
    // again is caught here, with the memory there is.
    if (const double hostSampleRate = getSampleRate(); hostRate.load (std::memory_order_relaxed) != hostSampleRate)
    {
        hostRate.store (hostSampleRate, std::memory_order_relaxed);
        if (const int rate = toEngineRate (hostSampleRate); rate > 0)
            engine.setSampleRate (rate);
    }

    dispatch (buffer);
}

void Quorvane::dispatch (juce::AudioBuffer<float>& buffer)
{
    const int n = buffer.getNumSamples();
    const int channels = buffer.getNumChannels();
    if (channels == 0 || n <= 0)
        return;

    float* left = buffer.getWritePointer (0);

    if (channels == 1)
        return processWithScratchRight (engine, left, n);

    float* right = buffer.getWritePointer (1);

    // A mono input feeds both sides; copying it first keeps every output on its own input.
    if (getTotalNumInputChannels() == 1)
        std::copy (left, left + n, right);

    engine.process (left, right, left, right, n);
}

void Quorvane::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const int n = buffer.getNumSamples();
    if (n > 0 && buffer.getNumChannels() >= 2 && getTotalNumInputChannels() == 1)
        buffer.copyFrom (1, 0, buffer, 0, 0, n);
}

bool Quorvane::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto in = layouts.getMainInputChannelSet();
    return layouts.getMainOutputChannelSet() == juce::AudioChannelSet::stereo()
           && (in == juce::AudioChannelSet::mono() || in == juce::AudioChannelSet::stereo());
}

double Quorvane::getTailLengthSeconds() const
{
    auto physical = [this] (param::Index index)
    { return toPhysical (parameterInfo (index), getParameter (index)); };

    const double sampleRate = hostRate.load();
    const double rate = std::isfinite (sampleRate) && sampleRate > 0.0 ? sampleRate : 48000.0;
    return reverbTailSeconds (physical (param::predelay), physical (param::earlySize), physical (param::decay),
                              physical (param::rtBassMultiply), rate);
}

juce::AudioProcessorEditor* Quorvane::createEditor() { return new QuorvaneEditor (*this); }

} // namespace quorvane

quorvane::Quorvane*& quorvane::lv2bridge::lastCreatedProcessor()
{
    thread_local Quorvane* last = nullptr;
    return last;
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    auto* processor = new quorvane::Quorvane();
    quorvane::lv2bridge::lastCreatedProcessor() = processor;
    return processor;
}
