#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane::cli
{

/** Writes a stereo 32-bit float WAV file to a seekable stream, byte for byte as the framework's
    WAV writer does for the same samples without metadata, but interleaving each block with vector
    code instead of one sample at a time through the framework's generic converters (writing the
    output counts in every render's cost).

    The header has a fixed size of 104 bytes either way: a RIFF header with a JUNK chunk that holds
    the room of a ds64 chunk, rewritten in place as RF64 once the RIFF size (the data and 96
    bytes) no longer fits in 32 bits. */
class FloatWavWriter
{
public:
    static constexpr int headerSize = 104;
    using Header = std::array<uint8_t, headerSize>;

    /** The header of a file of this many stereo frames at this rate, as it must stand once the
        data is complete. */
    static Header header (uint64_t frames, double sampleRate);

    /** Writes the header of an empty file at the stream's position, which is where it is
        rewritten at the end; the stream must be able to seek back there. Frames gather,
        interleaved, until framesPerWrite of them are there; the stream then takes them in one
        write (a file stream straight to the file, without a copy into its own buffer), and the
        rest on finish(). */
    FloatWavWriter (std::unique_ptr<juce::OutputStream> stream, double sampleRate, int framesPerWrite);

    /** Closes the stream, without completing the header if finish() was not called. */
    ~FloatWavWriter();

    FloatWavWriter (const FloatWavWriter&) = delete;
    FloatWavWriter& operator= (const FloatWavWriter&) = delete;

    /** Appends n frames; false when the stream did not take the frames this handed to it, or an
        earlier write or the first header failed (nothing more is written then). */
    bool write (const float* left, const float* right, int n);

    /** Writes the frames still gathered, rewrites the header for the frames written and closes
        the stream; false when that fails or a write had failed before. */
    bool finish();

    /** The frames the stream has taken. */
    uint64_t framesWritten() const { return frames; }

private:
    bool writeHeader();
    bool writeGathered();

    std::unique_ptr<juce::OutputStream> out;
    double rate;
    int64_t headerPosition;
    std::vector<float> interleaved;
    int gathered = 0;
    uint64_t frames = 0;
    bool failed = false;
};

} // namespace quorvane::cli
