// The preset controls: the menu with its clipboard and save-as entries, and the arrows.
#include "QuorvaneEditor.h"

#include "processor/Quorvane.h"

namespace quorvane
{

namespace
{
const char* const extension = ".kpreset";

juce::Array<juce::File> entriesOf (const juce::File& folder)
{
    // The listing order of the file system is kept: nothing is sorted.
    return folder.findChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, false, "*");
}
} // namespace

void QuorvaneEditor::rebuildPresetMenu()
{
    presetMenu.clear();
    presetPaths.clear();
    juce::StringArray itemTexts;

    for (const char* command : { "Copy to clipboard", "Paste from clipboard", "Save as..." })
    {
        itemTexts.add (command);
        presetMenu.addItem (itemTexts.size(), command, true, false);
    }

    presetMenu.addSeparator();
    presetMenu.addSectionHeader ("USER PRESETS:");
    listPresetSection (userPresetFolder, itemTexts);
    presetMenu.addSeparator();
    presetMenu.addSectionHeader ("TESSMARK PRESETS:");
    listPresetSection (factoryPresetFolder, itemTexts);
}

void QuorvaneEditor::setPresetFolders (const juce::File& factory, const juce::File& user)
{
    factoryPresetFolder = factory;
    userPresetFolder = user;
    rebuildPresetMenu();
}

void QuorvaneEditor::listPresetSection (const juce::File& folder, juce::StringArray& itemTexts)
{
    auto addPreset = [this, &itemTexts] (juce::PopupMenu& menu, const juce::File& file) {
        itemTexts.add (file.getFileNameWithoutExtension());
        presetPaths.add (file.getFullPathName());
        menu.addItem (itemTexts.size(), file.getFileNameWithoutExtension(), true, false);
    };

    for (const auto& entry : entriesOf (folder))
    {
        if (entry.isDirectory())
        {
            // A folder is looked up by its name without extension ("My.Set" as "My").
            const juce::String name = entry.getFileNameWithoutExtension();
            const juce::File sub = folder.getChildFile (name);
            if (! sub.exists())
                continue;

            juce::PopupMenu subMenu;
            for (const auto& file : entriesOf (sub))
                if (file.existsAsFile() && file.hasFileExtension (extension))
                    addPreset (subMenu, file);
            presetMenu.addSubMenu (name, subMenu, true);
        }
        else if (entry.hasFileExtension (extension))
            addPreset (presetMenu, entry);
    }
}

void QuorvaneEditor::presetMenuCallback (int result, QuorvaneEditor* editor)
{
    if (result != 0 && editor != nullptr)
        editor->handlePresetMenuResult (result);
}

void QuorvaneEditor::showPresetName()
{
    presetsSelect.setButtonText (quorvane.getPresetName());
    presetsSelect.repaint();
}

void QuorvaneEditor::loadPresetAt (int position)
{
    // An empty path names no file; loading it changes nothing.
    const juce::String path = presetPaths[position];
    if (path.isNotEmpty() && juce::File::isAbsolutePath (path))
        quorvane.loadPresetFile (juce::File (path));
    showPresetName();
}

void QuorvaneEditor::handlePresetMenuResult (int id)
{
    if (id == 1)
    {
        clipboardText = quorvane.presetToText();
        juce::SystemClipboard::copyTextToClipboard (clipboardText);
    }
    else if (id == 2)
    {
        clipboardText = juce::SystemClipboard::getTextFromClipboard();
        quorvane.presetFromText (clipboardText);
        presetsSelect.setButtonText (quorvane.getPresetName());
    }
    else if (id == 3)
    {
        saveChooser = std::make_unique<juce::FileChooser> ("Save preset as...", userPresetFolder, "*.kpreset");
        const auto flags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                         | juce::FileBrowserComponent::warnAboutOverwriting;
        juce::Component::SafePointer<QuorvaneEditor> self (this);
        saveChooser->launchAsync (flags, [self] (const juce::FileChooser& chooser) {
            const juce::File chosen = chooser.getResult();
            if (self != nullptr && chosen != juce::File())
                self->savePresetAs (chosen);
        });
    }
    else if (id >= 4)
    {
        currentPresetIndex = id - 4;
        loadPresetAt (currentPresetIndex);
    }
}

bool QuorvaneEditor::savePresetAs (const juce::File& chosen)
{
    const int limit = maxPresetFileNameLength - (int) juce::String (extension).length();
    juce::File target = chosen;
    juce::String name = target.getFileNameWithoutExtension();
    if (name.length() > limit)
    {
        name = name.substring (0, limit - 1);
        target = target.getParentDirectory().getChildFile (name + extension);
    }

    // The name is taken before writing, whether or not the file can be written.
    quorvane.setPresetName (name);
    presetsSelect.setButtonText (name);
    presetsSelect.repaint();

    if (! quorvane.savePresetFile (target.withFileExtension (extension)))
        return false;
    rebuildPresetMenu();
    return true;
}

void QuorvaneEditor::stepPreset (int direction)
{
    const int count = presetPaths.size();
    if (direction < 0)
    {
        currentPresetIndex -= 1;
        if (currentPresetIndex < 0)
            currentPresetIndex = count - 1;
    }
    else
    {
        currentPresetIndex += 1;
        if (currentPresetIndex > count - 1)
            currentPresetIndex = 0;
    }
    loadPresetAt (currentPresetIndex);
}

} // namespace quorvane
