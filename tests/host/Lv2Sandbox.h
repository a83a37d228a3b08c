#pragma once

#include <juce_core/juce_core.h>

namespace quorvane::hosttest
{

/** A temporary HOME whose .lv2 folder holds a copy of one bundle, for as long as the object lives.

    The framework's LV2 hosting (on top of lilv) searches ~/.lv2 and the system folders and does
    not honour LV2_PATH, so the only way to show it a freshly built bundle without installing it
    is a private HOME. The previous HOME comes back on destruction. */
class Lv2Sandbox
{
public:
    explicit Lv2Sandbox (const juce::File& bundle);
    ~Lv2Sandbox();

    /** True when the bundle was copied and HOME points at the sandbox. */
    bool isReady() const { return ready; }
    /** The copied bundle inside the sandbox. */
    juce::File bundle() const { return copiedBundle; }

private:
    juce::TemporaryFile home;
    juce::File copiedBundle;
    juce::String previousHome;
    bool hadHome = false, ready = false;

    JUCE_DECLARE_NON_COPYABLE (Lv2Sandbox)
};

/** The plug-in URI a bundle's manifest.ttl declares (the subject typed lv2:Plugin), or empty. */
juce::String pluginUriFromManifest (const juce::File& bundle);

/** True for an absolute http or https URI with a host name: what LV2 hosts accept as plug-in URI. */
bool isProperPluginUri (const juce::String& uri);

} // namespace quorvane::hosttest
