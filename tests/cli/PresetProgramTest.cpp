#include "CliTestSupport.h"
#include "PresetFiles.h"

#include "engine/EngineParameters.h"
#include "processor/PresetDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <fstream>

namespace quorvane::cli::test
{
namespace
{

namespace fs = std::filesystem;

using PresetProgram = ProgramTest;

std::unique_ptr<juce::XmlElement> readPreset (const fs::path& file)
{
    return presetdoc::parsePresetText (juce::String::fromUTF8 (readText (file).c_str()));
}

/** The physical value a preset document holds for a parameter (NaN when it holds none). */
float physicalValue (const juce::XmlElement& preset, param::Index index)
{
    const auto value = presetdoc::readElement (preset).values[(size_t) index];
    return value ? toPhysical (parameterInfo (index), *value) : std::nanf ("");
}

TEST_F (PresetProgram, EveryFactoryPresetIsACompleteDocumentThatRenders)
{
    std::vector<fs::path> presets;
    for (const auto& folder : fs::directory_iterator (fs::path (QUORVANE_SOURCE_DIR) / "presets"))
        if (folder.is_directory())
            for (const auto& file : fs::directory_iterator (folder.path()))
                if (file.path().extension() == presetdoc::extension)
                    presets.push_back (file.path());
    ASSERT_GE (presets.size(), 2u) << "the factory set is missing";

    for (const auto& file : presets)
    {
        SCOPED_TRACE (file.string());
        const auto preset = readPreset (file);
        ASSERT_NE (preset, nullptr);
        // The menu shows the file name, the button the stored name: they must agree.
        EXPECT_EQ (preset->getStringAttribute ("presetName").toStdString(), file.stem().string());
        const auto contents = presetdoc::readElement (*preset);
        for (int i = 0; i < param::count; ++i)
            EXPECT_TRUE (contents.values[(size_t) i].has_value()) << parameterInfo (i).identifier;
        const int mode = (int) std::floor (physicalValue (*preset, param::type)) - 1;
        EXPECT_TRUE (mode >= 0 && mode < modeCount) << "type selects no mode of its own: " << mode;

        const auto ir = render ({ "--preset", file.string(), "--impulse", "--tail", "0.5" }, "ir.wav");
        ASSERT_EQ (ir.length(), 24000u);
        EXPECT_TRUE (allFinite (ir));
        float peak = 0.0f;
        for (const auto& channel : ir.channels)
            for (float v : channel)
                peak = std::max (peak, std::abs (v));
        EXPECT_GT (peak, 1e-4f) << "silent";
        EXPECT_LT (peak, 1.0f) << "a preset should not clip an impulse";
    }
}

TEST_F (PresetProgram, EveryModeHasFactoryPresetsThatSitInASensibleLevelWindow)
{
    // Level of the demo phrase through each preset against the phrase itself (mix 0 passes it
    // unchanged): a preset that is near silent or much louder than its input is a bad start.
    auto energyOf = [] (const auto& audio) {
        double e = 0.0;
        for (const auto& channel : audio.channels)
            for (float v : channel)
                e += (double) v * v;
        return e;
    };
    const double dry = energyOf (render ({ "--set", "mix=0", "--tail", "0" }, "dry.wav"));
    ASSERT_GT (dry, 0.0);

    std::vector<int> perMode ((size_t) modeCount, 0);
    double quietest = 1e9, loudest = -1e9;
    for (const auto& folder : fs::directory_iterator (fs::path (QUORVANE_SOURCE_DIR) / "presets"))
        for (const auto& file : fs::directory_iterator (folder.path()))
        {
            if (file.path().extension() != presetdoc::extension)
                continue;
            SCOPED_TRACE (file.path().string());
            const auto preset = readPreset (file.path());
            ASSERT_NE (preset, nullptr);
            const int mode = (int) std::floor (physicalValue (*preset, param::type)) - 1;
            ASSERT_TRUE (mode >= 0 && mode < modeCount);
            ++perMode[(size_t) mode];

            const auto out = render ({ "--preset", file.path().string(), "--tail", "0" }, "wet.wav");
            EXPECT_TRUE (allFinite (out));
            const double db = 10.0 * std::log10 (energyOf (out) / dry);
            quietest = std::min (quietest, db);
            loudest = std::max (loudest, db);
            EXPECT_GT (db, -24.0);
            EXPECT_LT (db, 6.0);
        }
    std::printf ("factory presets: level against the dry phrase from %.1f dB to %.1f dB\n", quietest, loudest);
    int total = 0;
    for (int m = 0; m < modeCount; ++m)
    {
        EXPECT_GE (perMode[(size_t) m], 2) << modeName (m);
        total += perMode[(size_t) m];
    }
    EXPECT_GE (total, 24);
}

TEST_F (PresetProgram, PresetsThatCannotBeUsedFailCleanly)
{
    std::ofstream (dir / "text.kpreset") << "decay = 3 s\n";
    std::ofstream (dir / "other.kpreset") << "<?xml version=\"1.0\"?>\n<OtherReverb decay=\"0.5\"/>\n";
    fs::create_directory (dir / "folder.kpreset");
    std::ofstream (dir / "huge.kpreset") << std::string (2 << 20, ' ');
    const auto out = at ("out.wav");

    expectFailure ({ "--preset", at ("none.kpreset"), "--impulse", out },
                   "cannot read preset '" + at ("none.kpreset") + "': no such file");
    expectFailure ({ "--preset", at ("text.kpreset"), "--impulse", out }, "'" + at ("text.kpreset") + "': not an XML");
    expectFailure ({ "--preset", at ("other.kpreset"), "--impulse", out }, "not a Quorvane preset");
    expectFailure ({ "--preset", at ("folder.kpreset"), "--impulse", out }, "it is a directory");
    expectFailure ({ "--preset", at ("huge.kpreset"), "--impulse", out }, "too large for a preset");
    // Saving needs an existing folder (outside the user's preset folder): neither file appears.
    expectFailure ({ "--impulse", "--save-preset", at ("nowhere/p.kpreset"), out }, "does not exist");
    expectFailure ({ "--save-preset", at ("nowhere/p.kpreset") }, "cannot write preset");
}

TEST_F (PresetProgram, SavedPresetRendersLikeTheSettingsItWasSavedFrom)
{
    const std::vector<std::string> rendering { "--impulse", "--tail", "0.5", "--seed", "5" };
    auto with = [&] (std::vector<std::string> extra) {
        extra.insert (extra.end(), rendering.begin(), rendering.end());
        return extra;
    };
    const std::vector<std::string> settings { "--set", "decay=3.3", "--set", "predelay=17", "--set", "mix=40",
                                              "--set", "lateModDepth=0.9", "--set", "HighCut=5000" };
    auto saving = settings;
    saving.insert (saving.end(), { "--save-preset", at ("Warm.kpreset") });

    const auto original = render (with (saving), "a.wav");
    const auto reloaded = render (with ({ "--preset", at ("Warm.kpreset") }), "b.wav");
    ASSERT_EQ (reloaded.length(), 24000u);
    EXPECT_EQ (original.channels, reloaded.channels);

    const auto saved = readPreset (dir / "Warm.kpreset");
    ASSERT_NE (saved, nullptr);
    EXPECT_EQ (saved->getStringAttribute ("presetName"), "Warm");

    // Saving alone renders nothing; --set applies on top of the preset, which supplies the rest.
    const auto run = runRenderer ({ "--preset", at ("Warm.kpreset"), "--set", "decay=5", "--save-preset",
                                    at ("Warmer.kpreset"), "--quiet" });
    ASSERT_EQ (run.status, 0) << run.errors;
    EXPECT_EQ (dir.entries(), (std::vector<std::string> { "Warm.kpreset", "Warmer.kpreset", "a.wav", "b.wav" }));
    const auto warmer = readPreset (dir / "Warmer.kpreset");
    ASSERT_NE (warmer, nullptr);
    EXPECT_NEAR (physicalValue (*warmer, param::decay), 5.0f, 1e-4f);
    EXPECT_NEAR (physicalValue (*warmer, param::predelay), 17.0f, 1e-3f);
    EXPECT_NEAR (physicalValue (*warmer, param::mix), 40.0f, 1e-3f);
}

TEST_F (PresetProgram, UserPresetFolderIsCreatedOnSaveAndListedFirst)
{
    const auto home = dir / "home";
    fs::create_directories (home / ".config");
    const auto userFolder = home / ".config/Brennwick/Quorvane/User Presets";
    const RunOptions asUser { home.string(), true };

    for (const auto* file : { "Mine.kpreset", "Drums/Snare Room.kpreset" })
    {
        const auto run = runRenderer ({ "--set", "decay=0.8", "--save-preset", (userFolder / file).string() }, asUser);
        ASSERT_EQ (run.status, 0) << run.errors;
        EXPECT_NE (readPreset (userFolder / file), nullptr) << file;
    }
    // Only the user folder and one sub-folder in it are made on demand.
    EXPECT_EQ (runRenderer ({ "--save-preset", (userFolder / "a/b/Deep.kpreset").string() }, asUser).status, 2);

    const auto listed = runRenderer ({ "--list-presets" }, asUser);
    ASSERT_EQ (listed.status, 0) << listed.errors;
    const auto& text = listed.output;
    const auto userHeader = text.find ("user presets in '" + userFolder.string() + "'");
    const auto factoryHeader = text.find ("factory presets");
    const auto mine = text.find ("  Mine ");
    const auto snare = text.find ("  Drums / Snare Room ");
    ASSERT_NE (userHeader, std::string::npos) << text;
    ASSERT_NE (factoryHeader, std::string::npos) << text;
    EXPECT_EQ (userHeader, 0u) << text;
    EXPECT_TRUE (mine > userHeader && mine < factoryHeader) << text;
    EXPECT_TRUE (snare > userHeader && snare < factoryHeader) << text;
    EXPECT_NE (text.find ((userFolder / "Drums/Snare Room.kpreset").string()), std::string::npos) << text;
}

TEST (PresetList, ShowsTheUserSectionThenEveryFactoryPresetWithItsFolder)
{
    ScratchDirectory user;
    const auto factory = fs::path (QUORVANE_SOURCE_DIR) / "presets";
    const auto text = presetListText (juce::File (user.path.string()), juce::File (factory.string()));

    EXPECT_EQ (text.rfind ("user presets in '" + user.path.string() + "':\n  (none)\n", 0), 0u) << text;
    const auto factoryHeader = text.find ("factory presets in '" + factory.string() + "':");
    ASSERT_NE (factoryHeader, std::string::npos) << text;
    for (const auto& folder : fs::directory_iterator (factory))
    {
        if (! folder.is_directory())
            continue;
        for (const auto& file : fs::directory_iterator (folder.path()))
            EXPECT_NE (text.find (folder.path().filename().string() + " / " + file.path().stem().string(),
                                  factoryHeader),
                       std::string::npos)
                << text;
    }
    EXPECT_EQ (presetListText ({}, {}).find ("(none: the folder does not exist)"), std::string::npos);
}

} // namespace
} // namespace quorvane::cli::test
