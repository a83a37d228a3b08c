// Test runner for the hosting tests: the framework's message manager must exist before any
// plug-in format is created, and it needs no display as long as no editor is opened.

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

namespace
{

class JuceEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { juce.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce;
};

} // namespace

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new JuceEnvironment());
    return RUN_ALL_TESTS();
}
