#pragma once

#include "AudioStreams.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>
#include <string>

namespace quorvane::cli
{

/** A juce::File for a path given on the command line, relative paths taken from the working directory. */
juce::File fileFromArgument (const std::string& path);

/** A mono or stereo WAV, AIFF or FLAC file read block by block. */
class AudioFileSource final : public SignalSource
{
public:
    /** Opens the file, or returns nullptr and sets error to one line naming the problem. A file
        whose header claims more samples than it can hold opens with only the samples it holds,
        and `warning` says so. */
    static std::unique_ptr<AudioFileSource> open (const std::string& path, std::string& error, std::string& warning);

    int numChannels() const override { return (int) reader->numChannels; }
    double sampleRate() const override { return reader->sampleRate; }
    int64_t lengthInSamples() const override { return length; }
    bool read (float* const* dest, int n) override;
    const char* errorText() const override { return "the input file could not be read to its end"; }

    /** Name of the file's format, e.g. "WAV file". */
    juce::String formatName() const { return reader->getFormatName(); }

private:
    AudioFileSource (std::unique_ptr<juce::AudioFormatReader> r, int64_t samples)
        : reader (std::move (r)), length (samples)
    {
    }

    std::unique_ptr<juce::AudioFormatReader> reader;
    int64_t length = 0;
    int64_t position = 0;
};

} // namespace quorvane::cli
