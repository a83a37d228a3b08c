// The built VST3 and LV2 binaries, loaded by the framework's hosting code exactly as a host would
// load them: identity, parameter set, defaults, and audio identical to the offline renderer.

#include "HostedPlugin.h"
#include "Lv2Sandbox.h"
#include "ReferenceRender.h"

#include "EngineParameters.h"

#include <gtest/gtest.h>

#include <set>

namespace quorvane::hosttest
{
namespace
{

constexpr double testRate = 48000.0;
constexpr int testBlockSize = 512;
constexpr auto lv2Uri = "https://brennwick.example/plugins/quorvane";

enum class Format
{
    vst3,
    lv2
};

std::string formatName (const ::testing::TestParamInfo<Format>& info)
{
    return info.param == Format::vst3 ? "VST3" : "LV2";
}

class HostedQuorvane : public ::testing::TestWithParam<Format>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Format::vst3)
        {
            format = std::make_unique<juce::VST3PluginFormat>();
            pluginLocation = QUORVANE_VST3_BUNDLE;
        }
        else
        {
            // HOME must point at the sandbox before the format scans its search path.
            sandbox = std::make_unique<Lv2Sandbox> (juce::File (QUORVANE_LV2_BUNDLE));
            ASSERT_TRUE (sandbox->isReady()) << "could not copy " << QUORVANE_LV2_BUNDLE << " into a private ~/.lv2";

            pluginLocation = pluginUriFromManifest (sandbox->bundle());
            ASSERT_TRUE (isProperPluginUri (pluginLocation))
                << "manifest.ttl names the plug-in '" << pluginLocation << "', which is not an http(s) URI";

            format = std::make_unique<juce::LV2PluginFormat>();
        }

        plugin = load();
        ASSERT_TRUE (plugin->isLoaded()) << plugin->error();
    }

    /** A fresh instance of the plug-in under test. */
    std::unique_ptr<HostedPlugin> load()
    {
        return std::make_unique<HostedPlugin> (*format, pluginLocation, testRate, testBlockSize);
    }

    void TearDown() override
    {
        // The instance goes before its format, and both before the sandbox they were loaded from.
        plugin.reset();
        format.reset();
        sandbox.reset();
    }

    std::unique_ptr<Lv2Sandbox> sandbox;
    std::unique_ptr<juce::AudioPluginFormat> format;
    std::unique_ptr<HostedPlugin> plugin;
    juce::String pluginLocation; ///< the VST3 bundle path, or the LV2 URI from the manifest
};

TEST_P (HostedQuorvane, LoadsAsQuorvaneWithStereoBuses)
{
    EXPECT_EQ (plugin->get().getName(), "Quorvane");
    EXPECT_TRUE (plugin->prepareStereo()) << "stereo in, stereo out was refused";
    EXPECT_FALSE (plugin->get().acceptsMidi());

    if (GetParam() == Format::lv2)
    {
        EXPECT_EQ (pluginLocation, lv2Uri) << "the bundle's manifest does not carry the configured LV2 URI";
    }
}

TEST_P (HostedQuorvane, ExposesTheTwentyEngineParameters)
{
    const auto params = plugin->ownParameters();
    ASSERT_EQ (params.size(), param::count);

    std::set<juce::String> seen;
    for (int i = 0; i < param::count; ++i)
    {
        const juce::String identifier = parameterInfo (i).identifier;
        auto* p = plugin->findByIdentifier (identifier);
        ASSERT_NE (p, nullptr) << identifier << " is missing";
        EXPECT_EQ (p->getName (1024), identifier);
        EXPECT_TRUE (p->isAutomatable()) << identifier;
        seen.insert (plugin->identifierOf (*p));

        if (GetParam() == Format::vst3)
        {
            // VST3 keeps the processor's order and addresses parameters by a 32-bit number, which
            // the framework derives from the identifier. Hosts store automation under that number,
            // so it must not change (to the index, say) between releases.
            EXPECT_EQ (params[i], p) << identifier << " is not at index " << i;
            const auto hashed = juce::String ((juce::uint32) identifier.hashCode() & 0x7fffffffu);
            EXPECT_EQ (plugin->identifierOf (*p), hashed) << identifier;
        }
        else
        {
            // LV2 names each parameter <plug-in URI>:<identifier>; lilv lists them sorted by URI,
            // so only the names, not the order, can be checked.
            EXPECT_EQ (plugin->identifierOf (*p), identifier);
        }
    }
    EXPECT_EQ ((int) seen.size(), param::count) << "two parameters share an ID";
}

TEST_P (HostedQuorvane, StartsAtTheTableDefaults)
{
    for (int i = 0; i < param::count; ++i)
    {
        const auto& info = parameterInfo (i);
        auto* p = plugin->findByIdentifier (info.identifier);
        ASSERT_NE (p, nullptr) << info.identifier;

        // LV2 carries the default as decimal text in the manifest: allow for its rounding.
        const float expected = defaultNormalised (info);
        const float tolerance = GetParam() == Format::lv2 ? 1.0e-5f : 0.0f;
        EXPECT_NEAR (p->getDefaultValue(), expected, tolerance) << info.identifier;
        EXPECT_NEAR (p->getValue(), expected, tolerance) << info.identifier;
    }
}

/** One parameter as the host and the renderer both set it, in physical units. */
struct Setting
{
    const char* identifier;
    float physical;
};

/** Runs an impulse through the hosted plug-in and through quorvane-render with the same settings
    and expects the same samples. */
void expectSameAsRenderer (HostedPlugin& hosted, std::initializer_list<Setting> settings)
{
    constexpr double seconds = 2.0;
    const int length = (int) (seconds * testRate);

    // Prepared first, then set: the order in which the renderer (and a host) does it.
    ASSERT_TRUE (hosted.prepareStereo());

    juce::StringArray rendererSettings;
    for (const auto& s : settings)
    {
        const int index = findParameter (s.identifier);
        ASSERT_GE (index, 0) << s.identifier;
        // The host speaks the 0..1 scale; the renderer takes physical values and converts them itself.
        ASSERT_TRUE (hosted.setNormalised (s.identifier, toNormalised (parameterInfo (index), s.physical)));
        rendererSettings.add (juce::String (s.identifier) + "=" + juce::String (s.physical));
    }

    const auto audio = hosted.renderImpulse (length);

    const auto reference = ReferenceRender::impulse (testRate, testBlockSize, seconds, rendererSettings);
    ASSERT_TRUE (reference.error.isEmpty()) << reference.error;
    ASSERT_EQ (reference.sampleRate, testRate);
    ASSERT_GE (reference.audio.getNumSamples(), length);

    // The impulse must have produced a response, or the comparison proves nothing.
    EXPECT_GT (audio.getMagnitude (0, length / 4, length / 2), 0.0f) << "no reverb tail after half a second";

    // Exact: both sides run the same compiled engine on the same float input in the same block
    // sizes, without fused multiply-add, fast-math or denormal flushing, so any difference is a
    // real fault (a parameter that did not arrive, a different channel layout, lost samples).
    const int first = firstDifference (audio, reference.audio, length);
    EXPECT_EQ (first, -1) << "the renders part at sample " << first << "; largest difference "
                          << maxAbsDifference (audio, reference.audio, length);
}

// The random modulators flip direction from an unseeded generator in the plug-in; with both
// depths at zero their output is zero whatever they do, so the renders can match exactly.
TEST_P (HostedQuorvane, RendersTheSameImpulseResponseAsTheRenderer)
{
    {
        SCOPED_TRACE ("defaults, no modulation");
        expectSameAsRenderer (*plugin, { { "lateModDepth", 0.0f }, { "earlyModDepth", 0.0f } });
    }
    {
        // A half-rate mode (type = mode + 1, set last as the renderer's --mode would be) and
        // settings away from the defaults, so that every value has to cross the host boundary.
        SCOPED_TRACE ("mode 6, shaped");
        auto fresh = load();
        ASSERT_TRUE (fresh->isLoaded()) << fresh->error();
        expectSameAsRenderer (*fresh, { { "lateModDepth", 0.0f }, { "earlyModDepth", 0.0f }, { "predelay", 25.0f },
                                        { "decay", 1.5f }, { "HighCut", 6000.0f }, { "earlyLateMix", 30.0f },
                                        { "lateSize", 0.8f }, { "earlySend", 0.25f }, { "diffusion", 0.7f },
                                        { "type", 7.0f } });
    }
}

// Every mode crosses the format boundary unchanged: the host selects it
// through the type parameter (mode + 1), set last as the renderer's --mode would be.
TEST_P (HostedQuorvane, EveryModeRendersLikeTheRenderer)
{
    for (int mode = 1; mode < modeCount; ++mode)
    {
        SCOPED_TRACE (modeName (mode));
        auto fresh = load();
        ASSERT_TRUE (fresh->isLoaded()) << fresh->error();
        expectSameAsRenderer (*fresh, { { "lateModDepth", 0.0f }, { "earlyModDepth", 0.0f }, { "predelay", 12.0f },
                                        { "decay", 2.5f }, { "lateSize", 0.6f }, { "earlySend", 0.3f },
                                        { "lateCross", 0.7f }, { "type", (float) (mode + 1) } });
    }
}

// A project saved by the host and reopened: the state chunk travels through the format's own
// state exchange into a fresh instance, which must come back with the same settings and sound.
TEST_P (HostedQuorvane, SavedStateRestoresSettingsAndSoundInAFreshInstance)
{
    // The LV2 wrapper reports restored values to its host as patch messages during a run, and the
    // framework's LV2 host takes them in on its message loop, which this test process does not run.
    if (GetParam() == Format::lv2)
        GTEST_SKIP() << "restored LV2 values reach the host only through a running message loop";

    ASSERT_TRUE (plugin->prepareStereo());
    const Setting settings[] = { { "lateModDepth", 0.0f }, { "earlyModDepth", 0.0f }, { "decay", 3.7f },
                                 { "predelay", 42.0f }, { "lateSize", 0.3f }, { "RTHighMultiply", 0.2f },
                                 { "mix", 60.0f } };
    for (const auto& s : settings)
        ASSERT_TRUE (plugin->setNormalised (s.identifier,
                                            toNormalised (parameterInfo (findParameter (s.identifier)), s.physical)));

    juce::MemoryBlock state;
    plugin->get().getStateInformation (state);
    ASSERT_GT (state.getSize(), 8u);

    auto restored = load();
    ASSERT_TRUE (restored->isLoaded()) << restored->error();
    ASSERT_TRUE (restored->prepareStereo());
    restored->get().setStateInformation (state.getData(), (int) state.getSize());

    for (int i = 0; i < param::count; ++i)
    {
        const auto* identifier = parameterInfo (i).identifier;
        auto* original = plugin->findByIdentifier (identifier);
        auto* copy = restored->findByIdentifier (identifier);
        ASSERT_NE (copy, nullptr) << identifier;
        EXPECT_EQ (copy->getValue(), original->getValue()) << identifier;
    }

    const int length = (int) testRate;
    const auto a = plugin->renderImpulse (length);
    const auto b = restored->renderImpulse (length);
    EXPECT_GT (a.getMagnitude (0, length / 4, length / 2), 0.0f);
    const int first = firstDifference (a, b, length);
    EXPECT_EQ (first, -1) << "the renders part at sample " << first;
}

INSTANTIATE_TEST_SUITE_P (Formats, HostedQuorvane, ::testing::Values (Format::vst3, Format::lv2), formatName);

} // namespace
} // namespace quorvane::hosttest
