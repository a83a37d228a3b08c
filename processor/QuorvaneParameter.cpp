#include "QuorvaneParameter.h"

#include "Quorvane.h"

#include <cmath>

namespace quorvane
{

QuorvaneParameter::QuorvaneParameter (Quorvane& ownerToUse, param::Index indexToUse)
    : juce::AudioProcessorParameterWithID (juce::ParameterID (parameterInfo (indexToUse).identifier, 1),
                                           parameterInfo (indexToUse).identifier),
      owner (ownerToUse),
      index (indexToUse),
      info (parameterInfo (indexToUse))
{
}

float QuorvaneParameter::getValue() const { return owner.getParameter (index); }

void QuorvaneParameter::setValue (float newValue)
{
    // A value outside 0..1 is a host fault; a non-finite one would poison every filter state.
    if (! std::isfinite (newValue))
        return;

    owner.setParameter (index, juce::jlimit (0.0f, 1.0f, newValue));
}

float QuorvaneParameter::getDefaultValue() const { return defaultNormalised (info); }

juce::String QuorvaneParameter::getText (float normalisedValue, int maximumStringLength) const
{
    const juce::String text (displayText (info, toPhysical (info, normalisedValue)));
    return maximumStringLength > 0 ? text.substring (0, maximumStringLength) : text;
}

float QuorvaneParameter::getValueForText (const juce::String& text) const
{
    const float normalised = toNormalised (info, text.trim().getFloatValue());
    return std::isfinite (normalised) ? juce::jlimit (0.0f, 1.0f, normalised) : getDefaultValue();
}

} // namespace quorvane
