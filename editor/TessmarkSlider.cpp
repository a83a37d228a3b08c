#include "TessmarkSlider.h"

#include <cmath>

namespace quorvane
{

TessmarkSlider::TessmarkSlider (const juce::String& componentName) : juce::Slider (componentName) {}

TessmarkSlider::~TessmarkSlider() = default;

double TessmarkSlider::proportionOfLengthToValue (double proportion)
{
    const double skew = getSkewFactor();
    if (skew != 1.0 && proportion > 0.0)
        proportion = std::exp (std::log (proportion) / skew);
    return getMinimum() + (getMaximum() - getMinimum()) * proportion;
}

double TessmarkSlider::valueToProportionOfLength (double value)
{
    const double n = (value - getMinimum()) / (getMaximum() - getMinimum());
    const double skew = getSkewFactor();
    return skew == 1.0 ? n : std::pow (n, skew);
}

double TessmarkSlider::getNormalisedValue() const
{
    return (getValue() - getMinimum()) / (getMaximum() - getMinimum());
}

void TessmarkSlider::setNormalisedValue (double n)
{
    setValue (getMinimum() + (getMaximum() - getMinimum()) * n, juce::dontSendNotification);
}

} // namespace quorvane
