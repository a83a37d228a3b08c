#pragma once

#include "../common/JuceGuiTestEnvironment.h"
#include "editor/QuorvaneEditor.h"
#include "processor/Quorvane.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

namespace quorvane::editortest
{

using quorvane::testing::pumpMessages;
using quorvane::testing::pumpMessagesUntil;

/** A processor with its editor, the editor not on the desktop. */
struct EditorFixture
{
    EditorFixture();
    ~EditorFixture();

    std::unique_ptr<Quorvane> processor;
    std::unique_ptr<QuorvaneEditor> editor;
};

/** A fresh, empty folder under the system's temporary folder, removed with the object. */
struct TemporaryFolder
{
    TemporaryFolder();
    ~TemporaryFolder();
    juce::File folder;
};

/** Counts the gestures and value changes the host would see for one parameter. */
class HostListener : public juce::AudioProcessorListener
{
public:
    explicit HostListener (int watchedIndex) : index (watchedIndex) {}
    int begins = 0, ends = 0, changes = 0;

    void audioProcessorParameterChanged (juce::AudioProcessor*, int parameterIndex, float) override
    {
        changes += parameterIndex == index ? 1 : 0;
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int parameterIndex) override
    {
        begins += parameterIndex == index ? 1 : 0;
    }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int parameterIndex) override
    {
        ends += parameterIndex == index ? 1 : 0;
    }

private:
    int index;
};

} // namespace quorvane::editortest
