#include "PresetLibrary.h"

#include "PresetDocument.h"

namespace quorvane::presetlib
{

namespace
{
juce::Array<juce::File> entriesOf (const juce::File& folder)
{
    return folder.findChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, false, "*");
}

void listSection (const juce::File& folder, bool isFactory, std::vector<Entry>& out)
{
    if (! folder.isDirectory())
        return;
    for (const auto& entry : entriesOf (folder))
    {
        if (entry.isDirectory())
        {
            // A folder "My.Set" is looked up as "My", as the preset menu has always done.
            const auto name = entry.getFileNameWithoutExtension();
            const auto sub = folder.getChildFile (name);
            if (! sub.exists())
                continue;
            for (const auto& file : entriesOf (sub))
                if (isPresetFile (file))
                    out.push_back ({ isFactory, name, file.getFileNameWithoutExtension(), file });
        }
        else if (isPresetFile (entry))
        {
            out.push_back ({ isFactory, {}, entry.getFileNameWithoutExtension(), entry });
        }
    }
}
} // namespace

juce::File getPresetFolder (int kind)
{
    const auto base = juce::File::getSpecialLocation (kind == factoryPresetFolder
                                                          ? juce::File::commonApplicationDataDirectory
                                                          : juce::File::userApplicationDataDirectory);
    if (! base.exists())
        return {};
    return base.getChildFile (kind == factoryPresetFolder ? "Brennwick/Quorvane/Factory Presets"
                                                          : "Brennwick/Quorvane/User Presets");
}

bool isPresetFile (const juce::File& file)
{
    return ! file.isDirectory() && file.getFileExtension().equalsIgnoreCase (presetdoc::extension);
}

std::vector<Entry> listPresets (const juce::File& userFolder, const juce::File& factoryFolder)
{
    std::vector<Entry> entries;
    listSection (userFolder, false, entries);
    listSection (factoryFolder, true, entries);
    return entries;
}

} // namespace quorvane::presetlib
