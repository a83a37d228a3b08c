#pragma once

#include "engine/EngineParameters.h"

#include <juce_core/juce_core.h>

#include <array>
#include <memory>
#include <optional>

namespace quorvane
{

/** The "Quorvane" element that saved states and preset documents are made of: the version, the
    preset name and the twenty normalised parameter values by identifier, in index order. */
namespace presetdoc
{
constexpr const char* tag = "Quorvane";
constexpr const char* version = "1.1.1";
constexpr const char* extension = ".kpreset";

using Values = std::array<float, param::count>;

/** Values read from an element: a missing, non-finite attribute is absent (keeps the current). */
struct Contents
{
    juce::String presetName;
    std::array<std::optional<float>, param::count> values;
};

/** Writes a number as the documents always have: general notation, up to 20 significant digits. */
juce::String formatNumber (double value);
/** Builds the element with version, preset name and the twenty values. */
std::unique_ptr<juce::XmlElement> createElement (const juce::String& presetName, const Values& values);
/** True when the element's tag names this product (letter case ignored). */
bool isPresetElement (const juce::XmlElement& element);
/** Reads name and values. Outside data: values outside 0..1 are clamped into it, values that are
    not finite are left out; text that is no number reads as 0. */
Contents readElement (const juce::XmlElement& element);
/** Text from outside bytes (a file, a chunk): false unless they are well-formed UTF-8. The
    framework's text and XML classes read past the end of malformed UTF-8, so nothing else may
    turn outside bytes into text. A leading byte-order mark is dropped. */
bool textFromBytes (const void* data, size_t size, juce::String& text);
/** Reads a whole preset file as text; false when it cannot be read or is not UTF-8. */
bool readPresetFileText (const juce::File& file, juce::String& text);
/** The leading decimal integer of an attribute (0 without digits, saturated to the int range);
    the default when the attribute is missing. */
int readInteger (const juce::XmlElement& element, const char* name, int defaultValue);
/** Parses a preset document; nullptr when it is not well-formed XML or not this product's element. */
std::unique_ptr<juce::XmlElement> parsePresetText (const juce::String& text);
/** Decodes a saved-state chunk ("VC2!", length, XML, zero byte); nullptr unless it is complete,
    well-formed and this product's element. */
std::unique_ptr<juce::XmlElement> decodeStateChunk (const void* data, int sizeInBytes);
/** Encodes an element as a saved-state chunk: one line of UTF-8 without an XML declaration. */
void encodeStateChunk (const juce::XmlElement& element, juce::MemoryBlock& destData);
} // namespace presetdoc

} // namespace quorvane
