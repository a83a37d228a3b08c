#pragma once

#include "AudioStreams.h"
#include "FloatWavWriter.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>
#include <string>
#include <vector>

namespace quorvane::cli
{

/** Writes a stereo WAV file through a temporary file beside the target, which replaces the target
    only in commit(); until then (and after any failure) the target is untouched and the temporary
    file is removed when the sink is destroyed. */
class WavFileSink final : public SampleSink
{
public:
    WavFileSink() = default;
    ~WavFileSink() override;

    /** Creates the temporary file; returns an error line naming the problem, or an empty string.
        inputPath, if not empty, must not be the same file as the output. */
    std::string open (const std::string& outputPath, const std::string& inputPath, double sampleRate, int bits,
                      int maximumBlockSize);

    /** Appends n samples per channel; 16 and 24 bits are rounded and clipped to full scale. */
    bool write (const float* const* channels, int n) override;

    /** Finishes the file and moves it over the target; returns an error line or an empty string. */
    std::string commit();

    /** Samples (per channel, either side) clipped by the integer formats so far. */
    int64_t clippedSamples() const { return clipped; }

    /** Error line for a failed write. */
    std::string writeError() const;

private:
    void discard();

    std::string path;
    juce::File target;
    std::unique_ptr<juce::TemporaryFile> temporary;
    std::unique_ptr<FloatWavWriter> floatWriter; // 32 bits
    std::unique_ptr<juce::AudioFormatWriter> writer; // 16 and 24 bits
    int bits = 32;
    std::vector<int> fixedLeft, fixedRight;
    int64_t framesWritten = 0;
    int64_t clipped = 0;
};

} // namespace quorvane::cli
