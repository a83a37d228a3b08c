#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace quorvane
{

/** The slider of every parameter control, fader or knob. The parameter's normalised value maps
    linearly onto the slider range; the skew only shapes how far the control moves per value. */
class TessmarkSlider : public juce::Slider
{
public:
    /** The editor names each slider after its parameter index ("0".."18"). */
    explicit TessmarkSlider (const juce::String& componentName);
    ~TessmarkSlider() override;

    double proportionOfLengthToValue (double proportion) override;
    double valueToProportionOfLength (double value) override;

    /** (value - minimum) / (maximum - minimum), whatever the skew. */
    double getNormalisedValue() const;
    /** Sets minimum + n x (maximum - minimum), snapped to the interval, without telling listeners. */
    void setNormalisedValue (double n);
};

} // namespace quorvane
