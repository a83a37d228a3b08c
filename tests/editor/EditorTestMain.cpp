// Test runner for the editor tests: the framework's GUI and message manager exist for every test
// (the tests run under a virtual display).
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

namespace juce
{
// The framework's own message pump step (what its modal loops call), not in its public headers.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace quorvane::editortest
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

EditorFixture::EditorFixture()
    : processor (std::make_unique<Quorvane>()), editor (std::make_unique<QuorvaneEditor> (*processor))
{
}

EditorFixture::~EditorFixture()
{
    editor.reset();
    processor.reset();
}

TemporaryFolder::TemporaryFolder()
    : folder (juce::File::createTempFile ("quorvane-editor-test"))
{
    folder.createDirectory();
}

TemporaryFolder::~TemporaryFolder() { folder.deleteRecursively(); }

} // namespace quorvane::editortest

namespace
{
int ignoreXError (Display*, XErrorEvent*) { return 0; }

class JuceEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // A bare virtual display has no window manager, so the framework asks for window
        // properties that do not exist there; outside a stand-alone app it installs no X error
        // handler of its own, and Xlib's default one would end the process.
        XSetErrorHandler (ignoreXError);
        juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    }
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
