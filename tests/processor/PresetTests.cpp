#include "ProcessorHarness.h"
#include "processor/PresetLibrary.h"

#include <gtest/gtest.h>

namespace quorvane::test
{
namespace
{

struct TempFolder
{
    juce::TemporaryFile temp;
    juce::File dir { temp.getFile() };
    TempFolder() { dir.createDirectory(); }
    ~TempFolder() { dir.deleteRecursively(); }
    juce::File make (const juce::String& path, const juce::String& content = "x") const
    {
        auto f = dir.getChildFile (path);
        f.getParentDirectory().createDirectory();
        f.replaceWithText (content);
        return f;
    }
};
} // namespace

TEST (Presets, TextRoundTripRestoresValuesAndNameButTheMixLockKeepsMix)
{
    Quorvane source;
    for (int i = 0; i < param::count; ++i)
        source.setParameter (static_cast<param::Index> (i), 0.05f * (float) i + 0.01f);
    source.setPresetName ("Vocal Chamber");
    const auto text = source.presetToText();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_TRUE (text.contains ("\n"));
    EXPECT_FALSE (text.contains ("mixLock"));
    EXPECT_FALSE (text.contains ("uiWidth"));

    Quorvane target;
    target.presetFromText (text);
    EXPECT_EQ (allValues (target), allValues (source));
    EXPECT_EQ (target.getPresetName(), "Vocal Chamber");

    Quorvane locked;
    locked.mixLock = true;
    locked.setParameter (param::mix, 0.25f);
    locked.presetFromText (text);
    EXPECT_EQ (locked.getParameter (param::mix), 0.25f);
    EXPECT_EQ (locked.getParameter (param::decay), source.getParameter (param::decay));
}

TEST (Presets, CapitalRootTagMissingAttributesAndForeignTexts)
{
    Quorvane p;
    const float lateSize = p.getParameter (param::lateSize);
    p.presetFromText ("<?xml version=\"1.0\"?><QUORVANE presetName=\"Big\" decay=\"0.3\" mix=\"-2\"/>");
    EXPECT_EQ (p.getPresetName(), "Big");
    EXPECT_EQ (p.getParameter (param::decay), 0.3f);
    EXPECT_EQ (p.getParameter (param::mix), 0.0f); // clamped
    EXPECT_EQ (p.getParameter (param::lateSize), lateSize);

    const auto before = allValues (p);
    for (const char* foreign : { "", "not xml at all", "<Other decay=\"0.9\"/>", "<Quorvane decay=\"0.9\"" })
        p.presetFromText (foreign);
    EXPECT_EQ (allValues (p), before);
    EXPECT_EQ (p.getPresetName(), "Big");
}

TEST (Presets, FilesAreWrittenSafelyAndReadBack)
{
    TempFolder folder;
    Quorvane source;
    source.setParameter (param::decay, 0.42f);
    source.setPresetName ("Long Hall");
    const auto file = folder.dir.getChildFile ("Long Hall.kpreset");
    ASSERT_TRUE (source.savePresetFile (file));
    EXPECT_EQ (file.loadFileAsString(), source.presetToText());

    Quorvane target;
    target.loadPresetFile (file);
    EXPECT_EQ (target.getParameter (param::decay), 0.42f);
    EXPECT_EQ (target.getPresetName(), "Long Hall");

    // A missing folder: the save fails and leaves nothing behind.
    const auto unreachable = folder.dir.getChildFile ("missing/sub/x.kpreset");
    EXPECT_FALSE (source.savePresetFile (unreachable));
    EXPECT_FALSE (unreachable.exists());

    // A failed load changes nothing: missing, unreadable, not XML, another product.
    const auto before = allValues (target);
    target.loadPresetFile (folder.dir.getChildFile ("none.kpreset"));
    target.loadPresetFile (folder.dir);
    target.loadPresetFile (folder.make ("junk.kpreset", "\x01\x02garbage"));
    target.loadPresetFile (folder.make ("other.kpreset", "<Other decay=\"0.1\"/>"));
    const auto malformed = folder.dir.getChildFile ("malformed.kpreset");
    const char raw[] = "<Quorvane decay=\"0.1\" presetName=\"\xf0\x9f\"/>";
    malformed.replaceWithData (raw, sizeof (raw) - 1);
    target.loadPresetFile (malformed);
    target.loadPresetFile (juce::File());
    EXPECT_EQ (allValues (target), before);
    EXPECT_EQ (target.getPresetName(), "Long Hall");
}

TEST (Presets, LoadingInformsTheHostWithAGesturePerParameter)
{
    struct Listener : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
        {
            changed.push_back (index);
        }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        std::vector<int> changed;
        int gestures = 0;
    } listener;

    Quorvane source;
    source.setParameter (param::mix, 0.5f);
    source.setParameter (param::type, typeNormalisedForMode (0));
    const auto text = source.presetToText();

    Quorvane p;
    p.addListener (&listener);
    p.presetFromText (text);
    p.removeListener (&listener);
    ASSERT_FALSE (listener.changed.empty());
    EXPECT_EQ (listener.changed.back(), (int) param::mix); // mix comes last, after type
    EXPECT_EQ (listener.gestures, 20);
}

TEST (Presets, FoldersSitUnderTheApplicationDataLocations)
{
    // The tests run with HOME in the build tree, where the data folder may not exist yet.
    const auto base = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
    base.createDirectory();
    const auto user = Quorvane::getPresetFolder (presetlib::userPresetFolder);
    const auto factory = Quorvane::getPresetFolder (presetlib::factoryPresetFolder);
    EXPECT_TRUE (user.getFullPathName().endsWith ("Brennwick/Quorvane/User Presets"));
    EXPECT_TRUE (user.isAChildOf (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)));
    EXPECT_TRUE (factory.getFullPathName().endsWith ("Brennwick/Quorvane/Factory Presets"));
    EXPECT_FALSE (user.exists() && ! user.isDirectory()); // looking never creates anything
}

TEST (Presets, ListHasUserPresetsFirstWithOneLevelOfSubFolders)
{
    TempFolder user, factory;
    user.make ("B.kpreset");
    user.make ("Hall/x.kpreset");
    user.make ("Hall/deeper/ignored.kpreset");
    user.make ("notes.txt");
    user.make ("Big.KPRESET");
    user.make ("My.Set/y.kpreset"); // looked up as "My", which does not exist
    factory.make ("Rooms/Drum Room.kpreset");
    factory.make ("Top.kpreset");

    const auto list = presetlib::listPresets (user.dir, factory.dir);
    juce::StringArray names;
    for (const auto& e : list)
        names.add ((e.isFactory ? "F:" : "U:") + e.folder + "/" + e.name);
    names.sort (false); // the file system's order is not fixed; compare as sets within sections
    EXPECT_EQ (names.joinIntoString (","), "F:/Top,F:Rooms/Drum Room,U:/B,U:/Big,U:Hall/x");
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_FALSE (list[i - 1].isFactory && ! list[i].isFactory); // user section first
    EXPECT_TRUE (presetlib::listPresets (juce::File(), juce::File()).empty());
}

} // namespace quorvane::test
