#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::cli::test
{

/** Exit status and standard error of one run of quorvane-render. */
struct ProgramRun
{
    int status = -1;
    std::string errors;
};

/** Runs the built quorvane-render with these arguments (stdout discarded). */
ProgramRun runRenderer (const std::vector<std::string>& args);

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

} // namespace quorvane::cli::test
