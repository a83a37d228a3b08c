#include "WavFileSink.h"

#include "AudioFileSource.h"

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace quorvane::cli
{

namespace
{
/** True when both names lead to one existing file (same device and inode). */
bool sameFile (const juce::File& a, const juce::File& b)
{
    struct stat sa {}, sb {};
    return ::stat (a.getFullPathName().toRawUTF8(), &sa) == 0 && ::stat (b.getFullPathName().toRawUTF8(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
} // namespace

WavFileSink::~WavFileSink() { discard(); }

void WavFileSink::discard()
{
    // Both close their stream before the temporary file is deleted.
    floatWriter.reset();
    writer.reset();
    temporary.reset();
}

std::string WavFileSink::open (const std::string& outputPath, const std::string& inputPath, double sampleRate,
                               int bitsPerSample, int maximumBlockSize)
{
    path = outputPath;
    target = fileFromArgument (outputPath);
    bits = bitsPerSample;
    const auto fail = [this] (const std::string& problem) {
        discard();
        return "cannot write output '" + path + "': " + problem;
    };

    if (target.isDirectory())
        return fail ("it is a directory");
    const auto folder = target.getParentDirectory();
    if (! folder.isDirectory())
        return fail ("the folder '" + folder.getFullPathName().toStdString() + "' does not exist");
    if (! inputPath.empty())
    {
        // Same path, or another name (a link) for the same file: either way the input would be lost.
        const auto input = fileFromArgument (inputPath);
        if (input == target || sameFile (input, target))
            return fail ("it is the input file, which would be overwritten");
    }

    temporary = std::make_unique<juce::TemporaryFile> (target, juce::TemporaryFile::useHiddenFile);
    auto stream = std::make_unique<juce::FileOutputStream> (temporary->getFile());
    if (stream->failedToOpen())
        return fail (stream->getStatus().getErrorMessage().toStdString());

    if (bits == 32)
    {
        // Writes of 64 KiB at least: larger than the file stream's own buffer, so each goes to the
        // file without a copy into it, and still few.
        constexpr int framesPerWrite = 8192;
        floatWriter = std::make_unique<FloatWavWriter> (std::move (stream), sampleRate,
                                                        std::max (framesPerWrite, maximumBlockSize));
        return {};
    }

    juce::WavAudioFormat wav;
    writer.reset (wav.createWriterFor (stream.get(), sampleRate, 2, bits, {}, 0));
    if (writer == nullptr)
        return fail ("the WAV writer rejected " + std::to_string (bits) + " bits at "
                     + juce::String (sampleRate, 0).toStdString() + " Hz");
    stream.release(); // now owned by the writer

    fixedLeft.assign ((size_t) maximumBlockSize, 0);
    fixedRight.assign ((size_t) maximumBlockSize, 0);
    return {};
}

bool WavFileSink::write (const float* const* channels, int n)
{
    if (floatWriter == nullptr && writer == nullptr)
        return false;

    if (floatWriter != nullptr)
    {
        // Float WAV takes the samples as they are.
        if (! floatWriter->write (channels[0], channels[1], n))
            return false;
    }
    else
    {
        // The writer expects integers left-justified in 32 bits and keeps the top bits; round here
        // so that the stored value is the nearest step, not a truncation.
        const double scale = std::ldexp (1.0, bits - 1) - 1.0;
        const int64_t shift = int64_t (1) << (32 - bits);
        int* fixed[2] = { fixedLeft.data(), fixedRight.data() };
        for (int ch = 0; ch < 2; ++ch)
            for (int k = 0; k < n; ++k)
            {
                float v = channels[ch][k];
                if (! std::isfinite (v))
                    v = 0.0f;
                if (std::abs (v) > 1.0f)
                {
                    ++clipped;
                    v = v > 0.0f ? 1.0f : -1.0f;
                }
                fixed[ch][k] = (int) (std::llround ((double) v * scale) * shift);
            }
        const int* data[3] = { fixed[0], fixed[1], nullptr };
        if (! writer->write (data, n))
            return false;
    }
    framesWritten += n;
    return true;
}

std::string WavFileSink::writeError() const
{
    return "cannot write output '" + path + "': writing failed (is the disk full?)";
}

std::string WavFileSink::commit()
{
    if (writer == nullptr && floatWriter == nullptr)
        return "cannot write output '" + path + "': the file is not open";

    // Either writes the final header and closes the file.
    bool finished = true;
    if (floatWriter != nullptr)
        finished = floatWriter->finish();
    floatWriter.reset();
    writer.reset();

    // A full disk can fail silently while the header is rewritten; the size tells.
    const int64_t dataBytes = framesWritten * 2 * (bits / 8);
    if (! finished || temporary->getFile().getSize() < dataBytes + 44)
    {
        discard();
        return writeError();
    }
    if (! temporary->overwriteTargetFileWithTemporary())
    {
        discard();
        return "cannot write output '" + path + "': the finished file could not be moved into place";
    }
    temporary.reset();
    return {};
}

} // namespace quorvane::cli
