#include "PresetDocument.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace quorvane::presetdoc
{

juce::String formatNumber (double value)
{
    // The classic locale: documents must read back on every machine, whatever locale the host set.
    std::ostringstream text;
    text.imbue (std::locale::classic());
    text << std::setprecision (20) << value;
    return juce::String (text.str());
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

namespace
{
constexpr juce::uint32 stateMagic = 0x21324356; // "VC2!" in little-endian byte order

/** The framework's parser accepts an element cut off inside its start tag and returns whatever
    attributes it had read, without an error; a complete document ends by closing its element. */
bool endsItsElement (const juce::String& text, const juce::XmlElement& element)
{
    const auto trimmed = text.trimEnd();
    return trimmed.endsWith ("/>") || trimmed.endsWithIgnoreCase ("</" + element.getTagName() + ">");
}
} // namespace

std::unique_ptr<juce::XmlElement> parsePresetText (const juce::String& text)
{
    // Outside data must parse completely, or it is not taken at all.
    juce::XmlDocument document (text);
    auto element = document.getDocumentElement();
    if (element == nullptr || document.getLastParseError().isNotEmpty() || ! isPresetElement (*element)
        || ! endsItsElement (text, *element))
        return nullptr;
    return element;
}

std::unique_ptr<juce::XmlElement> decodeStateChunk (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return nullptr;
    const auto* bytes = static_cast<const char*> (data);
    if (juce::ByteOrder::littleEndianInt (bytes) != stateMagic)
        return nullptr;
    const auto length = juce::ByteOrder::littleEndianInt (bytes + 4);
    if (length == 0 || length > (juce::uint32) sizeInBytes - 8)
        return nullptr; // empty, or cut short on the way
    return parsePresetText (juce::String::fromUTF8 (bytes + 8, (int) length));
}

void encodeStateChunk (const juce::XmlElement& element, juce::MemoryBlock& destData)
{
    const auto text = element.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
    const auto length = text.getNumBytesAsUTF8();
    destData.reset();
    juce::MemoryOutputStream out (destData, false);
    out.writeInt ((int) stateMagic);
    out.writeInt ((int) length);
    out.write (text.toRawUTF8(), length);
    out.writeByte (0);
}

} // namespace quorvane::presetdoc
