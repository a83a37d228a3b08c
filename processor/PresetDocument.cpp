#include "PresetDocument.h"

#include <cmath>
#include <cstdio>

namespace quorvane::presetdoc
{

juce::String formatNumber (double value)
{
    char text[64];
    std::snprintf (text, sizeof (text), "%.20g", value);
    return juce::String (text);
}

std::unique_ptr<juce::XmlElement> createElement (const juce::String& presetName, const Values& values)
{
    auto element = std::make_unique<juce::XmlElement> (tag);
    element->setAttribute ("pluginVersion", version);
    element->setAttribute ("presetName", presetName);
    for (int i = 0; i < param::count; ++i)
        element->setAttribute (parameterInfo (i).identifier, formatNumber ((double) values[(size_t) i]));
    return element;
}

bool isPresetElement (const juce::XmlElement& element)
{
    return element.getTagName().equalsIgnoreCase (tag);
}

Contents readElement (const juce::XmlElement& element)
{
    Contents contents;
    contents.presetName = element.getStringAttribute ("presetName");
    for (int i = 0; i < param::count; ++i)
    {
        const char* id = parameterInfo (i).identifier;
        if (! element.hasAttribute (id))
            continue;
        const double value = element.getDoubleAttribute (id);
        // A value beyond 0..1 would drive the engine outside every range it is designed for
        // (a negative decay makes the feedback gains exceed 1), so outside data is clamped.
        if (std::isfinite (value))
            contents.values[(size_t) i] = (float) juce::jlimit (0.0, 1.0, value);
    }
    return contents;
}

std::unique_ptr<juce::XmlElement> parsePresetText (const juce::String& text)
{
    auto element = juce::parseXML (text);
    if (element == nullptr || ! isPresetElement (*element))
        return nullptr;
    return element;
}

} // namespace quorvane::presetdoc
