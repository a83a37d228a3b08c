#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::cli::test
{

/** Exit status, standard error and (when asked for) standard output of one run of quorvane-render. */
struct ProgramRun
{
    int status = -1;
    std::string errors;
    std::string output;
};

/** How to run the program: HOME for it (empty: inherited) and whether to keep its standard output. */
struct RunOptions
{
    std::string home;
    bool captureOutput = false;
};

/** Runs the built quorvane-render with these arguments (stdout discarded unless captured). */
ProgramRun runRenderer (const std::vector<std::string>& args, const RunOptions& options = {});

/** The whole contents of a text file; empty if it cannot be read. */
std::string readText (const std::filesystem::path& file);

/** A decoded audio file: samples per channel plus its format. */
struct Audio
{
    std::vector<std::vector<float>> channels;
    double sampleRate = 0.0;
    int bits = 0;
    bool isFloat = false;

    size_t length() const { return channels.empty() ? 0 : channels[0].size(); }
};

/** Reads a WAV file completely; an empty Audio if it cannot be read. */
Audio readAudio (const std::filesystem::path& file);

/** Writes a WAV, AIFF or FLAC file (by the extension) with one vector per channel. */
void writeAudio (const std::filesystem::path& file, const std::vector<std::vector<float>>& channels, double rate,
                 int bits = 24);

/** A fresh directory under the system's temporary folder, removed with everything in it on destruction. */
class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();

    std::filesystem::path operator/ (const std::string& name) const { return path / name; }
    /** Names of the entries, to prove nothing was left behind. */
    std::vector<std::string> entries() const;

    std::filesystem::path path;
};

/** True when every sample of every channel is a finite number. */
bool allFinite (const Audio& audio);

/** Base of the tests that run the program: a scratch folder and runs that must succeed or fail. */
class ProgramTest : public ::testing::Test
{
protected:
    ScratchDirectory dir;

    /** The path of a file in the scratch folder. */
    std::string at (const std::string& name) const { return (dir / name).string(); }

    /** Runs a quiet render into output (a scratch file) that must succeed; returns what it wrote. */
    Audio render (std::vector<std::string> args, const std::string& output);

    /** Runs a command that must fail with exit status 2 and one message containing expected,
        leaving the scratch folder as it was. */
    void expectFailure (const std::vector<std::string>& args, const std::string& expected);
};

} // namespace quorvane::cli::test
