#include "AudioFileSource.h"

#include "RenderSettings.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>

namespace quorvane::cli
{

namespace
{
/** The samples a FLAC file really holds, counted by decoding it up to `claimed`. The framework's
    reader takes the stream header's total on trust and pads whatever is missing with silence;
    decoding costs a small fraction of a render. */
int64_t decodableFlacSamples (const juce::File& file, int64_t claimed)
{
    struct Count
    {
        int64_t samples = 0;
        int64_t limit = 0;
    } count { 0, claimed };

    auto* decoder = FLAC__stream_decoder_new();
    if (decoder == nullptr)
        return 0;

    auto write = [] (const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const[], void* data)
    {
        auto& c = *static_cast<Count*> (data);
        c.samples += frame->header.blocksize;
        return c.samples >= c.limit ? FLAC__STREAM_DECODER_WRITE_STATUS_ABORT
                                    : FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    // Damaged frames are skipped, as the framework's reader skips them.
    auto error = [] (const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {};

    if (FLAC__stream_decoder_init_file (decoder, file.getFullPathName().toRawUTF8(), write, nullptr, error, &count)
        == FLAC__STREAM_DECODER_INIT_STATUS_OK)
        FLAC__stream_decoder_process_until_end_of_stream (decoder);

    FLAC__stream_decoder_delete (decoder);
    return std::min (count.samples, claimed);
}

/** Finds a WAV or AIFF chunk other than the sound data that claims more bytes than the file
    holds, and names it in `problem`. The framework's readers allocate what such a chunk claims
    before reading it: gigabytes for a file of a few hundred bytes. A sound data chunk that runs
    past the end is left to the length check. */
bool hasOverlongChunk (const juce::File& file, std::string& problem)
{
    juce::FileInputStream in (file);
    char head[12] {};
    if (in.failedToOpen() || in.read (head, 12) != 12)
        return false;

    const bool riff = std::memcmp (head, "RIFF", 4) == 0 || std::memcmp (head, "RF64", 4) == 0;
    if (! riff && std::memcmp (head, "FORM", 4) != 0)
        return false;

    const int64_t size = in.getTotalLength();
    for (int64_t pos = 12; pos + 8 <= size;)
    {
        char id[4] {};
        in.setPosition (pos);
        in.read (id, 4);
        const auto length = (int64_t) (uint32_t) (riff ? in.readInt() : in.readIntBigEndian());
        if (pos + 8 + length > size)
        {
            if (std::memcmp (id, riff ? "data" : "SSND", 4) == 0)
                return false;
            std::string name;
            for (const char c : id)
                name += (c >= 0x20 && c < 0x7f) ? c : '?';
            problem = "damaged: its '" + name + "' chunk claims " + std::to_string (length)
                      + " bytes but the file holds " + std::to_string (size - pos - 8) + " after it";
            return true;
        }
        pos += 8 + length + (length & 1);
    }
    return false;
}
} // namespace

juce::File fileFromArgument (const std::string& path)
{
    // juce::File insists on absolute paths; resolve relative ones the way a shell user means them.
    return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str()));
}

std::unique_ptr<AudioFileSource> AudioFileSource::open (const std::string& path, std::string& error,
                                                        std::string& warning)
{
    const auto file = fileFromArgument (path);
    auto fail = [&] (const std::string& problem)
    {
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

    // The three documented formats only: the basic set would also open Ogg Vorbis, whose
    // compressed length the checks below would cut to a fraction.
    if (std::string problem; hasOverlongChunk (file, problem))
        return fail (problem);

    juce::AudioFormatManager formats;
    formats.registerFormat (new juce::WavAudioFormat(), true);
    formats.registerFormat (new juce::AiffAudioFormat(), false);
    formats.registerFormat (new juce::FlacAudioFormat(), false);
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
    // A sample size the decoders cannot step through (0 bits divides by zero in the AIFF reader).
    const auto bits = reader->bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail ("its sample size of " + std::to_string (bits) + " bits is not supported");

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
    else if (! uncompressed && length > 0)
    {
        if (const int64_t present = decodableFlacSamples (file, length); present < length)
        {
            warning = "input '" + path + "': its header claims " + std::to_string (length) + " samples but only "
                      + std::to_string (present) + " can be decoded; rendering those";
            length = present;
        }
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
