#include "AudioFileSource.h"

#include "RenderSettings.h"

#include <algorithm>

namespace quorvane::cli
{

juce::File fileFromArgument (const std::string& path)
{
    // juce::File insists on absolute paths; resolve relative ones the way a shell user means them.
    return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str()));
}

std::unique_ptr<AudioFileSource> AudioFileSource::open (const std::string& path, std::string& error,
                                                        std::string& warning)
{
    const auto file = fileFromArgument (path);
    auto fail = [&] (const std::string& problem) {
        error = "cannot read input '" + path + "': " + problem;
        return std::unique_ptr<AudioFileSource>();
    };

    if (! file.exists())
        return fail ("no such file");
    if (file.isDirectory())
        return fail ("it is a directory");

    {
        juce::FileInputStream probe (file);
        if (probe.failedToOpen())
            return fail (probe.getStatus().getErrorMessage().toStdString());
    }

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
        return fail ("not a WAV, AIFF or FLAC file, or damaged");

    const auto channels = (int) reader->numChannels;
    if (channels < 1 || channels > 2)
        return fail ("it has " + std::to_string (channels) + " channels; only mono and stereo are supported");

    const double rate = reader->sampleRate;
    if (! (rate >= minimumRate && rate <= maximumRate))
        return fail ("its sample rate " + juce::String (rate, 0).toStdString() + " Hz is outside "
                       + juce::String (minimumRate, 0).toStdString() + ".." + juce::String (maximumRate, 0).toStdString()
                       + " Hz");
    if (reader->lengthInSamples < 0)
        return fail ("its length is invalid");

    // Uncompressed samples cannot outnumber the file's bytes: a header that claims more (a
    // damaged or cut-off file) would otherwise be rendered as hours of invented silence.
    int64_t length = reader->lengthInSamples;
    const bool uncompressed = reader->getFormatName() != "FLAC file";
    const int64_t frameBytes = (int64_t) channels * (int64_t) std::max (1u, reader->bitsPerSample / 8);
    if (uncompressed && length > file.getSize() / frameBytes)
    {
        const int64_t present = file.getSize() / frameBytes;
        warning = "input '" + path + "': its header claims " + std::to_string (length) + " samples but the file holds "
                  + "at most " + std::to_string (present) + "; rendering the samples present";
        length = present;
    }

    return std::unique_ptr<AudioFileSource> (new AudioFileSource (std::move (reader), length));
}

bool AudioFileSource::read (float* const* dest, int n)
{
    if (! reader->read (dest, (int) reader->numChannels, position, n))
        return false;
    position += n;
    return true;
}

} // namespace quorvane::cli
