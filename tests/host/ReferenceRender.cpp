#include "ReferenceRender.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>

namespace quorvane::hosttest
{

namespace
{
/** Runs quorvane-render with 32-bit float output into a temporary file and reads it back. */
ReferenceRender runRenderer (juce::StringArray args, int blockSize, double tailSeconds,
                             const juce::StringArray& settings)
{
    ReferenceRender result;
    juce::TemporaryFile wav (".wav");

    args.insert (0, QUORVANE_RENDER_PATH);
    args.addArray ({ "--quiet", "--block-size", juce::String (blockSize), "--bits", "32",
                     "--tail", juce::String (tailSeconds, 6) });
    for (const auto& s : settings)
        args.addArray ({ "--set", s });
    args.add (wav.getFile().getFullPathName());

    juce::ChildProcess renderer;
    if (! renderer.start (args))
    {
        result.error = "could not start " + args.joinIntoString (" ");
        return result;
    }

    const auto output = renderer.readAllProcessOutput();
    if (! renderer.waitForProcessToFinish (60000) || renderer.getExitCode() != 0)
    {
        result.error = args.joinIntoString (" ") + " failed: " + output;
        return result;
    }

    juce::WavAudioFormat format;
    std::unique_ptr<juce::AudioFormatReader> reader (
        format.createReaderFor (wav.getFile().createInputStream().release(), true));

    if (reader == nullptr || reader->numChannels != 2 || ! reader->usesFloatingPointData)
    {
        result.error = "the renderer did not write a stereo floating-point WAV";
        return result;
    }

    result.sampleRate = reader->sampleRate;
    result.audio.setSize (2, (int) reader->lengthInSamples);
    reader->read (&result.audio, 0, (int) reader->lengthInSamples, 0, true, true);
    return result;
}
} // namespace

ReferenceRender ReferenceRender::impulse (double rate, int blockSize, double tailSeconds,
                                          const juce::StringArray& settings)
{
    return runRenderer ({ "--impulse", "--rate", juce::String (rate, 0) }, blockSize, tailSeconds, settings);
}

ReferenceRender ReferenceRender::file (const juce::AudioBuffer<float>& input, double rate, int blockSize,
                                       double tailSeconds, const juce::StringArray& settings)
{
    juce::TemporaryFile wav (".wav");
    {
        juce::WavAudioFormat format;
        std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (
            wav.getFile().createOutputStream().release(), rate, (unsigned int) input.getNumChannels(), 32, {}, 0));
        if (writer == nullptr || ! writer->writeFromAudioSampleBuffer (input, 0, input.getNumSamples()))
        {
            ReferenceRender failed;
            failed.error = "could not write the renderer's input file";
            return failed;
        }
    }
    return runRenderer ({ wav.getFile().getFullPathName() }, blockSize, tailSeconds, settings);
}

float maxAbsDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int numSamples)
{
    float worst = 0.0f;
    for (int ch = 0; ch < 2; ++ch)
        for (int k = 0; k < numSamples; ++k)
            worst = std::max (worst, std::abs (a.getSample (ch, k) - b.getSample (ch, k)));
    return worst;
}

int firstDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int numSamples)
{
    for (int k = 0; k < numSamples; ++k)
        for (int ch = 0; ch < 2; ++ch)
        {
            if (a.getSample (ch, k) != b.getSample (ch, k))
                return k;
        }
    return -1;
}

} // namespace quorvane::hosttest
