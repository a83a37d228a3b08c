#include "CliTestSupport.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <sys/wait.h>

namespace quorvane::cli::test
{

namespace
{
std::string shellQuoted (const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string ("'\\''") : std::string (1, c);
    return out + "'";
}
} // namespace

ProgramRun runRenderer (const std::vector<std::string>& args, const RunOptions& options)
{
    ScratchDirectory scratch;
    const auto outputFile = scratch / "stdout.txt";

    std::string command;
    if (! options.home.empty())
        command = "HOME=" + shellQuoted (options.home) + " ";
    command += shellQuoted (QUORVANE_RENDER_BINARY);
    for (const auto& a : args)
        command += " " + shellQuoted (a);
    command += " 2>&1 >" + (options.captureOutput ? shellQuoted (outputFile.string()) : std::string ("/dev/null"));

    ProgramRun run;
    FILE* pipe = ::popen (command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char chunk[512];
    while (size_t n = std::fread (chunk, 1, sizeof (chunk), pipe))
        run.errors.append (chunk, n);
    const int status = ::pclose (pipe);
    run.status = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
    if (options.captureOutput)
        run.output = readText (outputFile);
    return run;
}

std::string readText (const std::filesystem::path& file)
{
    std::ifstream in (file, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

Audio readAudio (const std::filesystem::path& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (juce::File (file.string())));
    Audio audio;
    if (reader == nullptr)
        return audio;

    juce::AudioBuffer<float> buffer ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, true);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        audio.channels.emplace_back (buffer.getReadPointer (ch), buffer.getReadPointer (ch) + buffer.getNumSamples());
    audio.sampleRate = reader->sampleRate;
    audio.bits = (int) reader->bitsPerSample;
    audio.isFloat = reader->usesFloatingPointData;
    return audio;
}

void writeAudio (const std::filesystem::path& file, const std::vector<std::vector<float>>& channels, double rate,
                 int bits)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    auto* format = formats.findFormatForFileExtension (juce::String (file.extension().string()));
    if (format == nullptr)
        return;
    auto stream = std::make_unique<juce::FileOutputStream> (juce::File (file.string()));
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format->createWriterFor (stream.get(), rate, (unsigned) channels.size(), bits, {}, 0));
    if (writer == nullptr)
        return;
    stream.release();
    std::vector<const float*> pointers;
    for (const auto& c : channels)
        pointers.push_back (c.data());
    writer->writeFromFloatArrays (pointers.data(), (int) pointers.size(), (int) channels[0].size());
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-cli-XXXXXX").string();
    if (::mkdtemp (pattern.data()) != nullptr)
        path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    if (! path.empty())
        std::filesystem::remove_all (path, ignored);
}

std::vector<std::string> ScratchDirectory::entries() const
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator (path))
        names.push_back (e.path().filename().string());
    std::sort (names.begin(), names.end());
    return names;
}

bool allFinite (const Audio& audio)
{
    for (const auto& c : audio.channels)
        for (float v : c)
            if (! std::isfinite (v))
                return false;
    return true;
}

Audio ProgramTest::render (std::vector<std::string> args, const std::string& output)
{
    args.push_back (at (output));
    args.push_back ("--quiet");
    const auto run = runRenderer (args);
    EXPECT_EQ (run.status, 0) << run.errors;
    return readAudio (dir / output);
}

void ProgramTest::expectFailure (const std::vector<std::string>& args, const std::string& expected)
{
    const auto before = dir.entries();
    const auto run = runRenderer (args);
    EXPECT_EQ (run.status, 2) << run.errors;
    EXPECT_EQ (run.errors.rfind ("quorvane-render: ", 0), 0u) << run.errors;
    EXPECT_EQ (std::count (run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_NE (run.errors.find (expected), std::string::npos) << run.errors;
    EXPECT_EQ (dir.entries(), before) << "a failed run changed the scratch folder";
}

} // namespace quorvane::cli::test
