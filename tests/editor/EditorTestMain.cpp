// Test runner for the editor tests: the framework's GUI and message manager exist for every test
// (the tests run under a virtual display).
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

namespace quorvane::editortest
{

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

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new quorvane::testing::JuceGuiTestEnvironment());
    return RUN_ALL_TESTS();
}
