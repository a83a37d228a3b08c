#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace quorvane
{

/** A strict reader for the one shape of document that states and presets are: an optional XML
    declaration, then a single element with attributes and no children, with white space and
    comments around it. Outside data never reaches the framework's general XML parser, which
    accepts truncated documents and reads past the end of some malformed ones. Anything else,
    including a document cut short anywhere, reads as nothing. */
std::unique_ptr<juce::XmlElement> parseSingleElement (const juce::String& text);

} // namespace quorvane
