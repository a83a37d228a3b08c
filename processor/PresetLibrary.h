#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace quorvane
{

/** Where presets live and how the list of available presets is built from the two folders. */
namespace presetlib
{
enum FolderKind
{
    factoryPresetFolder = 0,
    userPresetFolder = 1
};

/** One preset file found in a folder (directly, or one sub-folder deep). */
struct Entry
{
    bool isFactory = false;
    juce::String folder; ///< the sub-folder's name, empty for a file directly in the section folder
    juce::String name;   ///< the file name without extension
    juce::File file;
};

/** The factory folder (shared by all users) or the user's folder; the nonexistent file when the
    base location does not exist. Never creates anything. */
juce::File getPresetFolder (int kind);
/** True for a file name with the preset extension, letter case ignored. */
bool isPresetFile (const juce::File& file);
/** All presets, user folder first then factory folder, each in the order the file system lists
    them, sub-folders one level deep in place. */
std::vector<Entry> listPresets (const juce::File& userFolder, const juce::File& factoryFolder);
} // namespace presetlib

} // namespace quorvane
