#include "LookAndFeels.h"

#include "BinaryData.h"

namespace quorvane
{

namespace
{

/** Colours both looks share; only the value-box outline differs. */
void setCommonColours (juce::LookAndFeel& lf, juce::Colour textBoxOutline)
{
    const juce::Colour greyOutline = juce::Colour (0xff808080).withAlpha (0.7f);
    lf.setColour (juce::TextButton::buttonColourId, juce::Colour (0xffccccff));
    lf.setColour (juce::ComboBox::buttonColourId, juce::Colour (0xffbbbbff));
    lf.setColour (juce::ComboBox::outlineColourId, greyOutline);
    lf.setColour (juce::ScrollBar::backgroundColourId, juce::Colour (0x00000000));
    lf.setColour (juce::ScrollBar::thumbColourId, juce::Colour (0xffffffff));
    lf.setColour (juce::Slider::backgroundColourId, juce::Colour (0xffffffff));
    lf.setColour (juce::Slider::textBoxOutlineColourId, textBoxOutline);
    lf.setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xffffffff));
    lf.setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xffaaaaee));
    lf.setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xffffffff));
    lf.setColour (juce::PopupMenu::highlightedTextColourId, juce::Colour (0xffffffff));
    lf.setColour (juce::PopupMenu::highlightedBackgroundColourId, greyOutline);
    lf.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colour (0xffccccff));
}

/** A knob: a grey disc and a short pointer bar at its rim, no arc. */
void drawKnob (juce::Graphics& g, int x, int y, int width, int height, float proportion, float startAngle,
               float endAngle, juce::Slider& slider, float hoverAlpha, float restAlpha, float thickness)
{
    const float radius = (float) juce::jmin (width / 2, height / 2) - 2.0f;
    const float centreX = (float) x + (float) width * 0.5f;
    const float centreY = (float) y + (float) height * 0.5f;
    const float diameter = radius * 2.0f;
    const float angle = startAngle + proportion * (endAngle - startAngle);
    const bool hover = slider.isEnabled() && (slider.isMouseOverOrDragging());

    g.setColour (slider.findColour (juce::Slider::rotarySliderOutlineColourId));
    g.fillEllipse (centreX - radius, centreY - radius, diameter, diameter);

    const juce::Colour pointer = slider.isEnabled()
        ? slider.findColour (juce::Slider::rotarySliderFillColourId).withAlpha (hover ? hoverAlpha : restAlpha)
        : juce::Colour (0x80808080);

    juce::Path bar;
    bar.addLineSegment (juce::Line<float> (0.0f, -radius * 0.7f, 0.0f, -radius), diameter * thickness);
    g.setColour (pointer);
    g.fillPath (bar, juce::AffineTransform::rotation (angle).translated (centreX, centreY));
}

} // namespace

//==============================================================================
QuorvaneLookAndFeel2013::SliderLabelComp::SliderLabelComp() : juce::Label ({}, {}) {}
QuorvaneLookAndFeel2013::SliderLabelComp::~SliderLabelComp() = default;
void QuorvaneLookAndFeel2013::SliderLabelComp::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&)
{
}

QuorvaneLookAndFeel2013::QuorvaneLookAndFeel2013()
{
    setCommonColours (*this, juce::Colour (0x00466fb7));
    setDefaultSansSerifTypefaceName ("Monaco");

    // The stream is read in place from the binary and expanded while the typeface is built.
    juce::MemoryInputStream packed (BinaryData::typeface_bin, (size_t) BinaryData::typeface_binSize, false);
    juce::GZIPDecompressorInputStream unpacked (packed);
    embeddedTypeface = new juce::CustomTypeface (unpacked);
}

QuorvaneLookAndFeel2013::~QuorvaneLookAndFeel2013() { embeddedTypeface = nullptr; }

juce::Typeface::Ptr QuorvaneLookAndFeel2013::getTypefaceForFont (const juce::Font&) { return embeddedTypeface; }

juce::Colour QuorvaneLookAndFeel2013::createBaseColour (juce::Colour colour, bool hasKeyboardFocus, bool isMouseOver,
                                                        bool isButtonDown)
{
    const juce::Colour base = colour.withMultipliedSaturation (hasKeyboardFocus ? 1.3f : 0.9f);
    if (isButtonDown)
        return base.contrasting (0.2f);
    if (isMouseOver)
        return base.contrasting (0.1f);
    return base;
}

void QuorvaneLookAndFeel2013::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                    const juce::Colour& backgroundColour, bool isMouseOverButton,
                                                    bool isButtonDown)
{
    const float thickness = ! button.isEnabled() ? 0.4f : ((isButtonDown || isMouseOverButton) ? 1.2f : 0.7f);
    const float half = thickness * 0.5f;
    const float left = button.isConnectedOnLeft() ? 0.1f : half;
    const float right = button.isConnectedOnRight() ? 0.1f : half;
    const float top = button.isConnectedOnTop() ? 0.1f : half;
    const float bottom = button.isConnectedOnBottom() ? 0.1f : half;

    const juce::Colour colour = createBaseColour (backgroundColour, button.hasKeyboardFocus (true), isMouseOverButton,
                                                  isButtonDown)
                                    .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);
    const float w = (float) button.getWidth(), h = (float) button.getHeight();
    g.setColour (colour);
    g.fillRoundedRectangle (left, top, w - left - right, h - top - bottom, 0.5f * h);
}

juce::Font QuorvaneLookAndFeel2013::getTextButtonFont (juce::TextButton&, int buttonHeight)
{
    return juce::Font ("FuturaTf", (float) buttonHeight / 24.0f * 20.0f, juce::Font::plain);
}

void QuorvaneLookAndFeel2013::drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX,
                                            int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    g.fillAll (box.findColour (juce::ComboBox::backgroundColourId));

    if (box.isEnabled() && box.hasKeyboardFocus (false))
    {
        g.setColour (box.findColour (juce::TextButton::buttonColourId));
        g.drawRect (0, 0, width, height, 2);
    }
    else
    {
        g.setColour (box.findColour (juce::ComboBox::outlineColourId));
        g.drawRect (0, 0, width, height);
    }

    const float t = ! box.isEnabled() ? 0.3f : (isButtonDown ? 1.2f : 0.5f);
    const juce::Colour colour = createBaseColour (box.findColour (juce::ComboBox::buttonColourId),
                                                  box.hasKeyboardFocus (true), false, isButtonDown);
    drawGlassLozenge (g, (float) buttonX + t, (float) buttonY + t, (float) buttonW - 2.0f * t,
                      (float) buttonH - 2.0f * t, colour, t, -1.0f, true, true, true, true);

    if (box.isEnabled())
    {
        const float bx = (float) buttonX, by = (float) buttonY, bw = (float) buttonW, bh = (float) buttonH;
        juce::Path arrows;
        arrows.addTriangle (bx + 0.5f * bw, by + 0.25f * bh, bx + 0.7f * bw, by + 0.45f * bh, bx + 0.3f * bw,
                            by + 0.45f * bh);
        arrows.addTriangle (bx + 0.5f * bw, by + 0.75f * bh, bx + 0.7f * bw, by + 0.55f * bh, bx + 0.3f * bw,
                            by + 0.55f * bh);
        g.setColour (box.findColour (juce::ComboBox::arrowColourId));
        g.fillPath (arrows);
    }
}

juce::Font QuorvaneLookAndFeel2013::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font ("FuturaTf", (float) box.getHeight() / 24.0f * 20.0f, juce::Font::plain);
}

void QuorvaneLookAndFeel2013::drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                                float, float, juce::Slider::SliderStyle, juce::Slider& slider)
{
    g.fillAll (slider.findColour (juce::Slider::backgroundColourId));

    const int half = (int) ((float) width * 0.3f);
    const int left = x + (int) ((float) width * 0.5f) - half;
    const int position = (int) sliderPos;

    g.setColour (slider.findColour (juce::Slider::trackColourId));
    g.fillRect (left, y, 2 * half, height);
    // Above the position the track is covered by the darker "unfilled" colour.
    g.setColour (slider.findColour (juce::Slider::rotarySliderFillColourId));
    g.fillRect (left, y, 2 * half, position - y);
    // The thumb bar, centred on the position for the framework's track inset of 9.
    g.setColour (slider.findColour (juce::Slider::thumbColourId));
    g.fillRect (left, position - y + 6, 2 * half, 6);
}

void QuorvaneLookAndFeel2013::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                                float sliderPosProportional, float rotaryStartAngle,
                                                float rotaryEndAngle, juce::Slider& slider)
{
    drawKnob (g, x, y, width, height, sliderPosProportional, rotaryStartAngle, rotaryEndAngle, slider, 0.7f, 1.0f,
              0.12f);
}

juce::Label* QuorvaneLookAndFeel2013::createSliderTextBox (juce::Slider& slider)
{
    auto* box = new SliderLabelComp();
    box->setFont (juce::Font ("FuturaTf", (float) slider.getWidth() / 70.0f * 18.0f, juce::Font::plain));
    box->setJustificationType (juce::Justification::centred);

    const bool bar = slider.getSliderStyle() == juce::Slider::LinearBar;
    const juce::Colour text = slider.findColour (juce::Slider::textBoxTextColourId);
    const juce::Colour background = slider.findColour (juce::Slider::textBoxBackgroundColourId);
    const juce::Colour outline = slider.findColour (juce::Slider::textBoxOutlineColourId);
    box->setColour (juce::Label::textColourId, text);
    box->setColour (juce::Label::backgroundColourId, bar ? juce::Colours::transparentBlack : background);
    box->setColour (juce::Label::outlineColourId, outline);
    box->setColour (juce::TextEditor::textColourId, text);
    box->setColour (juce::TextEditor::backgroundColourId, background.withAlpha (bar ? 0.7f : 1.0f));
    box->setColour (juce::TextEditor::outlineColourId, outline);
    return box;
}

//==============================================================================
TessmarkLookAndFeel2013::TessmarkLookAndFeel2013()
{
    setCommonColours (*this, juce::Colour (0xff466fb7));
    setDefaultSansSerifTypefaceName ("Arial");
}

TessmarkLookAndFeel2013::~TessmarkLookAndFeel2013() = default;

void TessmarkLookAndFeel2013::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const int w = button.getWidth(), h = button.getHeight();
    const juce::Font sizing = LookAndFeel_V2::getTextButtonFont (button, h);

    g.setFont (juce::Font ("Arial", (float) h / 20.0f * 18.0f, juce::Font::bold));
    g.setColour (button.findColour (button.getToggleState() ? juce::TextButton::textColourOnId
                                                            : juce::TextButton::textColourOffId)
                     .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f));

    const int yIndent = juce::jmin (4, button.proportionOfHeight (0.3f));
    const int corner = juce::jmin (h, w) / 2;
    const int fontHeight = juce::roundToInt (sizing.getHeight() * 0.6f);
    const int leftIndent = juce::jmin (fontHeight, 2 + corner / (button.isConnectedOnLeft() ? 4 : 2));
    const int rightIndent = juce::jmin (fontHeight, 2 + corner / (button.isConnectedOnRight() ? 4 : 2));

    g.drawFittedText (button.getButtonText(), leftIndent, yIndent, w - leftIndent - rightIndent, h - yIndent * 2,
                      juce::Justification::centredLeft, 1, 0.7f);
}

juce::Font TessmarkLookAndFeel2013::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font ("Arial", (float) box.getHeight() / 24.0f * 18.0f, juce::Font::bold);
}

void TessmarkLookAndFeel2013::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                                float sliderPosProportional, float rotaryStartAngle,
                                                float rotaryEndAngle, juce::Slider& slider)
{
    drawKnob (g, x, y, width, height, sliderPosProportional, rotaryStartAngle, rotaryEndAngle, slider, 1.0f, 0.7f,
              0.08f);
}

} // namespace quorvane
