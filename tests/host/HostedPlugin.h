#pragma once

#include "Lv2Sandbox.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace quorvane::hosttest
{

/** One instance of a built plug-in, loaded through the framework's hosting code for its format. */
class HostedPlugin
{
public:
    /** Loads the first plug-in that the format finds at fileOrIdentifier; check isLoaded() and error(). */
    HostedPlugin (juce::AudioPluginFormat& format, const juce::String& fileOrIdentifier, double sampleRate,
                  int blockSize);
    ~HostedPlugin();

    bool isLoaded() const { return instance != nullptr; }
    const juce::String& error() const { return loadError; }
    juce::AudioPluginInstance& get() { return *instance; }

    /** The plug-in's own parameters, without the format's added bypass and program parameters. */
    juce::Array<juce::AudioProcessorParameter*> ownParameters() const;

    /** The parameter whose identifier (see identifierOf) is the given one, or nullptr. */
    juce::AudioProcessorParameter* findByIdentifier (const juce::String& identifier) const;

    /** The engine identifier a host-side parameter carries, with the format's decoration removed. */
    juce::String identifierOf (const juce::AudioProcessorParameter& parameter) const;

    /** Sets a parameter from the host side by its normalised value; returns false if it is missing. */
    bool setNormalised (const juce::String& identifier, float normalised);

    /** Stereo in, stereo out, prepared at the rate and block size given at load time. */
    bool prepareStereo();

    /** Feeds a unit impulse (both channels, sample 0) and then silence; returns numSamples of output. */
    juce::AudioBuffer<float> renderImpulse (int numSamples);

private:
    std::unique_ptr<juce::AudioPluginInstance> instance;
    juce::String loadError;
    juce::String lv2UriPrefix; // "des:<plug-in URI>:" for LV2 patch parameters, empty otherwise
    double rate;
    int blockSize;
};

/** The built plug-in in one format, ready to be loaded: that format's hosting code and where it
    finds the plug-in (for LV2 its URI, the bundle copied into a private ~/.lv2 first). */
struct BuiltFormat
{
    explicit BuiltFormat (bool vst3);

    /** False when the LV2 bundle could not be copied into the sandbox. */
    bool isReady() const { return sandbox == nullptr || sandbox->isReady(); }

    // In this order: the format goes before the sandbox it found the plug-in in.
    std::unique_ptr<Lv2Sandbox> sandbox;
    std::unique_ptr<juce::AudioPluginFormat> format;
    juce::String location;
};

} // namespace quorvane::hosttest
