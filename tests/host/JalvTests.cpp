// The built LV2 bundle in Debian's jalv, a host nobody here wrote, on a JACK server of its own
// (dummy driver: no sound card): it loads, lists its parameters, and the values given on jalv's
// command line reach the sound.

#include "JackSession.h"
#include "ReferenceRender.h"

#include "EngineParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <set>

namespace quorvane::hosttest
{
namespace
{

constexpr int rate = 48000;
constexpr int blockSize = 512;
constexpr auto pluginUri = "https://brennwick.example/plugins/quorvane";
constexpr auto jalvClient = "quorvane-jalv";

/** Silence played before the test signal: a little over a second, in whole JACK blocks, so that
    every glide begun by the values jalv sets at its start has settled. */
constexpr int settlingTime = blockSize * 96;

/** One parameter in its own units, as the renderer takes it; jalv gets its 0..1 value. */
struct Setting
{
    const char* identifier;
    float physical;
};

/** jalv's name for a parameter: the symbol lilv derives from its URI, <plug-in URI>:<ID>. */
std::string symbolOf (const std::string& identifier) { return "quorvane_" + identifier; }

class JalvHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<JackDummyServer> (rate, blockSize);
        ASSERT_TRUE (server->error().empty()) << server->error();
    }

    void TearDown() override
    {
        if (jalv != nullptr)
            jalv->stop (5000);
        jalv.reset();
        server.reset();
    }

    /** Starts jalv on the built bundle with the given settings and waits for its ports. */
    void startJalv (std::initializer_list<Setting> settings)
    {
        // lilv honours LV2_PATH, so jalv sees the build tree's bundle and nothing else.
        const std::string bundleDir =
            juce::File (QUORVANE_LV2_BUNDLE).getParentDirectory().getFullPathName().toStdString();

        // -s: jalv's console front end passes values to a plug-in's parameters (patch messages,
        // the only way this plug-in takes them) only while a user interface is to be shown;
        // without it the -c values are queued and never sent. The console shows no window.
        std::vector<std::string> args { "jalv", "-s", "-x", "-n", jalvClient };
        for (const auto& s : settings)
        {
            const int index = findParameter (s.identifier);
            ASSERT_GE (index, 0) << s.identifier;
            // Nine significant digits carry a float exactly through jalv's text-to-float reading.
            char value[32];
            std::snprintf (value, sizeof (value), "%.9g", (double) toNormalised (parameterInfo (index), s.physical));
            args.insert (args.end(), { "-c", symbolOf (s.identifier) + "=" + value });
        }
        args.push_back (pluginUri);

        jalv = std::make_unique<ChildProgram> (args, std::vector<std::string> { "LV2_PATH=" + bundleDir });
        ASSERT_TRUE (jalv->error().empty()) << jalv->error();
        ASSERT_TRUE (waitForPort (std::string (jalvClient) + ":audio_out_2", 20000))
            << "jalv did not bring up the plug-in's ports:\n" << jalv->output();
    }

    /** Plays a stereo signal through the plug-in in jalv and returns its output. */
    juce::AudioBuffer<float> playThrough (const juce::AudioBuffer<float>& input)
    {
        std::vector<float> left (input.getReadPointer (0), input.getReadPointer (0) + input.getNumSamples());
        std::vector<float> right (input.getReadPointer (1), input.getReadPointer (1) + input.getNumSamples());

        JackTap tap;
        const auto recorded = tap.run (jalvClient, "audio_in_", "audio_out_", left, right, 60000);
        juce::AudioBuffer<float> output;
        EXPECT_TRUE (tap.error().empty()) << tap.error() << "\njalv:\n" << jalv->output();
        if (recorded.size() != 2)
            return output;

        output.setSize (2, input.getNumSamples());
        for (int c = 0; c < 2; ++c)
            std::copy (recorded[(size_t) c].begin(), recorded[(size_t) c].end(), output.getWritePointer (c));
        return output;
    }

    std::unique_ptr<JackDummyServer> server;
    std::unique_ptr<ChildProgram> jalv;
};

/** Silence, then two decaying noise bursts that differ between the channels, then silence for
    the tail: something every part of the reverb answers to, the same on every run. */
juce::AudioBuffer<float> testSignal (int leadIn, int length)
{
    juce::AudioBuffer<float> signal (2, length);
    signal.clear();
    juce::Random random (12);
    for (int c = 0; c < 2; ++c)
        for (int burst = 0; burst < 2; ++burst)
        {
            const int start = leadIn + burst * rate / 4 + c * 733;
            for (int k = 0; k < rate / 10 && start + k < length; ++k)
                signal.setSample (c, start + k, 0.5f * std::exp (-k / 900.0f) * (random.nextFloat() * 2.0f - 1.0f));
        }
    return signal;
}

juce::String describeDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int from, int to)
{
    float worst = 0.0f;
    int at = -1;
    for (int c = 0; c < 2; ++c)
        for (int k = from; k < to; ++k)
            if (const float d = std::abs (a.getSample (c, k) - b.getSample (c, k)); d > worst)
            {
                worst = d;
                at = k;
            }
    char text[96];
    std::snprintf (text, sizeof (text), "largest difference %.3g at sample %d", (double) worst, at);
    return text;
}

TEST_F (JalvHost, LoadsAndListsTheTwentyParameters)
{
    startJalv ({});
    // jalv's standard output goes to a file and is block-buffered: it is complete once jalv quits.
    ASSERT_TRUE (jalv->send ("controls\n"));
    jalv->stop (10000);
    const auto text = jalv->output();

    const std::regex line (R"(^(?:> )*quorvane_(\w+) = )", std::regex::multiline);
    std::set<std::string> listed;
    for (std::sregex_iterator it (text.begin(), text.end(), line), end; it != end; ++it)
        listed.insert ((*it)[1].str());

    EXPECT_EQ (listed.size(), (size_t) param::count) << jalv->output();
    for (int i = 0; i < param::count; ++i)
        EXPECT_EQ (listed.count (parameterInfo (i).identifier), 1u)
            << symbolOf (parameterInfo (i).identifier) << " not listed";
}

// Mix 0 is the dry signal, bit for bit: proof that a value set on jalv's command line arrives.
TEST_F (JalvHost, MixZeroOnTheCommandLinePassesTheSignalDry)
{
    startJalv ({ { "mix", 0.0f }, { "lateModDepth", 0.0f }, { "earlyModDepth", 0.0f } });

    const auto input = testSignal (settlingTime, settlingTime + rate / 2);
    const auto output = playThrough (input);
    ASSERT_EQ (output.getNumSamples(), input.getNumSamples());

    EXPECT_EQ (firstDifference (output, input, input.getNumSamples()), -1)
        << describeDifference (output, input, 0, input.getNumSamples());
}

// Mix 100 (and a few settings away from the defaults, so that they have to arrive too) sounds
// like quorvane-render with the same settings.
//
// jalv runs the plug-in from its start, before the test's signal reaches it, for as long as it
// takes to connect: silence of a length nobody controls. So the signal starts after a second of
// silence, long enough for every glide begun by the start-up values to settle, and the renderer
// gets the same second; both are compared after it, block-aligned as JACK runs them. During the
// silence the engine's anti-denormal offset circulates in the network, so where there is no
// signal (before the predelay has passed, say) the two differ at the 1e-20 level; the first
// real sample drowns that below the last bit. Hence: equal to the last bit wherever there is
// sound, and within 1e-15 where there is none.
TEST_F (JalvHost, MixFullRendersLikeTheRenderer)
{
    const std::initializer_list<Setting> settings { { "mix", 100.0f },   { "lateModDepth", 0.0f },
                                                    { "earlyModDepth", 0.0f }, { "decay", 1.2f },
                                                    { "predelay", 8.0f }, { "lateSize", 0.7f } };
    startJalv (settings);

    const int leadIn = settlingTime;
    const double tailSeconds = 1.0;
    const int signalLength = leadIn + rate / 2;
    const auto input = testSignal (leadIn, signalLength);

    juce::StringArray rendererSettings;
    for (const auto& s : settings)
        rendererSettings.add (juce::String (s.identifier) + "=" + juce::String (s.physical));
    const auto reference = ReferenceRender::file (input, rate, blockSize, tailSeconds, rendererSettings);
    ASSERT_TRUE (reference.error.isEmpty()) << reference.error;

    const int total = reference.audio.getNumSamples();
    ASSERT_GE (total, signalLength + rate / 2);
    juce::AudioBuffer<float> played (2, total);
    played.clear();
    for (int c = 0; c < 2; ++c)
        played.copyFrom (c, 0, input, c, 0, signalLength);

    const auto output = playThrough (played);
    ASSERT_EQ (output.getNumSamples(), total);

    // The wet signal has to be there, or the comparison proves nothing.
    EXPECT_GT (output.getMagnitude (0, signalLength, rate / 4), 1.0e-3f) << "no reverb tail";
    EXPECT_GT (output.getMagnitude (1, signalLength, rate / 4), 1.0e-3f) << "no reverb tail";

    float worst = 0.0f;
    int differingSounds = 0;
    for (int c = 0; c < 2; ++c)
        for (int k = leadIn; k < total; ++k)
        {
            const float expected = reference.audio.getSample (c, k);
            const float difference = std::abs (output.getSample (c, k) - expected);
            worst = std::max (worst, difference);
            if (std::abs (expected) > 1.0e-9f && difference != 0.0f)
                ++differingSounds;
        }
    EXPECT_EQ (differingSounds, 0) << describeDifference (output, reference.audio, leadIn, total);
    EXPECT_LT (worst, 1.0e-15f) << describeDifference (output, reference.audio, leadIn, total);
}

} // namespace
} // namespace quorvane::hosttest
