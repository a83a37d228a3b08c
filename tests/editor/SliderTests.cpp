// The knob and fader classes: the parameter mapping, the skewed position mapping, the value box.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvane::editortest
{

TEST (TessmarkSlider, NormalisedValueIsLinearAndSnapsToTheInterval)
{
    TessmarkSlider predelay ("1");
    predelay.setRange (0.0, 500.0, 0.1);
    predelay.setSkewFactor (0.3);
    predelay.setNormalisedValue (0.5);
    EXPECT_DOUBLE_EQ (predelay.getValue(), 250.0); // the skew does not touch the parameter mapping
    EXPECT_DOUBLE_EQ (predelay.getNormalisedValue(), 0.5);

    TessmarkSlider highCut ("3");
    highCut.setRange (100.0, 15000.0, 10.0);
    highCut.setNormalisedValue (0.123456);
    EXPECT_DOUBLE_EQ (highCut.getValue(), 1940.0);
    EXPECT_DOUBLE_EQ (highCut.getNormalisedValue(), (1940.0 - 100.0) / 14900.0);

    highCut.setNormalisedValue (1.7); // limited to the range
    EXPECT_DOUBLE_EQ (highCut.getValue(), 15000.0);
}

TEST (TessmarkSlider, SkewShapesOnlyThePosition)
{
    TessmarkSlider predelay ("1");
    predelay.setRange (0.0, 500.0, 0.1);
    predelay.setSkewFactor (0.3);
    EXPECT_NEAR (predelay.proportionOfLengthToValue (0.5), 500.0 * std::pow (0.5, 1.0 / 0.3), 1e-9);
    EXPECT_NEAR (predelay.proportionOfLengthToValue (0.5), 49.6, 0.05);
    EXPECT_NEAR (predelay.valueToProportionOfLength (250.0), std::pow (0.5, 0.3), 1e-12);
    EXPECT_NEAR (predelay.valueToProportionOfLength (250.0), 0.81, 0.005);
    EXPECT_DOUBLE_EQ (predelay.proportionOfLengthToValue (0.0), 0.0);
    EXPECT_DOUBLE_EQ (predelay.proportionOfLengthToValue (1.0), 500.0);
    for (double p : { 0.01, 0.2, 0.77, 0.99 })
        EXPECT_NEAR (predelay.valueToProportionOfLength (predelay.proportionOfLengthToValue (p)), p, 1e-12);

    TessmarkSlider linear ("0");
    linear.setRange (0.0, 100.0, 0.1);
    EXPECT_DOUBLE_EQ (linear.proportionOfLengthToValue (0.25), 25.0);
    EXPECT_DOUBLE_EQ (linear.valueToProportionOfLength (75.0), 0.75);

    // Bass multiply: 1.0 sits at the centre of the knob's travel.
    TessmarkSlider bass ("9");
    bass.setRange (0.5, 2.0, 0.01);
    bass.setSkewFactorFromMidPoint (1.0);
    EXPECT_NEAR (bass.proportionOfLengthToValue (0.5), 1.0, 1e-9);
    EXPECT_NEAR (bass.valueToProportionOfLength (1.0), 0.5, 1e-9);
}

TEST (TessmarkSlider, SettingTheNormalisedValueTellsNoListener)
{
    struct Counter : juce::Slider::Listener
    {
        int calls = 0;
        void sliderValueChanged (juce::Slider*) override { ++calls; }
    } counter;

    TessmarkSlider slider ("5");
    slider.setRange (0.0, 1.0, 0.01);
    slider.addListener (&counter);
    slider.setNormalisedValue (0.3);
    EXPECT_EQ (counter.calls, 0);
    slider.setValue (0.6, juce::sendNotificationSync);
    EXPECT_EQ (counter.calls, 1);
    slider.removeListener (&counter);
}

TEST (ValueBox, IgnoresTheMouseWheelAndUsesTheControlsWidthForItsFont)
{
    EditorFixture f;
    auto& knob = f.editor->getSlider (5);
    auto* box = dynamic_cast<QuorvaneLookAndFeel2013::SliderLabelComp*> (knob.getChildComponent (0));
    ASSERT_NE (box, nullptr);
    EXPECT_FLOAT_EQ (box->getFont().getHeight(), 18.0f);

    const double before = knob.getValue();
    const juce::MouseWheelDetails wheel { 0.0f, 0.5f, false, false, false };
    const juce::MouseEvent event (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f,
                                  0.0f, box, box, juce::Time::getCurrentTime(), {}, juce::Time::getCurrentTime(), 0,
                                  false);
    box->mouseWheelMove (event, wheel);
    EXPECT_EQ (knob.getValue(), before);
    knob.mouseWheelMove (event.getEventRelativeTo (&knob), wheel);
    EXPECT_NE (knob.getValue(), before); // over the knob itself the framework turns it

    // About half scale: the box is rebuilt for the narrower control, its font follows the width.
    f.editor->setSize (367, 250);
    auto& smallKnob = f.editor->getSlider (5);
    auto* smallBox = dynamic_cast<juce::Label*> (smallKnob.getChildComponent (0));
    ASSERT_NE (smallBox, nullptr);
    EXPECT_EQ (smallKnob.getWidth(), 34);
    EXPECT_FLOAT_EQ (smallBox->getFont().getHeight(), 34.0f / 70.0f * 18.0f);
}

} // namespace quorvane::editortest
