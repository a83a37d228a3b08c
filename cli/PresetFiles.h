#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace quorvane
{
class Quorvane;
}

namespace quorvane::cli
{

/** Largest preset file the renderer reads; real documents are about one kilobyte, so anything
    far bigger is not a preset and is refused before it is read into memory. */
constexpr juce::int64 maximumPresetFileBytes = 1 << 20;

/** Reads a preset file and checks that it is a preset document of this product. Returns an error
    line naming the file and the problem, or an empty string with the document in text. */
std::string readPresetFile (const std::string& path, juce::String& text);

/** Names the processor's preset after the file (its name without extension) and writes the
    current settings there as a preset document. A missing user preset folder, or a missing
    sub-folder directly inside it, is created first, as the product does when asked to save; any
    other missing folder is an error. Returns an error line or an empty string. */
std::string writePresetFile (Quorvane& processor, const std::string& path, const juce::File& userFolder);

/** The presets found in the user folder, then those in the factory folder, in the order the
    preset menu lists them: one line each with sub-folder, name and file. */
std::string presetListText (const juce::File& userFolder, const juce::File& factoryFolder);

} // namespace quorvane::cli
