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
    /** Opens the file, or returns nullptr and sets error to one line naming the problem. */
    static std::unique_ptr<AudioFileSource> open (const std::string& path, std::string& error);

    int numChannels() const override { return (int) reader->numChannels; }
    double sampleRate() const override { return reader->sampleRate; }
    int64_t lengthInSamples() const override { return reader->lengthInSamples; }
    bool read (float* const* dest, int n) override;
    const char* errorText() const override { return "the input file could not be read to its end"; }

    /** Name of the file's format, e.g. "WAV file". */
    juce::String formatName() const { return reader->getFormatName(); }

private:
    explicit AudioFileSource (std::unique_ptr<juce::AudioFormatReader> r) : reader (std::move (r)) {}

    std::unique_ptr<juce::AudioFormatReader> reader;
    int64_t position = 0;
};

} // namespace quorvane::cli
