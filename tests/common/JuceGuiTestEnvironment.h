#pragma once

// For test programs that open windows: the framework's GUI and message manager for the whole
// run, a message pump for the tests, and an X error handler that a bare virtual display needs.

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quorvane::testing
{

/** Runs the message loop until the condition holds or the time is up; returns the condition. */
bool pumpMessagesUntil (const std::function<bool()>& condition, int timeoutMs = 2000);

/** Runs the message loop for a while (async change messages, timers, window events). */
void pumpMessages (int milliseconds);

class JuceGuiTestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override;
    void TearDown() override;

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce;
};

} // namespace quorvane::testing
