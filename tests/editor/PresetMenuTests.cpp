// The preset menu and arrows over folder trees built in a temporary folder: ids, the order of
// presetPaths, sub-menus, save-as names, wrapping and paste with the MIX lock.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane::editortest
{

namespace
{
struct MenuEntry
{
    int id;
    juce::String text;
    bool header, separator, subMenu;
    int depth;
};

void collect (const juce::PopupMenu& menu, int depth, std::vector<MenuEntry>& out)
{
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();
        out.push_back (
            { item.itemID, item.text, item.isSectionHeader, item.isSeparator, item.subMenu != nullptr, depth });
        if (item.subMenu != nullptr)
            collect (*item.subMenu, depth + 1, out);
    }
}

std::vector<MenuEntry> entriesOf (const juce::PopupMenu& menu)
{
    std::vector<MenuEntry> out;
    collect (menu, 0, out);
    return out;
}

void writePreset (const juce::File& file, float decay, float mix = 1.0f)
{
    file.getParentDirectory().createDirectory();
    file.replaceWithText ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quorvane pluginVersion=\"1.1.1\" presetName=\""
                          + file.getFileNameWithoutExtension() + "\" mix=\"" + juce::String (mix) + "\" decay=\""
                          + juce::String (decay) + "\"/>\n");
}
} // namespace

TEST (PresetMenu, EmptyFoldersGiveTheCommandsAndHeadersOnly)
{
    EditorFixture f;
    TemporaryFolder user, factory;
    f.editor->setPresetFolders (factory.folder, user.folder);
    const auto entries = entriesOf (f.editor->getPresetMenu());
    ASSERT_EQ (entries.size(), 7u);
    EXPECT_EQ (entries[0].id, 1);
    EXPECT_EQ (entries[0].text, "Copy to clipboard");
    EXPECT_EQ (entries[1].id, 2);
    EXPECT_EQ (entries[1].text, "Paste from clipboard");
    EXPECT_EQ (entries[2].id, 3);
    EXPECT_EQ (entries[2].text, "Save as...");
    EXPECT_TRUE (entries[3].separator);
    EXPECT_TRUE (entries[4].header);
    EXPECT_EQ (entries[4].text, "USER PRESETS:");
    EXPECT_TRUE (entries[5].separator);
    EXPECT_EQ (entries[6].text, "TESSMARK PRESETS:");
    EXPECT_TRUE (f.editor->getPresetPaths().isEmpty());

    // The arrows have nothing to load and change nothing.
    const float decay = f.processor->getParameter (param::decay);
    f.editor->stepPreset (+1);
    f.editor->stepPreset (-1);
    EXPECT_EQ (f.processor->getParameter (param::decay), decay);
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), "Default");
}

TEST (PresetMenu, IdsAndPathsFollowTheFolderListingWithOneLevelSubMenus)
{
    EditorFixture f;
    TemporaryFolder user, factory;
    writePreset (user.folder.getChildFile ("B.kpreset"), 0.1f);
    writePreset (user.folder.getChildFile ("a.kpreset"), 0.2f);
    writePreset (user.folder.getChildFile ("Big.KPRESET"), 0.3f); // the extension ignores case
    user.folder.getChildFile ("notes.txt").replaceWithText ("not a preset");
    writePreset (user.folder.getChildFile ("Hall/x.kpreset"), 0.4f);
    writePreset (user.folder.getChildFile ("Hall/Deeper/ignored.kpreset"), 0.5f); // only one level
    writePreset (user.folder.getChildFile ("My.Set/lost.kpreset"), 0.6f);          // looked up as "My": absent
    writePreset (user.folder.getChildFile ("v1.2 Warm.kpreset"), 0.7f);            // a name with a dot
    writePreset (factory.folder.getChildFile ("Rooms/Small.kpreset"), 0.8f);
    writePreset (factory.folder.getChildFile ("Plate.kpreset"), 0.9f);

    f.editor->setPresetFolders (factory.folder, user.folder);

    // Which files are listed: the file system's listing order is kept, so only the user
    // presets coming first is fixed; sub-folders one level deep, "My.Set" looked up as "My".
    const auto& expected = f.editor->getPresetPaths();
    juce::StringArray userNames, factoryNames;
    for (const auto& path : expected)
    {
        const juce::File file (path);
        const bool inUser = file.isAChildOf (user.folder);
        (inUser ? userNames : factoryNames).add (file.getRelativePathFrom (inUser ? user.folder : factory.folder));
    }
    ASSERT_EQ (expected.size(), 7);
    EXPECT_TRUE (juce::File (expected[0]).isAChildOf (user.folder));
    EXPECT_TRUE (juce::File (expected[5]).isAChildOf (factory.folder));
    userNames.sort (true);
    factoryNames.sort (true);
    EXPECT_EQ (userNames,
               juce::StringArray ({ "a.kpreset", "B.kpreset", "Big.KPRESET", "Hall/x.kpreset", "v1.2 Warm.kpreset" }));
    EXPECT_EQ (factoryNames, juce::StringArray ({ "Plate.kpreset", "Rooms/Small.kpreset" }));

    // Each preset's id is 4 plus its position in presetPaths, in the main menu or a sub-menu.
    std::vector<MenuEntry> presets;
    juce::StringArray subMenus;
    for (const auto& entry : entriesOf (f.editor->getPresetMenu()))
    {
        if (entry.subMenu)
            subMenus.add (entry.text);
        else if (entry.id >= 4)
            presets.push_back (entry);
    }
    ASSERT_EQ (presets.size(), 7u);
    for (size_t k = 0; k < presets.size(); ++k)
    {
        EXPECT_EQ (presets[k].id, (int) k + 4);
        EXPECT_EQ (presets[k].text, juce::File (expected[(int) k]).getFileNameWithoutExtension());
        EXPECT_EQ (presets[k].depth, presets[k].text == "x" || presets[k].text == "Small" ? 1 : 0) << presets[k].text;
    }
    subMenus.sort (false);
    EXPECT_EQ (subMenus, juce::StringArray ({ "Hall", "Rooms" }));

    // Choosing an item loads it; the arrows go on from there and wrap at both ends.
    const int plate = expected.indexOf (factory.folder.getChildFile ("Plate.kpreset").getFullPathName());
    f.editor->handlePresetMenuResult (plate + 4);
    EXPECT_EQ (f.editor->getCurrentPresetIndex(), plate);
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), "Plate");
    EXPECT_NEAR (f.processor->getParameter (param::decay), 0.9f, 1e-6);

    f.editor->handlePresetMenuResult (6 + 4); // the last
    f.editor->stepPreset (+1);
    EXPECT_EQ (f.editor->getCurrentPresetIndex(), 0);
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), juce::File (expected[0]).getFileNameWithoutExtension());
    f.editor->stepPreset (-1);
    EXPECT_EQ (f.editor->getCurrentPresetIndex(), 6);
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), juce::File (expected[6]).getFileNameWithoutExtension());
}

TEST (PresetMenu, FirstArrowClickReachesBothEnds)
{
    TemporaryFolder user, factory;
    writePreset (user.folder.getChildFile ("One.kpreset"), 0.1f);
    writePreset (user.folder.getChildFile ("Two.kpreset"), 0.2f);
    {
        EditorFixture f;
        f.editor->setPresetFolders (factory.folder, user.folder);
        f.editor->stepPreset (+1);
        EXPECT_EQ (f.editor->getCurrentPresetIndex(), 0);
    }
    {
        EditorFixture f;
        f.editor->setPresetFolders (factory.folder, user.folder);
        f.editor->stepPreset (-1);
        EXPECT_EQ (f.editor->getCurrentPresetIndex(), 1);
    }
}

TEST (PresetMenu, SaveAsTruncatesLongNamesAndListsTheNewPreset)
{
    EditorFixture f;
    TemporaryFolder user, factory;
    f.editor->setPresetFolders (factory.folder, user.folder);

    ASSERT_TRUE (f.editor->savePresetAs (user.folder.getChildFile ("Warm Hall")));
    EXPECT_TRUE (user.folder.getChildFile ("Warm Hall.kpreset").existsAsFile());
    EXPECT_EQ (f.processor->getPresetName(), "Warm Hall");
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), "Warm Hall");
    EXPECT_EQ (f.editor->getPresetPaths(),
               juce::StringArray (user.folder.getChildFile ("Warm Hall.kpreset").getFullPathName()));

    const juce::String name32 = "abcdefghijklmnopqrstuvwxyz012345";
    ASSERT_EQ (name32.length(), 32);
    ASSERT_TRUE (f.editor->savePresetAs (user.folder.getChildFile (name32 + ".kpreset")));
    EXPECT_EQ (f.processor->getPresetName(), name32);
    EXPECT_TRUE (user.folder.getChildFile (name32 + ".kpreset").existsAsFile());

    ASSERT_TRUE (f.editor->savePresetAs (user.folder.getChildFile (name32 + "6.kpreset")));
    const juce::String name31 = name32.substring (0, 31);
    EXPECT_EQ (f.processor->getPresetName(), name31);
    EXPECT_TRUE (user.folder.getChildFile (name31 + ".kpreset").existsAsFile());
    EXPECT_FALSE (user.folder.getChildFile (name32 + "6.kpreset").exists());
    EXPECT_EQ (f.editor->getPresetPaths().size(), 3);

    // A folder that cannot be written: the name is taken, the menu stays as it was.
    EXPECT_FALSE (f.editor->savePresetAs (user.folder.getChildFile ("missing/deeper/Lost.kpreset")));
    EXPECT_EQ (f.processor->getPresetName(), "Lost");
    EXPECT_EQ (f.editor->getPresetPaths().size(), 3);
}

TEST (PresetMenu, CopyAndPasteThroughTheClipboardKeepTheLockedMix)
{
    EditorFixture f;
    auto& p = *f.processor;
    p.getParameters()[param::mix]->setValueNotifyingHost (0.3f);
    p.getParameters()[param::decay]->setValueNotifyingHost (0.6f);
    p.setPresetName ("Copied");
    f.editor->handlePresetMenuResult (1);
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), p.presetToText());

    p.getParameters()[param::mix]->setValueNotifyingHost (0.8f);
    p.getParameters()[param::decay]->setValueNotifyingHost (0.1f);
    p.setPresetName ("Other");
    f.editor->getMixLockButton().setToggleState (true, juce::sendNotificationSync);
    ASSERT_TRUE (p.mixLock.load());

    f.editor->handlePresetMenuResult (2);
    EXPECT_FLOAT_EQ (p.getParameter (param::decay), 0.6f);
    EXPECT_FLOAT_EQ (p.getParameter (param::mix), 0.8f); // locked: kept
    EXPECT_EQ (f.editor->getPresetButton().getButtonText(), "Copied");

    // Text that is not a preset of this product changes nothing.
    juce::SystemClipboard::copyTextToClipboard ("<Other decay=\"0.9\"/>");
    f.editor->handlePresetMenuResult (2);
    EXPECT_FLOAT_EQ (p.getParameter (param::decay), 0.6f);
}

} // namespace quorvane::editortest
