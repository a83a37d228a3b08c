// The editor's controls against the processor: values both ways, gestures, the mode selector,
// the MIX lock, pages, tooltips and the stored size.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace quorvane::editortest
{

namespace
{
juce::AudioProcessorParameter& parameter (Quorvane& p, int index) { return *p.getParameters()[index]; }

void sendMouse (juce::ComponentPeer& peer, juce::Point<float> position, bool buttonDown)
{
    peer.handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position,
                           buttonDown ? juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier)
                                      : juce::ModifierKeys(),
                           juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                           juce::Time::currentTimeMillis());
}
} // namespace

TEST (Editor, OpensWithTheProcessorsValuesSizeAndNames)
{
    EditorFixture f;
    auto& e = *f.editor;
    EXPECT_EQ (e.getWidth(), 735);
    EXPECT_EQ (e.getHeight(), 500);
    EXPECT_EQ (e.getSlider (18).getBounds(), juce::Rectangle<int> (470, 275, 70, 85));

    for (int i = 0; i < QuorvaneEditor::numSliders; ++i)
    {
        EXPECT_EQ (e.getSlider (i).getName(), juce::String (i));
        EXPECT_NEAR (e.getSlider (i).getNormalisedValue(), f.processor->getParameter ((param::Index) i), 0.0011) << i;
    }
    EXPECT_EQ (e.getSlider (0).getTextFromValue (e.getSlider (0).getValue()), "100.0 % ");
    EXPECT_EQ (e.getPresetButton().getButtonText(), "Default");

    // The LATE page is shown, the EARLY knobs hidden.
    EXPECT_TRUE (e.getLateButton().getToggleState());
    EXPECT_TRUE (e.getSlider (5).isVisible());
    EXPECT_FALSE (e.getSlider (13).isVisible());
    EXPECT_FALSE (e.getKnobLabel (12).isVisible());
}

TEST (Editor, OpensAtTheStoredSizeAndKeepsTheResizeLimits)
{
    Quorvane p;
    p.uiWidth = 1000;
    p.uiHeight = 680;
    QuorvaneEditor e (p);
    EXPECT_EQ (e.getWidth(), 1000);
    EXPECT_EQ (e.getHeight(), 680);
    EXPECT_FLOAT_EQ (e.getUiScale(), 1000.0f / 735.0f);

    const auto& limits = e.getConstrainer();
    EXPECT_EQ (limits.getMinimumWidth(), 367);
    EXPECT_EQ (limits.getMaximumWidth(), 1102);
    EXPECT_EQ (limits.getMinimumHeight(), 250);
    EXPECT_EQ (limits.getMaximumHeight(), 750);
    EXPECT_DOUBLE_EQ (limits.getFixedAspectRatio(), (double) 1.47f);

    // A width change is stored; a height change alone is not.
    e.setSize (367, 250);
    EXPECT_EQ (p.uiWidth.load(), 367);
    EXPECT_EQ (p.uiHeight.load(), 250);
    EXPECT_EQ (e.getSlider (0).getBounds(), juce::Rectangle<int> (4, 62, 34, 127));
    e.setSize (367, 300);
    EXPECT_EQ (p.uiHeight.load(), 250);

    // A stored size no window could have (a damaged project) opens within the limits.
    Quorvane damaged;
    damaged.uiWidth = 1000000;
    damaged.uiHeight = -3;
    QuorvaneEditor limited (damaged);
    EXPECT_EQ (limited.getWidth(), 1102);
    EXPECT_EQ (limited.getHeight(), 250);
}

TEST (Editor, FollowsHostAutomationAndRestoredStateIncludingTheSize)
{
    EditorFixture f;
    auto& p = *f.processor;
    auto& e = *f.editor;

    // Automation from a host thread reaches the editor through a change message.
    std::thread host ([&p] {
        parameter (p, 2).setValue (0.75f);
        parameter (p, param::type).setValue (1.0f);
    });
    host.join();
    ASSERT_TRUE (pumpMessagesUntil ([&] { return e.getModeComboBox().getSelectedId() == 12; }));
    EXPECT_NEAR (e.getSlider (2).getNormalisedValue(), 0.75, 0.0001);
    EXPECT_EQ (e.getModeComboBox().getText(), "Dense Room");

    // A restored state moves every control and resizes the editor to the stored size.
    Quorvane source;
    parameter (source, 5).setValue (0.2f);
    parameter (source, param::type).setValue (0.0f);
    source.uiWidth = 1000;
    source.uiHeight = 680;
    juce::MemoryBlock state;
    source.getStateInformation (state);
    std::thread restorer ([&] { p.setStateInformation (state.getData(), (int) state.getSize()); });
    restorer.join();
    ASSERT_TRUE (pumpMessagesUntil ([&] { return e.getWidth() == 1000; }));
    EXPECT_EQ (e.getHeight(), 680);
    EXPECT_FLOAT_EQ (e.getUiScale(), 1000.0f / 735.0f);
    EXPECT_EQ (e.getSlider (0).getBounds(), juce::Rectangle<int> (13, 170, 95, 346));
    EXPECT_NEAR (e.getSlider (5).getNormalisedValue(), 0.2, 0.0001);
    // A type below 1/12 selects nothing and the box shows the first mode's name.
    EXPECT_EQ (e.getModeComboBox().getSelectedId(), 0);
    EXPECT_EQ (e.getModeComboBox().getTextWhenNothingSelected(), "Large Room");
}

TEST (Editor, ModeSelectorWritesItemIdOverTwelveInOneGesture)
{
    EditorFixture f;
    HostListener host (param::type);
    f.processor->addListener (&host);

    f.editor->getModeComboBox().setSelectedId (12, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (f.processor->getParameter (param::type), 1.0f);
    f.editor->getModeComboBox().setSelectedId (1, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (f.processor->getParameter (param::type), 1.0f / 12.0f);
    EXPECT_EQ (host.begins, 2);
    EXPECT_EQ (host.ends, 2);

    // Every mode's value selects its own item again (the product is formed in float and floored).
    for (int id = 1; id <= 12; ++id)
    {
        f.processor->getParameters()[param::type]->setValueNotifyingHost ((float) id / 12.0f);
        f.editor->refreshFromProcessor();
        EXPECT_EQ (f.editor->getModeComboBox().getSelectedId(), id);
    }
    f.processor->removeListener (&host);
}

TEST (Editor, OneGesturePerDragNoneForATypedValue)
{
    EditorFixture f;
    auto& e = *f.editor;
    e.addToDesktop (0);
    e.setVisible (true);
    auto* peer = e.getPeer();
    ASSERT_NE (peer, nullptr);

    HostListener host (1);
    f.processor->addListener (&host);

    const auto& fader = e.getSlider (1);
    const auto top = e.getLocalPoint (&fader, juce::Point<int> (35, 40)).toFloat();
    sendMouse (*peer, top, true);
    for (int step = 1; step <= 5; ++step)
        sendMouse (*peer, top.translated (0.0f, 20.0f * (float) step), true);
    sendMouse (*peer, top.translated (0.0f, 100.0f), false);

    EXPECT_EQ (host.begins, 1);
    EXPECT_EQ (host.ends, 1);
    EXPECT_GE (host.changes, 2); // every value change on the way is written
    EXPECT_NEAR (f.processor->getParameter (param::predelay), e.getSlider (1).getNormalisedValue(), 1e-6);

    // A value typed into the box writes the parameter without a gesture.
    auto* box = dynamic_cast<juce::Label*> (e.getSlider (1).getChildComponent (0));
    ASSERT_NE (box, nullptr);
    const int changesBefore = host.changes;
    box->setText ("250", juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (f.processor->getParameter (param::predelay), 0.5f);
    EXPECT_EQ (host.changes, changesBefore + 1);
    EXPECT_EQ (host.begins, 1);
    EXPECT_EQ (host.ends, 1);

    f.processor->removeListener (&host);
    e.removeFromDesktop();
}

TEST (Editor, MixLockColoursAndHelpTexts)
{
    Quorvane p;
    p.mixLock = true;
    QuorvaneEditor e (p);
    auto& mix = e.getSlider (0);
    auto& lock = e.getMixLockButton();
    const juce::String base = "MIX: controls the balance of the input signal with the reverb\n"
                              "click on the mix label above the slider to lock or unlock the mix level";

    // Opened locked: grey text, yet the fader keeps its unlocked look until the first click.
    EXPECT_TRUE (lock.getToggleState());
    EXPECT_EQ (lock.findColour (lock.getToggleState() ? juce::TextButton::textColourOnId
                                                      : juce::TextButton::textColourOffId),
               juce::Colour (0xffcccccc));
    EXPECT_EQ (mix.findColour (juce::Slider::trackColourId), juce::Colour (0xffbe0505));
    EXPECT_EQ (mix.getTooltip(), base);

    lock.triggerClick();
    pumpMessagesUntil ([&] { return ! lock.getToggleState(); });
    EXPECT_FALSE (p.mixLock.load());
    EXPECT_EQ (mix.findColour (juce::Slider::trackColourId), juce::Colour (0xffbe0505));
    EXPECT_EQ (mix.findColour (juce::Slider::thumbColourId), juce::Colour (0xfff71818));
    EXPECT_EQ (mix.getTooltip(), base + "\nmix slider currently unlocked");
    EXPECT_EQ (lock.findColour (juce::TextButton::textColourOffId), juce::Colour (0xffff460e));

    lock.triggerClick();
    pumpMessagesUntil ([&] { return lock.getToggleState(); });
    EXPECT_TRUE (p.mixLock.load());
    EXPECT_EQ (mix.findColour (juce::Slider::trackColourId), juce::Colour (0xffbe0505).withAlpha (0.5f));
    EXPECT_EQ (mix.findColour (juce::Slider::thumbColourId), juce::Colour (0xfff71818).withAlpha (0.5f));
    EXPECT_EQ (mix.getTooltip(), base + "\nmix slider currently locked");
}

TEST (Editor, PageButtonsSwapTheKnobs)
{
    EditorFixture f;
    auto& e = *f.editor;
    e.getEarlyButton().triggerClick();
    pumpMessagesUntil ([&] { return e.getEarlyButton().getToggleState(); });
    EXPECT_FALSE (e.getLateButton().getToggleState());
    for (int i = 5; i < 13; ++i)
        EXPECT_FALSE (e.getSlider (i).isVisible() || e.getKnobLabel (i - 1).isVisible()) << i;
    for (int i = 13; i < 19; ++i)
        EXPECT_TRUE (e.getSlider (i).isVisible() && e.getKnobLabel (i - 1).isVisible()) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE (e.getSlider (i).isVisible());

    e.getLateButton().triggerClick();
    pumpMessagesUntil ([&] { return e.getLateButton().getToggleState(); });
    EXPECT_TRUE (e.getSlider (9).isVisible());
    EXPECT_FALSE (e.getSlider (17).isVisible());
}

TEST (Editor, TooltipFollowsTheControlUnderThePointer)
{
    EditorFixture f;
    auto& e = *f.editor;
    const juce::Component* over = nullptr;
    auto pointerOn = [&over] (const juce::Component& c, bool includeChildren) {
        return over != nullptr && (&c == over || (includeChildren && c.isParentOf (over)));
    };
    const juce::String defaultText = "Move the mouse over a control to view tooltips";

    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), defaultText);
    EXPECT_EQ (e.getTooltipSource(), QuorvaneEditor::noTooltipSource);

    over = &e.getSlider (13);
    e.updateTooltip (pointerOn);
    EXPECT_TRUE (e.getTooltipText().startsWith ("EARLY Size: controls the size"));
    EXPECT_EQ (e.getTooltipSource(), 13);

    // The value box under a knob is not the knob.
    over = e.getSlider (6).getChildComponent (0);
    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), defaultText);

    // A caption shows the text of the control it names; fader and knob captions show none.
    over = &e.getModeLabel();
    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), "REVERB MODE: selects the reverb algorithm to use");
    EXPECT_EQ (e.getTooltipSource(), 21);
    over = &e.getPresetLabel();
    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), "PRESETS: allows the user to save and recall plugin settings");
    EXPECT_EQ (e.getTooltipSource(), 25);
    over = &e.getKnobLabel (0);
    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), defaultText);

    over = &e.getNextButton();
    e.updateTooltip (pointerOn);
    EXPECT_EQ (e.getTooltipText(), "next preset arrow: selects next preset\nuse to scroll through all presets");
    EXPECT_EQ (e.getTooltipSource(), 27);
}

TEST (Editor, ClosingMidDragEndsTheOpenGesture)
{
    auto p = std::make_unique<Quorvane>();
    HostListener host (2);
    p->addListener (&host);
    {
        QuorvaneEditor e (*p);
        e.addToDesktop (0);
        e.setVisible (true);
        auto* peer = e.getPeer();
        ASSERT_NE (peer, nullptr);
        sendMouse (*peer, e.getLocalPoint (&e.getSlider (2), juce::Point<int> (35, 60)).toFloat(), true);
        EXPECT_EQ (host.begins, 1);
        e.removeFromDesktop();
    }
    EXPECT_EQ (host.ends, 1);
    p->removeListener (&host);

    // Release the shared mouse source's button, so that later tests start from a clean state.
    juce::Component other;
    other.setSize (50, 50);
    other.addToDesktop (0);
    sendMouse (*other.getPeer(), { 10.0f, 10.0f }, false);
    other.removeFromDesktop();
}

TEST (Editor, TooltipFollowsTheRealPointer)
{
    EditorFixture f;
    auto& e = *f.editor;
    e.addToDesktop (0);
    e.setVisible (true);
    pumpMessages (100);

    // The pointer moves on the display, and the window gets the motion event (a bare virtual
    // display without a window manager does not deliver it to an unfocused window by itself).
    // The controls repaint on entering and leaving, and each paint picks the tooltip anew.
    auto* peer = e.getPeer();
    ASSERT_NE (peer, nullptr);
    auto moveTo = [&] (juce::Point<int> p) {
        juce::Desktop::setMousePosition (e.localPointToGlobal (p));
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, p.toFloat(), {},
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                juce::Time::currentTimeMillis());
    };

    moveTo ({ 365, 250 }); // empty space
    pumpMessages (100);
    EXPECT_EQ (e.getTooltipText(), "Move the mouse over a control to view tooltips");

    moveTo (e.getModeComboBox().getBounds().getCentre()); // over the selector's text label
    EXPECT_TRUE (pumpMessagesUntil ([&] { return e.getTooltipSource() == 20; }));
    EXPECT_EQ (e.getTooltipText(), "REVERB MODE: selects the reverb algorithm to use");

    moveTo (e.getSlider (7).getBounds().getCentre().translated (0, -10));
    EXPECT_TRUE (pumpMessagesUntil ([&] { return e.getTooltipSource() == 7; }));

    moveTo (e.getPresetLabel().getBounds().getCentre()); // a caption shows the text of its control
    EXPECT_TRUE (pumpMessagesUntil ([&] { return e.getTooltipSource() == 25; }));

    moveTo ({ 365, 250 });
    EXPECT_TRUE (pumpMessagesUntil ([&] { return e.getTooltipSource() == QuorvaneEditor::noTooltipSource; }));
    EXPECT_EQ (e.getTooltipText(), "Move the mouse over a control to view tooltips");
    e.removeFromDesktop();
}

} // namespace quorvane::editortest
