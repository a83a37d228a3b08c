#include "HostedPlugin.h"

namespace quorvane::hosttest
{

BuiltFormat::BuiltFormat (bool vst3)
{
    if (vst3)
    {
        format = std::make_unique<juce::VST3PluginFormat>();
        location = QUORVANE_VST3_BUNDLE;
        return;
    }
    // HOME must point at the sandbox before the format scans its search path.
    sandbox = std::make_unique<Lv2Sandbox> (juce::File (QUORVANE_LV2_BUNDLE));
    if (sandbox->isReady())
        location = pluginUriFromManifest (sandbox->bundle());
    format = std::make_unique<juce::LV2PluginFormat>();
}

HostedPlugin::HostedPlugin (juce::AudioPluginFormat& format, const juce::String& fileOrIdentifier,
                            double sampleRate, int blockSizeIn)
    : rate (sampleRate), blockSize (blockSizeIn)
{
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, fileOrIdentifier);

    if (found.isEmpty())
    {
        loadError = format.getName() + " found no plug-in at " + fileOrIdentifier;
        return;
    }

    // VST3 and LV2 can be created synchronously on the message thread.
    instance = format.createInstanceFromDescription (*found[0], rate, blockSize, loadError);

    if (instance != nullptr && format.getName() == "LV2")
        lv2UriPrefix = "des:" + found[0]->fileOrIdentifier + ":";
}

HostedPlugin::~HostedPlugin()
{
    if (instance != nullptr)
        instance->releaseResources();
}

juce::Array<juce::AudioProcessorParameter*> HostedPlugin::ownParameters() const
{
    juce::Array<juce::AudioProcessorParameter*> result;
    auto* bypass = instance->getBypassParameter();

    for (auto* p : instance->getParameters())
    {
        // Both wrappers add a bypass switch (VST3 its own parameter, LV2 the "enabled" port),
        // and VST3 a program list when there are several programs.
        if (p == bypass || p->isMetaParameter() || p->getName (64) == "Program")
            continue;
        result.add (p);
    }
    return result;
}

juce::String HostedPlugin::identifierOf (const juce::AudioProcessorParameter& parameter) const
{
    if (auto* hosted = dynamic_cast<const juce::HostedAudioProcessorParameter*> (&parameter))
    {
        const auto id = hosted->getParameterID();
        // LV2 parameters are properties named <plug-in URI>:<identifier>.
        if (lv2UriPrefix.isNotEmpty() && id.startsWith (lv2UriPrefix))
            return id.substring (lv2UriPrefix.length());
        return id;
    }
    return {};
}

juce::AudioProcessorParameter* HostedPlugin::findByIdentifier (const juce::String& identifier) const
{
    for (auto* p : ownParameters())
        if (identifierOf (*p) == identifier || p->getName (1024) == identifier)
            return p;
    return nullptr;
}

bool HostedPlugin::setNormalised (const juce::String& identifier, float normalised)
{
    auto* p = findByIdentifier (identifier);
    if (p == nullptr)
        return false;
    p->setValue (normalised);
    return true;
}

bool HostedPlugin::prepareStereo()
{
    auto layout = instance->getBusesLayout();
    if (layout.inputBuses.isEmpty() || layout.outputBuses.isEmpty())
        return false;

    layout.inputBuses.getReference (0) = juce::AudioChannelSet::stereo();
    layout.outputBuses.getReference (0) = juce::AudioChannelSet::stereo();
    if (! instance->setBusesLayout (layout))
        return false;

    instance->prepareToPlay (rate, blockSize);
    return instance->getTotalNumInputChannels() == 2 && instance->getTotalNumOutputChannels() == 2;
}

juce::AudioBuffer<float> HostedPlugin::renderImpulse (int numSamples)
{
    juce::AudioBuffer<float> result (2, numSamples);
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;

    for (int pos = 0; pos < numSamples; pos += blockSize)
    {
        const int n = juce::jmin (blockSize, numSamples - pos);
        block.setSize (2, n, false, false, true);
        block.clear();
        if (pos == 0)
        {
            block.setSample (0, 0, 1.0f);
            block.setSample (1, 0, 1.0f);
        }

        instance->processBlock (block, midi);
        midi.clear();

        for (int ch = 0; ch < 2; ++ch)
            result.copyFrom (ch, pos, block, ch, 0, n);
    }
    return result;
}

} // namespace quorvane::hosttest
