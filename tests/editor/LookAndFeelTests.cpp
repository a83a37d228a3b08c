// The two look-and-feel classes drawing single controls: knob pointer angle and opacity, fader
// track and thumb at the ends of the travel, the bare preset button, fonts by component size.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvane::editortest
{

namespace
{
juce::Image draw (juce::Component& c)
{
    juce::Image image (juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    juce::Graphics g (image);
    c.paintEntireComponent (g, false);
    return image;
}

/** A knob configured like the editor's, 70 x 65 with no value box. */
std::unique_ptr<TessmarkSlider> makeKnob (juce::LookAndFeel& lf, double value)
{
    auto knob = std::make_unique<TessmarkSlider> ("5");
    knob->setLookAndFeel (&lf);
    knob->setSliderStyle (juce::Slider::RotaryVerticalDrag);
    knob->setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    knob->setRange (0.0, 1.0, 0.01);
    knob->setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffff0000));
    knob->setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff797979));
    knob->setValue (value, juce::dontSendNotification);
    knob->setSize (70, 65);
    return knob;
}

/** The colour at distance 0.85 r from the knob's centre in the direction of angle (from 12 o'clock). */
juce::Colour atRim (const juce::Image& image, float angle)
{
    const float r = 30.0f; // min (70 / 2, 65 / 2) - 2
    const float cx = 35.0f, cy = 32.5f;
    return image.getPixelAt ((int) std::lround (cx + 0.85f * r * std::sin (angle)),
                             (int) std::lround (cy - 0.85f * r * std::cos (angle)));
}
} // namespace

TEST (LookAndFeel, KnobPointerRunsFromSevenToFiveOClock)
{
    auto& lf = QuorvaneEditor::productLookAndFeel();
    const float pi = juce::MathConstants<float>::pi;

    auto minimum = makeKnob (lf, 0.0);
    const auto low = draw (*minimum);
    EXPECT_EQ (atRim (low, 1.2f * pi), juce::Colour (0xffff0000)); // fully opaque away from the pointer
    EXPECT_EQ (atRim (low, 2.8f * pi), juce::Colour (0xff797979));
    EXPECT_EQ (atRim (low, 2.0f * pi), juce::Colour (0xff797979));

    auto maximum = makeKnob (lf, 1.0);
    const auto high = draw (*maximum);
    EXPECT_EQ (atRim (high, 2.8f * pi), juce::Colour (0xffff0000));
    EXPECT_EQ (atRim (high, 1.2f * pi), juce::Colour (0xff797979));

    // No arc, no outline: the corners stay empty.
    EXPECT_EQ (low.getPixelAt (1, 1).getAlpha(), 0);
    EXPECT_EQ (low.getPixelAt (68, 63).getAlpha(), 0);

    minimum->setLookAndFeel (nullptr);
    maximum->setLookAndFeel (nullptr);
}

TEST (LookAndFeel, MakersKnobHasAThinnerDimmerPointer)
{
    auto& lf = QuorvaneEditor::makerLookAndFeel();
    auto knob = makeKnob (lf, 0.5);
    const auto image = draw (*knob);
    const float pi = juce::MathConstants<float>::pi;
    // Not hovered: the pointer is drawn at alpha 0.7 over the grey body.
    const auto pointer = atRim (image, 2.0f * pi);
    const auto expected = juce::Colour (0xff797979).overlaidWith (juce::Colour (0xffff0000).withAlpha (0.7f));
    EXPECT_NEAR (pointer.getRed(), expected.getRed(), 2);
    EXPECT_NEAR (pointer.getGreen(), expected.getGreen(), 2);
    // 0.08 x 60 = 4.8 pixels wide: 3.5 pixels to the side is already the body.
    EXPECT_EQ (image.getPixelAt (35 + 4, (int) std::lround (32.5f - 0.85f * 30.0f)), juce::Colour (0xff797979));
    knob->setLookAndFeel (nullptr);
}

TEST (LookAndFeel, FaderAtItsEndsShowsTrackAndThumbAsExpected)
{
    EditorFixture f;
    auto& fader = f.editor->getSlider (4); // DEPTH, 0..100
    const int x = fader.getWidth() / 2;

    fader.setValue (100.0, juce::dontSendNotification);
    auto image = draw (fader);
    EXPECT_EQ (image.getPixelAt (x, 9), juce::Colour (0xfff71818));   // thumb bar at the top
    EXPECT_EQ (image.getPixelAt (x, 13), juce::Colour (0xffbe0505));  // track below it
    EXPECT_EQ (image.getPixelAt (x, 225), juce::Colour (0xffbe0505));
    EXPECT_EQ (image.getPixelAt (10, 100).getAlpha(), 0); // transparent beside the track (42 wide at 14..56)
    EXPECT_EQ (image.getPixelAt (14, 100), juce::Colour (0xffbe0505));
    EXPECT_EQ (image.getPixelAt (56, 100).getAlpha(), 0);

    fader.setValue (0.0, juce::dontSendNotification);
    image = draw (fader);
    EXPECT_EQ (image.getPixelAt (x, 12), juce::Colour (0xff343434));  // the dark part fills the track
    EXPECT_EQ (image.getPixelAt (x, 200), juce::Colour (0xff343434));
    EXPECT_EQ (image.getPixelAt (x, 9 + 217), juce::Colour (0xfff71818)); // thumb at the bottom
}

TEST (LookAndFeel, PresetButtonHasNoBodyAndFontsFollowTheComponentHeight)
{
    EditorFixture f;
    auto& button = f.editor->getPresetButton();
    const auto image = draw (button);
    int opaque = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto c = image.getPixelAt (x, y);
            if (c.getAlpha() > 0)
            {
                ++opaque;
                EXPECT_GT (c.getRed(), c.getBlue()) << "only the red-orange text is drawn, at " << x << "," << y;
            }
        }
    EXPECT_GT (opaque, 50);
    EXPECT_LT (opaque, image.getWidth() * image.getHeight() / 3);

    auto& lf = QuorvaneEditor::productLookAndFeel();
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (f.editor->getModeComboBox()).getHeight(), 20.0f);
    EXPECT_FLOAT_EQ (lf.getTextButtonFont (f.editor->getLateButton(), 24).getHeight(), 20.0f);
    EXPECT_FLOAT_EQ (QuorvaneEditor::makerLookAndFeel().getComboBoxFont (f.editor->getModeComboBox()).getHeight(),
                     18.0f);
}

} // namespace quorvane::editortest
