#include "ProcessorHarness.h"
#include "processor/QuorvaneParameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace quorvane::test
{
namespace
{

const char* const expectedIds[param::count] = {
    "mix",           "predelay",      "decay",       "HighCut",        "earlyLateMix",
    "lateSize",      "lateCross",     "lateModRate", "lateModDepth",   "RTBassMultiply",
    "RTXover",       "RTHighMultiply", "RTHighXover", "earlySize",     "earlyCross",
    "earlyModRate",  "earlyModDepth", "earlySend",   "diffusion",      "type",
};

QuorvaneParameter& hostParameter (Quorvane& p, param::Index index)
{
    return *dynamic_cast<QuorvaneParameter*> (p.getParameters()[index]);
}

struct CountingListener : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

TEST (ProcessorParameters, TwentyHostParametersWithTableIdsNamesAndDefaults)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    ASSERT_EQ (Quorvane::numParameters(), 20);
    ASSERT_EQ (p.getParameters().size(), 20);

    for (int i = 0; i < param::count; ++i)
    {
        const auto index = static_cast<param::Index> (i);
        auto& hp = hostParameter (p, index);
        EXPECT_EQ (hp.getParameterID(), expectedIds[i]);
        EXPECT_EQ (hp.getName (100), expectedIds[i]);
        EXPECT_EQ (p.getParameterName (index), expectedIds[i]);
        EXPECT_EQ (hp.getLabel(), "");
        EXPECT_TRUE (hp.isAutomatable());
        EXPECT_FALSE (hp.isDiscrete());
        EXPECT_EQ (hp.getDefaultValue(), p.getParameterDefaultValue (index));
        // After construction every parameter sits at its default.
        EXPECT_EQ (hp.getValue(), hp.getDefaultValue()) << expectedIds[i];
    }

    EXPECT_EQ (p.getParameterDefaultValue (param::type), 0.083333336f);
    EXPECT_EQ (p.getParameterDefaultValue (param::mix), 1.0f);
    EXPECT_EQ (p.getParameterDefaultValue (param::predelay), 0.02f);
    EXPECT_EQ (p.getParameterDefaultValue (param::earlyModDepth), 0.0f);
}

TEST (ProcessorParameters, IndicesOutsideTheTableAreHarmless)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    const auto past = static_cast<param::Index> (20);
    const auto negative = static_cast<param::Index> (-1);
    EXPECT_EQ (p.getParameterName (past), "");
    EXPECT_EQ (p.getParameterName (negative), "");
    p.setParameter (past, 0.5f);
    EXPECT_EQ (p.getParameter (past), 0.0f);
}

TEST (ProcessorParameters, DisplayTextsShowThePhysicalValueAndSuffix)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    EXPECT_EQ (p.getParameterText (param::mix), "100.00 % ");
    EXPECT_EQ (p.getParameterText (param::highCut), "8000.00 Hz ");
    EXPECT_EQ (p.getParameterText (param::lateSize), "0.50");
    EXPECT_EQ (p.getParameterText (param::type), "1.00");

    p.setParameter (param::decay, 0.0f);
    EXPECT_EQ (p.getParameterText (param::decay), "0.10 s ");
    EXPECT_EQ (hostParameter (p, param::decay).getCurrentValueAsText(), "0.10 s ");

    // The host asks for texts of values the parameter does not hold.
    EXPECT_EQ (hostParameter (p, param::predelay).getText (1.0f, 100), "500.00 ms ");
    EXPECT_EQ (hostParameter (p, param::predelay).getText (1.0f, 3), "500");
}

TEST (ProcessorParameters, TextsParseBackToTheirValue)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    for (int i = 0; i < param::count; ++i)
    {
        auto& hp = hostParameter (p, static_cast<param::Index> (i));
        for (float v : { 0.0f, 0.25f, 0.6f, 1.0f })
        {
            const auto& info = parameterInfo (i);
            // Two decimals of the physical value: the round trip is exact to 0.005 physical.
            const float tolerance = 0.0051f / (info.maximum - info.minimum);
            EXPECT_NEAR (hp.getValueForText (hp.getText (v, 1024)), v, tolerance) << info.identifier;
        }
    }
    EXPECT_EQ (hostParameter (p, param::mix).getValueForText ("250 % "), 1.0f);
    EXPECT_EQ (hostParameter (p, param::mix).getValueForText ("-3"), 0.0f);
}

TEST (ProcessorParameters, HostValuesAreClampedAndNonFiniteValuesIgnored)
{
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    auto& decay = hostParameter (p, param::decay);

    decay.setValue (1.5f);
    EXPECT_EQ (p.getParameter (param::decay), 1.0f);
    decay.setValue (-0.5f);
    EXPECT_EQ (p.getParameter (param::decay), 0.0f);
    decay.setValue (0.3f);
    decay.setValue (std::numeric_limits<float>::quiet_NaN());
    decay.setValue (std::numeric_limits<float>::infinity());
    EXPECT_EQ (p.getParameter (param::decay), 0.3f);
    EXPECT_EQ (decay.getValue(), 0.3f);

    p.setParameter (param::decay, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ (p.getParameter (param::decay), 0.3f);
}

TEST (ProcessorParameters, OnlyRealChangesSendAChangeMessage)
{
    juce::ScopedJuceInitialiser_GUI messageThread;
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    CountingListener listener;
    p.addChangeListener (&listener);

    p.setParameter (param::lateSize, 0.7f);
    p.dispatchPendingMessages();
    EXPECT_EQ (listener.count, 1);

    p.setParameter (param::lateSize, 0.7f);
    hostParameter (p, param::lateSize).setValue (0.7f);
    p.dispatchPendingMessages();
    EXPECT_EQ (listener.count, 1);

    hostParameter (p, param::lateSize).setValue (0.2f);
    p.dispatchPendingMessages();
    EXPECT_EQ (listener.count, 2);

    p.removeChangeListener (&listener);
}

TEST (ProcessorParameters, ChangesFromOtherThreadsArePublishedAtOnce)
{
    juce::ScopedJuceInitialiser_GUI messageThread;
    auto owner = std::make_unique<Quorvane>();
    auto& p = *owner;
    CountingListener listener;
    p.addChangeListener (&listener);

    std::thread automation ([&p] { hostParameter (p, param::earlySend).setValue (0.4f); });
    automation.join();

    EXPECT_EQ (p.getParameter (param::earlySend), 0.4f);
    EXPECT_EQ (p.getParameterText (param::earlySend), "0.40");
    // The message itself is relayed by the message thread's timer, never posted off-thread.
    p.dispatchPendingMessages();
    EXPECT_EQ (listener.count, 0);

    p.removeChangeListener (&listener);
}

} // namespace
} // namespace quorvane::test
