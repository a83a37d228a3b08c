#include "DemoSignal.h"
#include "RenderSettings.h"
#include "Renderer.h"
#include "Usage.h"
#include "engine/VectorUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorvane::cli
{
namespace
{

ParseResult parse (std::vector<std::string> args) { return parseArguments (args); }

TEST (Arguments, OutputAloneRendersTheDemoWithReproducibleDefaults)
{
    const auto r = parse ({ "out.wav" });
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.command, Command::render);
    EXPECT_EQ (r.settings.source, SourceKind::demo);
    EXPECT_EQ (r.settings.outputPath, "out.wav");
    EXPECT_EQ (r.settings.blockSize, 512);
    EXPECT_EQ (r.settings.bits, 32);
    EXPECT_EQ (r.settings.rate, 48000.0);
    EXPECT_EQ (r.settings.seed, RenderSettings::defaultSeed);
    EXPECT_FALSE (r.settings.tailSeconds.has_value());
    EXPECT_TRUE (r.settings.parameters.empty());
}

TEST (Arguments, InputImpulseAndOptionForms)
{
    auto r = parse ({ "--block-size", "1000", "in.flac", "--bits=24", "out.WAV", "--seed", "4294967295", "-q" });
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.settings.source, SourceKind::file);
    EXPECT_EQ (r.settings.inputPath, "in.flac");
    EXPECT_EQ (r.settings.blockSize, 1000);
    EXPECT_EQ (r.settings.bits, 24);
    EXPECT_EQ (r.settings.seed, 4294967295u);
    EXPECT_TRUE (r.settings.quiet);

    r = parse ({ "--impulse", "--rate", "44100", "--tail", "1.5", "--", "-odd name.wav" });
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.settings.source, SourceKind::impulse);
    EXPECT_EQ (r.settings.rate, 44100.0);
    EXPECT_EQ (r.settings.tailSeconds, 1.5);
    EXPECT_EQ (r.settings.outputPath, "-odd name.wav");
}

TEST (Arguments, EveryModeIsReachableByNameAndNumber)
{
    for (int m = 0; m < modeCount; ++m)
    {
        EXPECT_EQ (parseModeName (std::to_string (m)), m);
        EXPECT_EQ (parseModeName (modeName (m)), m);
        const auto r = parse ({ "--mode", modeName (m), "o.wav" });
        ASSERT_TRUE (r.ok()) << r.error;
        ASSERT_EQ (r.settings.parameters.size(), 1u);
        EXPECT_EQ (r.settings.parameters[0].index, param::type);
        // The stored value must select the same mode in the engine.
        EXPECT_EQ (modeForTypeValue (finalPhysicalValues (r.settings)[param::type]), m);
    }
    EXPECT_EQ (parseModeName ("lv426"), 10);
    EXPECT_EQ (parseModeName ("DENSE_ROOM"), 11);
    EXPECT_EQ (parseModeName ("12"), -1);
    EXPECT_EQ (parseModeName (""), -1);
}

TEST (Arguments, SetTakesPhysicalUnitsAndLaterSettingsWin)
{
    const auto r = parse ({ "--set", "decay=4.5", "--set=highcut=100", "--set", "mix=30", "--set", "MIX=70", "o.wav" });
    ASSERT_TRUE (r.ok()) << r.error;
    const auto v = finalPhysicalValues (r.settings);
    EXPECT_NEAR (v[param::decay], 4.5f, 1e-4f);
    EXPECT_FLOAT_EQ (v[param::highCut], 100.0f);
    EXPECT_NEAR (v[param::mix], 70.0f, 1e-4f);
    EXPECT_FLOAT_EQ (v[param::lateSize], 0.5f); // untouched parameters keep their defaults
    for (const auto& p : r.settings.parameters)
        EXPECT_TRUE (p.normalised >= 0.0f && p.normalised <= 1.0f);
}

TEST (Arguments, MistakesGiveOneMessageNamingTheProblem)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        { {}, "missing OUTPUT" },
        { { "a.wav", "b.wav", "c.wav" }, "too many arguments" },
        { { "--frobnicate", "o.wav" }, "unknown option '--frobnicate'" },
        { { "o.wav", "--mode" }, "--mode needs a value" },
        { { "--mode", "12", "o.wav" }, "unknown mode '12'" },
        { { "--mode", "Cathedral", "o.wav" }, "unknown mode 'Cathedral'" },
        { { "--set", "size=1", "o.wav" }, "unknown parameter 'size'" },
        { { "--set", "decay", "o.wav" }, "ID=VALUE" },
        { { "--set", "decay=", "o.wav" }, "is not a number" },
        { { "--set", "decay=2s", "o.wav" }, "is not a number" },
        { { "--set", "decay=nan", "o.wav" }, "is not a number" },
        { { "--set", "decay=inf", "o.wav" }, "is not a number" },
        { { "--set", "decay=200", "o.wav" }, "decay must be between 0.1 and 100 s" },
        { { "--set", "mix=-1", "o.wav" }, "mix must be between 0 and 100" },
        { { "--block-size", "0", "o.wav" }, "--block-size" },
        { { "--block-size", "65537", "o.wav" }, "--block-size" },
        { { "--block-size", "12x", "o.wav" }, "--block-size" },
        { { "--bits", "8", "o.wav" }, "--bits expects 16, 24 or 32" },
        { { "--rate", "1000", "o.wav" }, "--rate" },
        { { "--rate", "44100.5", "o.wav" }, "--rate" },
        { { "--rate", "44100", "in.wav", "o.wav" }, "only without an input file" },
        { { "--impulse", "in.wav", "o.wav" }, "--impulse renders without an input file" },
        { { "--tail", "-1", "o.wav" }, "--tail" },
        { { "--tail", "3601", "o.wav" }, "--tail" },
        { { "--seed", "-1", "o.wav" }, "--seed" },
        { { "--seed", "4294967296", "o.wav" }, "--seed" },
        { { "--quiet=yes", "o.wav" }, "takes no value" },
        { { "out.flac" }, "must end in .wav" },
        { { "--save-preset", "p.xml" }, "must be named NAME.kpreset" },
        { { "--save-preset", "presets/.kpreset" }, "must be named NAME.kpreset" },
        { { "--preset", "a.kpreset", "--preset", "b.kpreset", "o.wav" }, "--preset may be given only once" },
        { { "--preset=", "o.wav" }, "--preset needs a file name" },
        { { "--save-preset", "p.kpreset", "--tail", "1" }, "--tail applies only when rendering" },
        { { "--impulse", "--save-preset", "p.kpreset" }, "--impulse applies only when rendering" },
        { { "--preset", "a.kpreset" }, "missing OUTPUT" },
    };
    for (const auto& [args, expected] : cases)
    {
        const auto r = parse (args);
        EXPECT_FALSE (r.ok()) << "accepted: " << ::testing::PrintToString (args);
        EXPECT_NE (r.error.find (expected), std::string::npos) << "message: " << r.error;
        EXPECT_EQ (r.error.find ('\n'), std::string::npos) << "message: " << r.error;
    }
}

TEST (Arguments, PresetOptionsWithAndWithoutRendering)
{
    auto r = parse ({ "--preset", "in.kpreset", "--mode", "1", "--save-preset", "Out.KPRESET", "o.wav" });
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.settings.presetPath, "in.kpreset");
    EXPECT_EQ (r.settings.savePresetPath, "Out.KPRESET");
    EXPECT_TRUE (r.settings.rendersAudio());

    r = parse ({ "--save-preset=My Room.kpreset", "--set", "decay=1", "-q" });
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_FALSE (r.settings.rendersAudio());
    EXPECT_EQ (r.settings.parameters.size(), 1u);

    // The tail follows the values a preset left in place, with the command line's on top.
    auto start = defaultNormalisedValues();
    start[param::decay] = toNormalised (parameterInfo (param::decay), 12.0f);
    const auto plain = parse ({ "o.wav" }).settings;
    EXPECT_LT (effectiveTailSeconds (plain, 48000.0), 12.0);
    EXPECT_GT (effectiveTailSeconds (plain, 48000.0, start), 12.0);
    EXPECT_LT (effectiveTailSeconds (r.settings, 48000.0, start), 12.0); // --set decay=1 wins
}

TEST (Arguments, HelpAndListWinOverOtherMistakes)
{
    EXPECT_EQ (parse ({ "--list-presets", "--tail", "x" }).command, Command::listPresets);
    EXPECT_EQ (parse ({ "--bogus", "-h" }).command, Command::help);
    EXPECT_EQ (parse ({ "--list", "--mode", "nope" }).command, Command::list);
    EXPECT_TRUE (parse ({ "--list" }).ok());

    const auto list = listText();
    for (int m = 0; m < modeCount; ++m)
        EXPECT_NE (list.find (modeName (m)), std::string::npos);
    for (const auto& info : parameterInfo())
        EXPECT_NE (list.find (info.identifier), std::string::npos);
    EXPECT_NE (helpText().find ("--seed N"), std::string::npos);
}

TEST (Arguments, AutomaticTailFollowsTheSettingsButIsCapped)
{
    auto settings = parse ({ "o.wav" }).settings;
    const double standard = effectiveTailSeconds (settings, 48000.0);
    EXPECT_GT (standard, 2.0); // at least the 2 s default decay
    EXPECT_LT (standard, RenderSettings::maximumAutomaticTail);

    settings = parse ({ "--set", "decay=10", "o.wav" }).settings;
    EXPECT_GT (effectiveTailSeconds (settings, 48000.0), standard);

    settings = parse ({ "--set", "decay=100", "o.wav" }).settings;
    EXPECT_EQ (effectiveTailSeconds (settings, 48000.0), RenderSettings::maximumAutomaticTail);

    settings = parse ({ "--set", "decay=100", "--tail", "45", "o.wav" }).settings;
    EXPECT_EQ (effectiveTailSeconds (settings, 48000.0), 45.0);
}

TEST (DemoSignal, IsAStereoPhraseAtMinusSixDecibels)
{
    const auto demo = synthesiseDemo (44100.0);
    ASSERT_EQ (demo.left.size(), (size_t) std::llround (demoSeconds * 44100.0));
    ASSERT_EQ (demo.right.size(), demo.left.size());

    float peak = 0.0f;
    double difference = 0.0;
    for (size_t k = 0; k < demo.left.size(); ++k)
    {
        ASSERT_TRUE (std::isfinite (demo.left[k]) && std::isfinite (demo.right[k]));
        peak = std::max ({ peak, std::abs (demo.left[k]), std::abs (demo.right[k]) });
        difference += std::abs (demo.left[k] - demo.right[k]);
    }
    EXPECT_NEAR (peak, 0.5f, 1e-6f);
    EXPECT_GT (difference, 1.0); // panned voices: the sides differ

    // Every half second of the phrase has something in it.
    for (size_t start = 0; start + 22050 <= demo.left.size(); start += 22050)
    {
        float local = 0.0f;
        for (size_t k = start; k < start + 22050; ++k)
            local = std::max (local, std::abs (demo.left[k]));
        EXPECT_GT (local, 0.01f) << "silent from sample " << start;
    }
}

} // namespace
} // namespace quorvane::cli

TEST (Renderer, BlockScanFindsThePeakAndAnyNonFiniteSample)
{
    // Every length up to a few vectors of either unit, the loudest sample in each position, odd
    // values anywhere.
    const auto unitBefore = quorvane::activeVectorUnit();
    for (const auto unit : { quorvane::VectorUnit::baseline, quorvane::VectorUnit::avx2 })
    {
        if (! quorvane::canRun (unit))
            continue;
        quorvane::selectVectorUnit (unit);
        for (int n = 0; n <= 41; ++n)
            for (int loud = 0; loud < std::max (1, n); ++loud)
                for (float odd : { 0.0f, -0.0f, NAN, INFINITY, -INFINITY })
                {
                    std::vector<float> x ((size_t) n);
                    for (int k = 0; k < n; ++k)
                        x[(size_t) k] = (k % 2 == 0 ? 0.25f : -0.25f) * (float) (k + 1) / 16.0f;
                    if (n > 0)
                        x[(size_t) loud] = -0.9f;
                    if (n > 1)
                        x[(size_t) ((loud + 1) % n)] = odd;
                    float expectedPeak = 0.125f;
                    bool expectedFinite = true;
                    for (float v : x)
                    {
                        expectedPeak = std::max (expectedPeak, std::fabs (v));
                        expectedFinite = expectedFinite && std::isfinite (v);
                    }
                    float peak = 0.125f;
                    bool finite = true;
                    const float* block = x.data();
                    quorvane::cli::scanBlocks (&block, 1, n, peak, finite);
                    ASSERT_EQ (peak, expectedPeak) << "n = " << n << ", loud at " << loud << ", odd " << odd;
                    ASSERT_EQ (finite, expectedFinite) << "n = " << n << ", odd " << odd;
                    // With a quieter, finite block beside it, in one pass: the same verdict.
                    std::vector<float> quiet ((size_t) n, 0.0625f);
                    const float* blocks[2] = { quiet.data(), x.data() };
                    peak = 0.125f;
                    finite = true;
                    quorvane::cli::scanBlocks (blocks, 2, n, peak, finite);
                    ASSERT_EQ (peak, expectedPeak) << "two blocks, n = " << n << ", odd " << odd;
                    ASSERT_EQ (finite, expectedFinite) << "two blocks, n = " << n << ", odd " << odd;
                }
    }
    quorvane::selectVectorUnit (unitBefore);
}
