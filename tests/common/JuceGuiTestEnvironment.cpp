#include "JuceGuiTestEnvironment.h"

#include <X11/Xlib.h>

namespace juce
{
// The framework's own message pump step (what its modal loops call), not in its public headers.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace quorvane::testing
{

bool pumpMessagesUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

void pumpMessages (int milliseconds)
{
    pumpMessagesUntil ([] { return false; }, milliseconds);
}

void JuceGuiTestEnvironment::SetUp()
{
    // A virtual display without a window manager lacks window properties the framework asks
    // for; outside a stand-alone app it installs no X error handler of its own, and Xlib's
    // default one would end the process.
    XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });
    juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
}

void JuceGuiTestEnvironment::TearDown() { juce.reset(); }

} // namespace quorvane::testing
