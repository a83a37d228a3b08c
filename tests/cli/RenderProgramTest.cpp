#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace quorvane::cli::test
{
namespace
{

using RenderProgram = ProgramTest;

TEST_F (RenderProgram, BadInputAndOutputFailCleanly)
{
    expectFailure ({ at ("missing.wav"), at ("out.wav") },
                   "cannot read input '" + at ("missing.wav") + "': no such file");
    expectFailure ({ "--mode", "Basement", at ("out.wav") }, "unknown mode 'Basement'");
    expectFailure ({ "--set", "predelay=501", at ("out.wav") }, "predelay must be between 0 and 500 ms");

    std::ofstream (dir / "text.wav") << "this is not audio\n";
    expectFailure ({ at ("text.wav"), at ("out.wav") }, "cannot read input '" + at ("text.wav") + "': not a WAV");

    // A metadata chunk claiming gigabytes, which the framework's reader would allocate.
    writeAudio (dir / "meta.wav", { { 0.1f, 0.2f } }, 48000.0);
    {
        std::ofstream meta (dir / "meta.wav", std::ios::binary | std::ios::app);
        meta.write ("bext\x00\x00\x00\xd0", 8);
    }
    expectFailure ({ at ("meta.wav"), at ("out.wav") }, "its 'bext' chunk claims 3489660928 bytes");

    // An AIFF header with a sample size of 0 bits, on which the framework's reader divides by zero.
    writeAudio (dir / "zero.aiff", { { 0.1f, 0.2f } }, 48000.0, 16);
    {
        std::fstream aiff (dir / "zero.aiff", std::ios::binary | std::ios::in | std::ios::out);
        aiff.seekp (26); // FORM, size, AIFF, COMM, size, channels, frames: then the sample size
        aiff.write ("\0\0", 2);
    }
    expectFailure ({ at ("zero.aiff"), at ("out.wav") }, "its sample size of 0 bits is not supported");

    writeAudio (dir / "three.wav", { { 0.1f, 0.2f }, { 0.1f, 0.2f }, { 0.1f, 0.2f } }, 48000.0);
    expectFailure ({ at ("three.wav"), at ("out.wav") }, "it has 3 channels");

    // Unwritable destinations: a missing folder, a folder under a plain file, the input itself.
    expectFailure ({ "--impulse", at ("nowhere/out.wav") }, "cannot write output");
    expectFailure ({ "--impulse", at ("text.wav") + "/out.wav" }, "cannot write output");
    writeAudio (dir / "in.wav", { { 0.5f, 0.25f } }, 48000.0);
    expectFailure ({ at ("in.wav"), at ("in.wav") }, "it is the input file");
    EXPECT_EQ (readAudio (dir / "in.wav").length(), 2u);
}

TEST_F (RenderProgram, AHeaderClaimingMoreThanTheFileHoldsRendersOnlyWhatIsThere)
{
    // A 4 kB WAV file whose header claims 2 GB of samples: only the samples present are rendered,
    // with a warning, instead of hours of invented silence.
    const uint32_t claimed = 0x7ffffff0u, rate = 48000, present = 2000;
    std::ofstream out (dir / "liar.wav", std::ios::binary);
    auto u32 = [&] (uint32_t v) { out.write (reinterpret_cast<const char*> (&v), 4); };
    auto u16 = [&] (uint16_t v) { out.write (reinterpret_cast<const char*> (&v), 2); };
    out.write ("RIFF", 4);
    u32 (claimed + 36);
    out.write ("WAVEfmt ", 8);
    u32 (16);
    u16 (1);
    u16 (1);
    u32 (rate);
    u32 (rate * 2);
    u16 (2);
    u16 (16);
    out.write ("data", 4);
    u32 (claimed);
    for (uint32_t i = 0; i < present; ++i)
        u16 ((uint16_t) (i % 100 == 0 ? 16000 : 0));
    out.close();

    const auto run = runRenderer ({ "--quiet", "--tail", "0", at ("liar.wav"), at ("out.wav") });
    EXPECT_EQ (run.status, 0) << run.errors;
    EXPECT_NE (run.errors.find ("header claims"), std::string::npos) << run.errors;
    const auto audio = readAudio (dir / "out.wav");
    EXPECT_GE (audio.length(), (size_t) present);
    EXPECT_LE (audio.length(), (size_t) present + 64);

    // The same for FLAC, whose stream header holds the total in its last 36 bits up to byte 25.
    writeAudio (dir / "liar.flac", { std::vector<float> (present, 0.0f) }, rate, 16);
    std::fstream flac (dir / "liar.flac", std::ios::binary | std::ios::in | std::ios::out);
    flac.seekp (22);
    for (int shift = 24; shift >= 0; shift -= 8)
        flac.put ((char) ((claimed >> shift) & 0xff));
    flac.close();
    const auto flacRun = runRenderer ({ "--quiet", "--tail", "0", at ("liar.flac"), at ("out.wav") });
    EXPECT_EQ (flacRun.status, 0) << flacRun.errors;
    EXPECT_NE (flacRun.errors.find ("header claims " + std::to_string (claimed)), std::string::npos) << flacRun.errors;
    const auto flacAudio = readAudio (dir / "out.wav");
    EXPECT_GE (flacAudio.length(), (size_t) present);
    EXPECT_LE (flacAudio.length(), (size_t) present + 64);
}

TEST_F (RenderProgram, FailedRenderLeavesAnExistingOutputUntouched)
{
    std::ofstream (dir / "keep.wav") << "previous contents";
    std::ofstream (dir / "bad.wav") << "not audio either";
    expectFailure ({ at ("bad.wav"), at ("keep.wav") }, "cannot read input");
    std::ifstream kept (dir / "keep.wav");
    std::string text;
    std::getline (kept, text);
    EXPECT_EQ (text, "previous contents");
}

TEST_F (RenderProgram, ImpulseResponseHasTheTailLengthAndTheWetDelay)
{
    const auto ir = render ({ "--impulse", "--tail", "0.5", "--set", "mix=100", "--set", "predelay=0" }, "ir.wav");
    ASSERT_EQ (ir.channels.size(), 2u);
    EXPECT_EQ (ir.sampleRate, 48000.0);
    EXPECT_TRUE (ir.isFloat);
    EXPECT_EQ (ir.length(), 24000u);
    EXPECT_TRUE (allFinite (ir));

    // Fully wet, the first 64 samples are silent: the wet path lags one 64-sample block. (The dry
    // gain at mix 100 is cos(pi/2) in single precision, about -147 dB, hence no exact zero.)
    for (const auto& c : ir.channels)
        for (size_t k = 0; k < 64; ++k)
            ASSERT_LT (std::abs (c[k]), 1e-6f) << "sample " << k;

    double energy = 0.0;
    for (const auto& c : ir.channels)
        for (float v : c)
            energy += (double) v * v;
    EXPECT_GT (energy, 1e-6) << "the reverb produced no response";
}

TEST_F (RenderProgram, SameSeedRepeatsWhateverTheBlockSize)
{
    const std::vector<std::string> common { "--tail", "0.3", "--seed", "7", "--mode", "Dark Room" };
    auto with = [&] (std::vector<std::string> extra) {
        extra.insert (extra.end(), common.begin(), common.end());
        return extra;
    };
    const auto first = render (with ({}), "a.wav");
    const auto again = render (with ({}), "b.wav");
    const auto tiny = render (with ({ "--block-size", "1" }), "c.wav");
    const auto large = render (with ({ "--block-size", "1000" }), "d.wav");

    ASSERT_EQ (first.length(), (size_t) std::llround (4.3 * 48000.0));
    EXPECT_TRUE (allFinite (first));
    EXPECT_EQ (first.channels, again.channels);
    EXPECT_EQ (tiny.channels, large.channels);
    EXPECT_EQ (first.channels, large.channels);
}

TEST_F (RenderProgram, MonoAiffAndStereoFlacInputsKeepTheirRateAndRouting)
{
    // Dry only (mix 0): once the gain glide has settled, the output is the input, a mono input on both sides.
    const double rate = 44100.0;
    std::vector<float> a (66150), b (66150);
    for (size_t k = 0; k < a.size(); ++k)
    {
        a[k] = 0.5f * (float) std::sin (0.05 * (double) k);
        b[k] = 0.3f * (float) std::sin (0.013 * (double) k);
    }
    writeAudio (dir / "mono.aiff", { a }, rate, 16);
    writeAudio (dir / "stereo.flac", { a, b }, rate, 24);

    const auto mono = render ({ at ("mono.aiff"), "--set", "mix=0", "--tail", "0.25" }, "m.wav");
    const auto stereo = render ({ at ("stereo.flac"), "--set", "mix=0", "--tail", "0.25" }, "s.wav");

    for (const auto* out : { &mono, &stereo })
    {
        ASSERT_EQ (out->channels.size(), 2u);
        EXPECT_EQ (out->sampleRate, rate);
        EXPECT_EQ (out->length(), a.size() + (size_t) std::llround (0.25 * rate));
        EXPECT_TRUE (allFinite (*out));
    }
    for (size_t k = 44100; k < a.size(); k += 97)
    {
        ASSERT_NEAR (mono.channels[0][k], a[k], 1e-3f) << k;
        ASSERT_NEAR (mono.channels[1][k], a[k], 1e-3f) << k;
        ASSERT_NEAR (stereo.channels[0][k], a[k], 1e-3f) << k;
        ASSERT_NEAR (stereo.channels[1][k], b[k], 1e-3f) << k;
    }
}

TEST_F (RenderProgram, IntegerFormatsHoldTheFloatRenderToTheirResolution)
{
    const std::vector<std::string> args { "--impulse", "--tail", "0.2", "--set", "decay=0.5" };
    const auto reference = render (args, "f.wav");
    for (int bits : { 16, 24 })
    {
        auto withBits = args;
        withBits.insert (withBits.end(), { "--bits", std::to_string (bits) });
        const auto out = render (withBits, "i" + std::to_string (bits) + ".wav");
        EXPECT_EQ (out.bits, bits);
        EXPECT_FALSE (out.isFloat);
        ASSERT_EQ (out.length(), reference.length());
        const float step = 1.0f / (float) ((1 << (bits - 1)) - 1);
        for (size_t ch = 0; ch < 2; ++ch)
            for (size_t k = 0; k < out.length(); ++k)
                ASSERT_NEAR (out.channels[ch][k], reference.channels[ch][k], step) << bits << " bits, sample " << k;
    }
}

} // namespace
} // namespace quorvane::cli::test
