#include "PresetDocument.h"

#include "DocumentParser.h"

#include <charconv>
#include <cmath>
#include <limits>
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

namespace
{
/** The leading number of a text, as the documents have always been read: white space skipped,
    no number reads as 0. Parsed here rather than by the framework, whose conversion overflows a
    signed integer on long exponents; independent of the locale. Nothing when out of range. */
std::optional<double> leadingNumber (const juce::String& text)
{
    const std::string s = text.toStdString();
    size_t i = 0;
    while (i < s.size() && juce::CharacterFunctions::isWhitespace ((juce::juce_wchar) (unsigned char) s[i]))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    double value = 0.0;
    const auto [end, error] = std::from_chars (s.data() + i, s.data() + s.size(), value);
    if (error == std::errc::result_out_of_range)
        return std::nullopt;
    if (error != std::errc())
        return 0.0;
    (void) end;
    return value;
}
} // namespace

int readInteger (const juce::XmlElement& element, const char* name, int defaultValue)
{
    if (! element.hasAttribute (name))
        return defaultValue;
    const auto text = element.getStringAttribute (name).trimStart();
    auto p = text.getCharPointer();
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    while (p.isDigit() && value <= std::numeric_limits<int>::max())
        value = value * 10 + (long long) (p.getAndAdvance() - '0');
    if (negative)
        value = -value;
    return (int) juce::jlimit ((long long) std::numeric_limits<int>::min(), (long long) std::numeric_limits<int>::max(),
                               value);
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
        const auto value = leadingNumber (element.getStringAttribute (id));
        // A value beyond 0..1 would drive the engine outside every range it is designed for
        // (a negative decay makes the feedback gains exceed 1), so outside data is clamped.
        if (value && std::isfinite (*value))
            contents.values[(size_t) i] = (float) juce::jlimit (0.0, 1.0, *value);
    }
    return contents;
}

namespace
{
/** Length of the well-formed UTF-8 sequence starting at data[i], or 0. */
size_t sequenceLength (const unsigned char* data, size_t i, size_t size)
{
    const unsigned char lead = data[i];
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // range of the first continuation byte
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
    {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    }
    else if (lead >= 0xf0 && lead <= 0xf4)
    {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    if (length == 0 || size - i < length || data[i + 1] < low || data[i + 1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if ((data[i + k] & 0xc0) != 0x80)
            return 0;
    return length;
}

bool isWellFormedUtf8 (const unsigned char* data, size_t size)
{
    for (size_t i = 0; i < size;)
    {
        const size_t length = sequenceLength (data, i, size);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

constexpr juce::uint32 stateMagic = 0x21324356; // "VC2!" in little-endian byte order

} // namespace

bool textFromBytes (const void* data, size_t size, juce::String& text)
{
    auto* bytes = static_cast<const unsigned char*> (data);
    if (bytes == nullptr || size > (size_t) std::numeric_limits<int>::max())
        return false;
    if (size >= 3 && bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf)
    {
        bytes += 3;
        size -= 3;
    }
    if (! isWellFormedUtf8 (bytes, size))
        return false;
    text = juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes), (int) size);
    return true;
}

bool readPresetFileText (const juce::File& file, juce::String& text)
{
    juce::MemoryBlock data;
    return file.existsAsFile() && file.loadFileAsData (data) && textFromBytes (data.getData(), data.getSize(), text);
}

std::unique_ptr<juce::XmlElement> parsePresetText (const juce::String& text)
{
    // Text can hold malformed UTF-8 when it was made from raw bytes elsewhere (the clipboard).
    if (! isWellFormedUtf8 (reinterpret_cast<const unsigned char*> (text.toRawUTF8()), text.getNumBytesAsUTF8()))
        return nullptr;

    // Outside data must parse completely, or it is not taken at all.
    auto element = parseSingleElement (text);
    if (element == nullptr || ! isPresetElement (*element))
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
    juce::String text;
    if (! textFromBytes (bytes + 8, length, text))
        return nullptr;
    return parsePresetText (text);
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
