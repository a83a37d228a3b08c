#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace quorvane
{

/** The product's look: pill buttons, bare faders and knobs, value boxes and menus, and one
    embedded typeface for every piece of text drawn while it is the default look-and-feel. */
class QuorvaneLookAndFeel2013 : public juce::LookAndFeel_V2
{
public:
    /** The value box under each control; the wheel over it must not change the value. */
    class SliderLabelComp : public juce::Label
    {
    public:
        SliderLabelComp();
        ~SliderLabelComp() override;
        void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    };

    QuorvaneLookAndFeel2013();
    ~QuorvaneLookAndFeel2013() override;

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY,
                       int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;

    void drawLinearSlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos, float minSliderPos,
                           float maxSliderPos, juce::Slider::SliderStyle, juce::Slider&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;

    /** The typeface every font resolves to. */
    juce::Typeface::Ptr getEmbeddedTypeface() const { return embeddedTypeface; }

    /** Base colour of buttons and the combo box: saturation by focus, contrast by hover and press. */
    static juce::Colour createBaseColour (juce::Colour colour, bool hasKeyboardFocus, bool isMouseOver,
                                          bool isButtonDown);

private:
    juce::Typeface::Ptr embeddedTypeface;
};

/** The maker's general look; here it only draws the preset button, as bare left-aligned text. */
class TessmarkLookAndFeel2013 : public juce::LookAndFeel_V2
{
public:
    TessmarkLookAndFeel2013();
    ~TessmarkLookAndFeel2013() override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour&, bool, bool) override {}
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool isMouseOverButton, bool isButtonDown) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;
};

} // namespace quorvane
