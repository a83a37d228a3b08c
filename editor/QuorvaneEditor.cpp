#include "QuorvaneEditor.h"

#include "BinaryData.h"
#include "processor/Quorvane.h"

#include <cmath>

namespace quorvane
{

namespace
{

struct SliderSetup
{
    double minimum, maximum, step;
    double skew;      // 0: none; negative: the mid point 1.0 sits at the centre of the travel
    const char* suffix;
    const char* help;
};

constexpr double fromMidPointOne = -1.0;

const char* const mixHelp = "MIX: controls the balance of the input signal with the reverb\n"
                            "click on the mix label above the slider to lock or unlock the mix level";

const SliderSetup sliderSetups[QuorvaneEditor::numSliders] = {
    { 0.0, 100.0, 0.1, 0.0, " % ", mixHelp },
    { 0.0, 500.0, 0.1, 0.3, " ms ", "PREDELAY: sets the amount of delay before reverb" },
    { 0.1, 100.0, 0.01, 0.3, " s ", "DECAY: sets the reverb decay time for mid frequencies" },
    { 100.0, 15000.0, 10.0, 0.0, " Hz ",
      "HIGH CUT: controls the cutoff frequency of a lowpass filter processing the reverb output" },
    { 0.0, 100.0, 0.1, 0.0, " % ",
      "DEPTH: controls the perceived distance from the source, by adjusting the balance between early and late energy. "
      "lower values result in more early energy, higher values in more late energy." },
    { 0.0, 1.0, 0.01, 0.0, "", "LATE Size: sets the relative room size of the reverb " },
    { 0.0, 1.0, 0.01, 0.0, "", "LATE Cross: controls stereo spread of the late reverb" },
    { 0.05, 5.0, 0.01, 0.0, " Hz ", "LATE Mod Rate: controls the base rate of the late reverb modulation" },
    { 0.0, 1.0, 0.01, 0.0, "", "LATE Mod Depth: controls the depth of the late reverb modulation" },
    { 0.5, 2.0, 0.01, fromMidPointOne, " X ", "LATE Bass Mult: scales the reverb decay time for bass frequencies " },
    { 100.0, 10000.0, 10.0, 0.0, " Hz ", "LATE Bass Xover: controls transition frequency between RTBass and RTMid " },
    { 0.1, 1.0, 0.01, 0.0, " X ", "LATE High Mult: scales the reverb decay time for high frequencies " },
    { 100.0, 15000.0, 10.0, 0.0, " Hz ",
      "LATE High Xover: controls transition frequency between RTMid and the high frequencies " },
    { 1.0, 1000.0, 0.1, 0.3, " ms ",
      "EARLY Size: controls the size of the early reflections, and the attack time of the reverb. higher settings "
      "result in a nonlinear or gated reverb decay" },
    { 0.0, 1.0, 0.01, 0.0, "", "EARLY Cross: controls stereo spread of the early reflections" },
    { 0.05, 5.0, 0.01, 0.0, " Hz ", "EARLY Mod Rate: controls the base rate of the early reverb modulation" },
    { 0.0, 1.0, 0.01, 0.0, "", "EARLY Mod Depth: controls the depth of the early reverb modulation" },
    { 0.0, 1.0, 0.01, 0.0, "",
      "EARLY Send: controls the amount of early reverb sent to the input of the late reverb " },
    { 0.0, 1.0, 0.01, 0.0, "", "EARLY Diffusion: controls intial echo density" },
};

const char* const knobCaptions[QuorvaneEditor::numKnobLabels] = {
    "PREDELAY", "DECAY", "HIGH CUT", "DEPTH",
    "Late Size", "Late Cross", "Mod Rate", "Mod Depth",
    "Bass Mult", "Bass Xover", "High Mult", "High Xover",
    "Early Size", "Early Cross", "Mod Rate", "Mod Depth",
    "Early Send", "Diffusion",
};

const char* const modeNames[12] = { "Large Room", "Medium Room", "Bright Room", "Large Chamber", "Dark Room",
                                    "Dark Chamber", "Dark Space", "Nostromo", "Narcissus", "Sulaco", "LV-426",
                                    "Dense Room" };

constexpr int pageRadioGroup = 12345;
constexpr int resizerSize = 16;
const juce::Colour faderTrack (0xffbe0505);
const juce::Colour faderThumb (0xfff71818);

juce::Font futura (float height) { return juce::Font ("FuturaTf", height, juce::Font::plain); }

/** The mode selector's item for a normalised `type` value: 0 (nothing selected) below 1/12. */
int modeItemId (float typeValue) { return (int) std::floor (typeValue * 12.0f); }

} // namespace

//==============================================================================
QuorvaneLookAndFeel2013& QuorvaneEditor::productLookAndFeel()
{
    // Shared by every editor of the process and never destroyed: components of a closing editor
    // and cached fonts may still refer to it.
    static auto* instance = new QuorvaneLookAndFeel2013();
    return *instance;
}

TessmarkLookAndFeel2013& QuorvaneEditor::makerLookAndFeel()
{
    static auto* instance = new TessmarkLookAndFeel2013();
    return *instance;
}

QuorvaneEditor::QuorvaneEditor (Quorvane& processor)
    : juce::AudioProcessorEditor (processor), quorvane (processor)
{
    auto& product = productLookAndFeel();
    auto& maker = makerLookAndFeel();
    if (&juce::LookAndFeel::getDefaultLookAndFeel() != &product)
    {
        juce::LookAndFeel::setDefaultLookAndFeel (&product);
        // Fonts resolved before the embedded typeface took over must not linger in the cache.
        juce::Typeface::clearTypefaceCache();
    }

    defaultTooltipText = "Move the mouse over a control to view tooltips";

    factoryPresetFolder = Quorvane::getPresetFolder (0);
    userPresetFolder = Quorvane::getPresetFolder (1);
    if (! userPresetFolder.isDirectory())
        userPresetFolder.createDirectory();

    versionText = "Version 1.1.1\nBrennwick\nbrennwick.example";

    for (int k = 0; k < numKnobLabels; ++k)
    {
        auto label = std::make_unique<juce::Label> ("hint", knobCaptions[k]);
        label->setJustificationType (juce::Justification::horizontallyCentred);
        label->setColour (juce::Label::textColourId, juce::Colours::white);
        addAndMakeVisible (*label);
        knobLabels[(size_t) k] = std::move (label);
    }

    for (int i = 0; i < numSliders; ++i)
    {
        const auto& setup = sliderSetups[i];
        auto slider = std::make_unique<TessmarkSlider> (juce::String (i));
        slider->setRange (setup.minimum, setup.maximum, setup.step);
        if (setup.skew == fromMidPointOne)
            slider->setSkewFactorFromMidPoint (1.0);
        else if (setup.skew > 0.0)
            slider->setSkewFactor (setup.skew);
        slider->setTooltip (setup.help);
        slider->addListener (this);

        if (i < 5)
        {
            slider->setSliderStyle (juce::Slider::LinearVertical);
            slider->setColour (juce::Slider::backgroundColourId, juce::Colour (0x00ff9320));
            slider->setColour (juce::Slider::thumbColourId, faderThumb);
            slider->setColour (juce::Slider::trackColourId, faderTrack);
            slider->setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xff343434));
            slider->setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xffffffff));
            slider->setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (0x00464646));
            slider->setColour (juce::Slider::textBoxHighlightColourId, juce::Colour (0x00464646));
        }
        else
        {
            slider->setSliderStyle (juce::Slider::RotaryVerticalDrag);
            slider->setColour (juce::Slider::thumbColourId, juce::Colour (0xffff0000));
            slider->setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0x7fff0000));
            slider->setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff797979));
            slider->setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xfffcfbfb));
            slider->setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (0xff343434));
            slider->setColour (juce::Slider::textBoxHighlightColourId, juce::Colour (0xff343434));
        }
        slider->setPopupMenuEnabled (true);
        slider->setNormalisedValue (quorvane.getParameter (static_cast<param::Index> (i)));
        if (i < 5)
            slider->getLookAndFeel().setColour (juce::TextEditor::highlightedTextColourId, juce::Colours::white);
        addAndMakeVisible (*slider);
        sliders[(size_t) i] = std::move (slider);
    }

    for (int i = 0; i < numSliders; ++i)
        sliders[(size_t) i]->setTextValueSuffix (sliderSetups[i].suffix);

    for (int i = 13; i < numSliders; ++i)
    {
        knobLabels[(size_t) i - 1]->setVisible (false);
        sliders[(size_t) i]->setVisible (false);
    }

    for (auto* page : { &earlyEditorSelect, &lateEditorSelect })
    {
        page->setButtonText (page == &earlyEditorSelect ? "EARLY" : "LATE");
        page->addListener (this);
        page->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff797979));
        page->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xfffc231a));
        page->setColour (juce::TextButton::textColourOnId, juce::Colour (0xfff7f3f3));
        page->setColour (juce::TextButton::textColourOffId,
                         juce::Colour (page == &earlyEditorSelect ? 0xfff8f5f5 : 0xfff7f4f4));
        page->setClickingTogglesState (true);
        page->setRadioGroupId (pageRadioGroup);
        page->setWantsKeyboardFocus (false);
        addAndMakeVisible (*page);
    }
    earlyEditorSelect.setTooltip ("EARLY: enables knobs for controlling the early reverberation");
    lateEditorSelect.setTooltip ("LATE: enables knobs for controlling the late reverberation");
    lateEditorSelect.setToggleState (true, juce::dontSendNotification);

    for (auto* caption : { &modeLabel, &presetLabel })
    {
        caption->setText (caption == &modeLabel ? "REVERB MODE:" : "PRESET:", juce::dontSendNotification);
        caption->setJustificationType (juce::Justification::centredLeft);
        caption->setColour (juce::Label::textColourId, juce::Colours::white);
        addAndMakeVisible (*caption);
    }

    modeComboBox.setTooltip ("REVERB MODE: selects the reverb algorithm to use");
    modeComboBox.setJustificationType (juce::Justification::centredLeft);
    for (auto id : { juce::ComboBox::backgroundColourId, juce::ComboBox::outlineColourId,
                     juce::ComboBox::buttonColourId, juce::ComboBox::arrowColourId })
        modeComboBox.setColour (id, juce::Colour (0x00466fb7));
    modeComboBox.setColour (juce::ComboBox::textColourId, juce::Colour (0xffff460e));
    for (int m = 0; m < 12; ++m)
        modeComboBox.addItem (modeNames[m], m + 1);
    modeComboBox.addListener (this);
    modeComboBox.setSelectedId (modeItemId (quorvane.getParameter (param::type)), juce::dontSendNotification);
    modeComboBox.setTextWhenNothingSelected ("Large Room");
    modeComboBox.setWantsKeyboardFocus (false);
    addAndMakeVisible (modeComboBox);

    presetsSelect.setLookAndFeel (&maker);
    presetsSelect.setButtonText (quorvane.getPresetName());
    presetsSelect.addListener (this);
    presetsSelect.setColour (juce::TextButton::buttonColourId, juce::Colour (0x00797979));
    presetsSelect.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0x00797979));
    presetsSelect.setColour (juce::TextButton::textColourOnId, juce::Colour (0xffff460e));
    presetsSelect.setColour (juce::TextButton::textColourOffId, juce::Colour (0xffff460e));
    presetsSelect.setTooltip ("PRESETS: allows the user to save and recall plugin settings");
    presetsSelect.setWantsKeyboardFocus (false);
    addAndMakeVisible (presetsSelect);

    mixLockButton.setLookAndFeel (&product);
    mixLockButton.setButtonText ("MIX");
    mixLockButton.addListener (this);
    mixLockButton.setColour (juce::TextButton::buttonColourId, juce::Colour (0x00797979));
    mixLockButton.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0x00797979));
    mixLockButton.setColour (juce::TextButton::textColourOnId, juce::Colour (0xffcccccc));
    mixLockButton.setColour (juce::TextButton::textColourOffId, juce::Colour (0xffff460e));
    mixLockButton.setClickingTogglesState (true);
    mixLockButton.setTooltip ("MIX lock: click to lock and unlock the mix slider \nred=unlocked, grey=locked");
    mixLockButton.setWantsKeyboardFocus (false);
    mixLockButton.setToggleState (quorvane.mixLock.load(), juce::dontSendNotification);
    addAndMakeVisible (mixLockButton);

    arrowLeft = juce::ImageCache::getFromMemory (BinaryData::arrow_left_png, BinaryData::arrow_left_pngSize);
    arrowRight = juce::ImageCache::getFromMemory (BinaryData::arrow_right_png, BinaryData::arrow_right_pngSize);
    for (auto* arrow : { &previousPreset, &nextPreset })
    {
        const auto& picture = arrow == &previousPreset ? arrowLeft : arrowRight;
        arrow->addListener (this);
        arrow->setImages (false, true, true, picture, 0.5f, juce::Colours::transparentBlack, picture, 1.0f,
                          juce::Colours::transparentBlack, picture, 1.0f, juce::Colours::transparentBlack, 0.0f);
        arrow->setWantsKeyboardFocus (false);
        addAndMakeVisible (*arrow);
    }
    previousPreset.setTooltip ("previous preset arrow: selects previous preset\nuse to scroll through all presets");
    nextPreset.setTooltip ("next preset arrow: selects next preset\nuse to scroll through all presets");

    rebuildPresetMenu();

    tooltipSource = 0;
    lastTooltipSource = 0;

    headerImage = juce::ImageCache::getFromMemory (BinaryData::header_png, BinaryData::header_pngSize);

    addAndMakeVisible (resizer);
    constrainer.setSizeLimits (367, 250, 1102, 750);
    constrainer.setFixedAspectRatio (1.47f);
    // Hosts that resize plug-in windows themselves see the same limits and shape.
    setConstrainer (&constrainer);

    applyStoredSize();
    quorvane.addChangeListener (this);

    // The pointer entering or leaving any child repaints the tooltip area, where each paint
    // picks the help text anew. The controls repaint themselves on mouse activity, but the
    // mode selector's text is a label of its own that does not, so without this the tooltip
    // would stay stale over most of the selector (and over the captions).
    addMouseListener (this, true);
}

QuorvaneEditor::~QuorvaneEditor()
{
    quorvane.removeChangeListener (this);
    // A slider destroyed mid-drag still reports the end of its drag: nothing may reach this
    // half-destroyed editor, so the listeners go first and the open gestures are closed here,
    // or the host would wait for their end.
    for (int i = 0; i < numSliders; ++i)
    {
        sliders[(size_t) i]->removeListener (this);
        if (gestureOpen[(size_t) i])
            if (auto* parameter = quorvane.getParameters()[i])
                parameter->endChangeGesture();
    }
    presetsSelect.setLookAndFeel (nullptr);
    mixLockButton.setLookAndFeel (nullptr);
}

//==============================================================================
void QuorvaneEditor::paint (juce::Graphics& g)
{
    const float s = uiScale;
    g.fillAll (juce::Colour (0xff464646));
    g.drawImage (headerImage, 0, (int) (15 * s), (int) (735 * s), (int) (111 * s), 0, 0, headerImage.getWidth(),
                 headerImage.getHeight());

    g.setColour (juce::Colour (0xff343434));
    g.fillRoundedRectangle (380.0f * s, 130.0f * s, 330.0f * s, 245.0f * s, 20.5f * s);

    g.setColour (juce::Colours::white);
    g.setFont (futura (20.0f * s));

    updateTooltip();

    g.drawFittedText (tooltipText, tooltipArea(), juce::Justification::bottomLeft, 3, 1.0f);
    if (tooltipChanged)
        repaint (tooltipArea());

    g.drawFittedText (versionText, (int) (510 * s), (int) (360 * s), (int) (200 * s), (int) (120 * s),
                      juce::Justification::bottomRight, 3, 1.0f);
}

juce::Rectangle<int> QuorvaneEditor::tooltipArea() const
{
    const float s = uiScale;
    return { (int) (20 * s), (int) (360 * s), (int) (520 * s), (int) (120 * s) };
}

void QuorvaneEditor::mouseEnter (const juce::MouseEvent&) { repaint (tooltipArea()); }
void QuorvaneEditor::mouseExit (const juce::MouseEvent&) { repaint (tooltipArea()); }

void QuorvaneEditor::resized()
{
    resizer.setBounds (getWidth() - resizerSize, getHeight() - resizerSize, resizerSize, resizerSize);

    if (getWidth() != quorvane.uiWidth.load())
    {
        quorvane.uiWidth = getWidth();
        quorvane.uiHeight = getHeight();
        uiScale = (float) getWidth() / 735.0f;
        layoutControls();
    }
}

void QuorvaneEditor::layoutControls()
{
    const float s = uiScale;
    auto at = [s] (int x, int y, int w, int h) {
        return juce::Rectangle<int> ((int) ((float) x * s), (int) ((float) y * s), (int) ((float) w * s),
                                     (int) ((float) h * s));
    };

    for (int k = 0; k < 4; ++k)
        knobLabels[(size_t) k]->setFont (futura (20.0f * s));
    for (int k = 4; k < numKnobLabels; ++k)
        knobLabels[(size_t) k]->setFont (futura (18.0f * s));

    sliders[0]->setBounds (at (10, 125, 70, 255));
    for (int j = 1; j <= 4; ++j)
    {
        knobLabels[(size_t) j - 1]->setBounds (at (70 * j + 5, 100, 80, 20));
        sliders[(size_t) j]->setBounds (at (70 * j + 10, 125, 70, 255));
    }

    // Four knob groups: LATE top and bottom rows, EARLY top and bottom rows.
    struct Group { int firstSlider, count, knobY, captionY; };
    for (const Group group : { Group { 5, 4, 160, 140 }, Group { 9, 4, 275, 255 }, Group { 13, 4, 160, 140 },
                               Group { 17, 2, 275, 255 } })
        for (int n = 0; n < group.count; ++n)
        {
            const int k = 5 + n;
            const int i = group.firstSlider + n;
            knobLabels[(size_t) i - 1]->setBounds (at (80 * k - 15, group.captionY, 80, 20));
            sliders[(size_t) i]->setBounds (at (80 * k - 10, group.knobY, 70, 85));
        }

    for (int i = 0; i < 5; ++i)
        sliders[(size_t) i]->setTextBoxStyle (juce::Slider::TextBoxBelow, false, (int) (200 * s), (int) (20 * s));
    for (int i = 5; i < numSliders; ++i)
        sliders[(size_t) i]->setTextBoxStyle (juce::Slider::TextBoxBelow, false, (int) (80 * s), (int) (20 * s));

    earlyEditorSelect.setBounds (at (380, 98, 160, 24));
    lateEditorSelect.setBounds (at (550, 98, 160, 24));
    modeLabel.setBounds (at (20, 385, 115, 20));
    modeLabel.setFont (futura (20.0f * s));
    modeComboBox.setBounds (at (140, 383, 150, 24));
    presetLabel.setBounds (at (380, 385, 70, 20));
    presetLabel.setFont (futura (20.0f * s));
    presetsSelect.setBounds (at (460, 383, 200, 24));
    mixLockButton.setBounds (at (22, 98, 46, 24));
    previousPreset.setBounds (at (676, 388, 14, 14));
    nextPreset.setBounds (at (696, 388, 14, 14));
}

//==============================================================================
void QuorvaneEditor::updateTooltip()
{
    updateTooltip ([] (const juce::Component& c, bool includeChildren) { return c.isMouseOver (includeChildren); });
}

void QuorvaneEditor::updateTooltip (const HoverTest& isUnderPointer)
{
    tooltipText = defaultTooltipText;
    tooltipSource = noTooltipSource;

    // The pointer over a value box does not count for its slider.
    for (int i = 0; i < numSliders; ++i)
        if (isUnderPointer (*sliders[(size_t) i], false))
        {
            tooltipText = sliders[(size_t) i]->getTooltip();
            tooltipSource = i;
        }

    struct Source { const juce::Component* component; juce::SettableTooltipClient* text; int number; };
    const Source others[] = {
        { &modeComboBox, &modeComboBox, 20 },           { &modeLabel, &modeComboBox, 21 },
        { &earlyEditorSelect, &earlyEditorSelect, 22 }, { &lateEditorSelect, &lateEditorSelect, 23 },
        { &mixLockButton, &mixLockButton, 24 },         { &presetLabel, &presetsSelect, 25 },
        { &presetsSelect, &presetsSelect, 26 },         { &previousPreset, &previousPreset, 27 },
        { &nextPreset, &nextPreset, 27 },
    };
    for (const auto& other : others)
        if (isUnderPointer (*other.component, true))
        {
            tooltipText = other.text->getTooltip();
            tooltipSource = other.number;
            break;
        }

    tooltipChanged = tooltipSource != lastTooltipSource;
    if (tooltipChanged)
        lastTooltipSource = tooltipSource;
}

//==============================================================================
int QuorvaneEditor::parameterIndexOf (const juce::Slider& slider) const
{
    const int index = slider.getName().getIntValue();
    return juce::isPositiveAndBelow (index, numSliders) ? index : -1;
}

void QuorvaneEditor::sliderValueChanged (juce::Slider* slider)
{
    const int index = parameterIndexOf (*slider);
    if (index < 0)
        return;
    if (auto* parameter = quorvane.getParameters()[index])
        parameter->setValueNotifyingHost ((float) sliders[(size_t) index]->getNormalisedValue());
}

void QuorvaneEditor::sliderDragStarted (juce::Slider* slider)
{
    // The framework also brackets typed values, wheel turns and double-click resets as "drags";
    // only a real drag with the mouse opens a host gesture.
    const int index = parameterIndexOf (*slider);
    if (index < 0 || gestureOpen[(size_t) index] || ! slider->isMouseButtonDown())
        return;
    if (auto* parameter = quorvane.getParameters()[index])
    {
        gestureOpen[(size_t) index] = true;
        parameter->beginChangeGesture();
    }
}

void QuorvaneEditor::sliderDragEnded (juce::Slider* slider)
{
    const int index = parameterIndexOf (*slider);
    if (index < 0 || ! gestureOpen[(size_t) index])
        return;
    gestureOpen[(size_t) index] = false;
    if (auto* parameter = quorvane.getParameters()[index])
        parameter->endChangeGesture();
}

void QuorvaneEditor::comboBoxChanged (juce::ComboBox* box)
{
    if (box != &modeComboBox)
        return;
    if (auto* parameter = quorvane.getParameters()[param::type])
    {
        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost ((float) modeComboBox.getSelectedId() / 12.0f);
        parameter->endChangeGesture();
    }
}

void QuorvaneEditor::changeListenerCallback (juce::ChangeBroadcaster*) { refreshFromProcessor(); }

void QuorvaneEditor::refreshFromProcessor()
{
    // The published values are atomics, so they are read without the processor's callback lock:
    // holding that lock here would make the audio thread wait for the editor.
    std::array<float, param::count> values {};
    for (int i = 0; i < param::count; ++i)
        values[(size_t) i] = quorvane.getParameter (static_cast<param::Index> (i));

    for (int i = 0; i < numSliders; ++i)
        sliders[(size_t) i]->setNormalisedValue (values[(size_t) i]);
    modeComboBox.setSelectedId (modeItemId (values[param::type]), juce::dontSendNotification);

    applyStoredSize();
}

void QuorvaneEditor::applyStoredSize()
{
    // The stored size comes from host projects and may be anything: a size outside the resize
    // limits (zero, negative, a huge window the host cannot allocate) is brought within them.
    setSize (juce::jlimit (constrainer.getMinimumWidth(), constrainer.getMaximumWidth(), quorvane.uiWidth.load()),
             juce::jlimit (constrainer.getMinimumHeight(), constrainer.getMaximumHeight(), quorvane.uiHeight.load()));
    uiScale = (float) getWidth() / 735.0f;
    layoutControls();
}

//==============================================================================
void QuorvaneEditor::showPage (bool early)
{
    for (int i = 5; i < numSliders; ++i)
    {
        const bool visible = (i >= 13) == early;
        knobLabels[(size_t) i - 1]->setVisible (visible);
        sliders[(size_t) i]->setVisible (visible);
    }
}

void QuorvaneEditor::setMixLockAppearance (bool locked)
{
    const float alpha = locked ? 0.5f : 1.0f;
    sliders[0]->setColour (juce::Slider::trackColourId, faderTrack.withAlpha (alpha));
    sliders[0]->setColour (juce::Slider::thumbColourId, faderThumb.withAlpha (alpha));
    sliders[0]->setTooltip (juce::String (mixHelp)
                            + (locked ? "\nmix slider currently locked" : "\nmix slider currently unlocked"));
}

void QuorvaneEditor::buttonClicked (juce::Button* button)
{
    if (button == &earlyEditorSelect)
        showPage (true);
    else if (button == &lateEditorSelect)
        showPage (false);
    else if (button == &mixLockButton)
    {
        quorvane.mixLock = mixLockButton.getToggleState();
        setMixLockAppearance (mixLockButton.getToggleState());
    }
    else if (button == &presetsSelect)
        presetMenu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (&presetsSelect),
                                  juce::ModalCallbackFunction::forComponent (presetMenuCallback, this));
    else if (button == &previousPreset)
        stepPreset (-1);
    else if (button == &nextPreset)
        stepPreset (+1);
}

} // namespace quorvane
