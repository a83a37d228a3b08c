#include "CliTestSupport.h"
#include "FloatWavWriter.h"
#include "WavFileSink.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace quorvane::cli
{
namespace
{

/** Stereo blocks of the given lengths; random bit patterns (NaNs with payloads, infinities and
    denormals among them) unless finite ones are asked for. */
struct Blocks
{
    std::vector<std::vector<float>> left, right;

    Blocks (const std::vector<int>& lengths, uint32_t seed, bool finite = false)
    {
        std::mt19937 random (seed);
        std::uniform_real_distribution<float> level (-1.5f, 1.5f);
        auto sample = [&] {
            if (finite)
                return level (random);
            const uint32_t bits = random();
            float v;
            std::memcpy (&v, &bits, sizeof v);
            return v;
        };
        for (int n : lengths)
        {
            left.emplace_back();
            right.emplace_back();
            for (int k = 0; k < n; ++k)
            {
                left.back().push_back (sample());
                right.back().push_back (sample());
            }
        }
    }

    /** Every block through the framework's own WAV writer. */
    juce::MemoryBlock throughFramework (double rate) const
    {
        juce::MemoryBlock bytes;
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (new juce::MemoryOutputStream (bytes, false), rate, 2, 32, {}, 0));
        EXPECT_NE (writer, nullptr);
        for (size_t b = 0; b < left.size(); ++b)
        {
            const int* data[3] = { reinterpret_cast<const int*> (left[b].data()),
                                   reinterpret_cast<const int*> (right[b].data()), nullptr };
            EXPECT_TRUE (writer->write (data, (int) left[b].size()));
        }
        writer.reset(); // the final header, and the stream trims the block to what was written
        return bytes;
    }

    /** Every block through ours; true when every write and the finish succeeded. */
    bool through (FloatWavWriter& writer) const
    {
        bool ok = true;
        for (size_t b = 0; b < left.size(); ++b)
            ok = writer.write (left[b].data(), right[b].data(), (int) left[b].size()) && ok;
        return writer.finish() && ok;
    }

    juce::MemoryBlock throughOurs (double rate, int maximumBlockSize) const
    {
        juce::MemoryBlock bytes;
        FloatWavWriter writer (std::make_unique<juce::MemoryOutputStream> (bytes, false), rate, maximumBlockSize);
        EXPECT_TRUE (through (writer));
        return bytes;
    }
};

std::vector<uint8_t> asVector (const juce::MemoryBlock& m)
{
    const auto* p = static_cast<const uint8_t*> (m.getData());
    return { p, p + m.getSize() };
}

TEST (FloatWavWriter, WritesTheFrameworkWritersBytes)
{
    struct Case
    {
        std::vector<int> lengths;
        int maximumBlockSize;
    };
    const std::vector<Case> cases {
        { {}, 256 },                              // nothing written: the header alone
        { { 0 }, 256 },                           // an empty block
        { { 1 }, 256 },
        { { 3 }, 256 },                           // shorter than one vector
        { { 5, 4, 7 }, 8 },                       // vector and leftover frames in each block
        { { 256, 3, 256, 1, 0, 255, 256 }, 256 }, // the renderer's pattern, with an odd end
        { { 1000, 17 }, 256 },                    // longer than the scratch buffer: in pieces
    };
    uint32_t seed = 1;
    for (const double rate : { 48000.0, 44100.0, 22050.75 }) // the last as a fractional AIFF rate
        for (size_t i = 0; i < cases.size(); ++i)
        {
            const Blocks blocks (cases[i].lengths, seed++);
            const auto theirs = asVector (blocks.throughFramework (rate));
            const auto ours = asVector (blocks.throughOurs (rate, cases[i].maximumBlockSize));
            ASSERT_EQ (ours.size(), theirs.size()) << rate << " Hz, case " << i;
            EXPECT_EQ (ours, theirs) << rate << " Hz, case " << i;
        }
}

TEST (FloatWavWriter, ReadsBackThroughTheFrameworkReader)
{
    ::quorvane::cli::test::ScratchDirectory dir;
    const auto file = juce::File ((dir / "out.wav").string());
    const Blocks blocks ({ 64, 64, 3, 64, 1 }, 99, true);
    {
        FloatWavWriter writer (std::make_unique<juce::FileOutputStream> (file), 96000.0, 64);
        ASSERT_TRUE (blocks.through (writer));
        EXPECT_EQ (writer.framesWritten(), 196u);
    }

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->sampleRate, 96000.0);
    EXPECT_EQ (reader->numChannels, 2u);
    EXPECT_EQ (reader->bitsPerSample, 32u);
    EXPECT_TRUE (reader->usesFloatingPointData);
    ASSERT_EQ (reader->lengthInSamples, 196);

    juce::AudioBuffer<float> back (2, 196);
    ASSERT_TRUE (reader->read (&back, 0, 196, 0, true, true));
    int at = 0;
    for (size_t b = 0; b < blocks.left.size(); ++b)
        for (size_t k = 0; k < blocks.left[b].size(); ++k, ++at)
        {
            ASSERT_EQ (back.getSample (0, at), blocks.left[b][k]) << "frame " << at;
            ASSERT_EQ (back.getSample (1, at), blocks.right[b][k]) << "frame " << at;
        }
}

uint32_t u32At (const FloatWavWriter::Header& h, size_t at)
{
    return (uint32_t) h[at] | (uint32_t) h[at + 1] << 8 | (uint32_t) h[at + 2] << 16 | (uint32_t) h[at + 3] << 24;
}
uint16_t u16At (const FloatWavWriter::Header& h, size_t at) { return (uint16_t) (h[at] | h[at + 1] << 8); }
uint64_t u64At (const FloatWavWriter::Header& h, size_t at)
{
    return (uint64_t) u32At (h, at) | (uint64_t) u32At (h, at + 4) << 32;
}
std::string idAt (const FloatWavWriter::Header& h, size_t at)
{
    return std::string (h.begin() + (long) at, h.begin() + (long) at + 4);
}

TEST (FloatWavWriter, HeaderTurnsRf64OnceItsSizesNoLongerFitThirtyTwoBits)
{
    // The RIFF size is the data size plus 96: the last plain RIFF length is the one whose RIFF
    // size still fits, the JUNK chunk still holding the room.
    const uint64_t lastRiff = (0xffffffffu - 96u) / 8; // frames of 8 bytes
    const auto riff = FloatWavWriter::header (lastRiff, 48000.0);
    EXPECT_EQ (idAt (riff, 0), "RIFF");
    EXPECT_EQ (u32At (riff, 4), (uint32_t) (lastRiff * 8 + 96));
    EXPECT_GE (u32At (riff, 4), 0xffffff00u);
    EXPECT_EQ (idAt (riff, 12), "JUNK");
    EXPECT_EQ (idAt (riff, 72), "fmt ");
    EXPECT_EQ (u16At (riff, 80), 3); // IEEE float
    EXPECT_EQ (idAt (riff, 96), "data");
    EXPECT_EQ (u32At (riff, 100), (uint32_t) (lastRiff * 8));

    const uint64_t fourGibibytes = (uint64_t (1) << 32) / 8;
    // From the next length on RF64: first the lengths whose data size still fits but whose RIFF
    // size would wrap round, then those past 4 GiB of data.
    for (const uint64_t frames :
         { lastRiff + 1, fourGibibytes - 1, fourGibibytes, fourGibibytes + 3, uint64_t (3) << 31 })
    {
        SCOPED_TRACE (frames);
        const auto h = FloatWavWriter::header (frames, 44100.0);
        EXPECT_EQ (idAt (h, 0), "RF64");
        EXPECT_EQ (u32At (h, 4), 0xffffffffu);
        EXPECT_EQ (idAt (h, 8), "WAVE");
        EXPECT_EQ (idAt (h, 12), "ds64");
        EXPECT_EQ (u32At (h, 16), 28u);
        EXPECT_EQ (u64At (h, 20), frames * 8 + 96); // the RIFF size, now in 64 bits
        EXPECT_EQ (u64At (h, 28), frames * 8);      // the data size
        EXPECT_EQ (u64At (h, 36), 0u);              // frame count: left at zero, as the framework does
        EXPECT_EQ (u32At (h, 44), 0u);              // no table

        EXPECT_EQ (idAt (h, 48), "fmt ");
        EXPECT_EQ (u32At (h, 52), 40u);
        EXPECT_EQ (u16At (h, 56), 0xfffe); // extensible
        EXPECT_EQ (u16At (h, 58), 2);
        EXPECT_EQ (u32At (h, 60), 44100u);
        EXPECT_EQ (u32At (h, 64), 44100u * 8);
        EXPECT_EQ (u16At (h, 68), 8);
        EXPECT_EQ (u16At (h, 70), 32);
        EXPECT_EQ (u16At (h, 72), 22);
        EXPECT_EQ (u16At (h, 74), 32);
        EXPECT_EQ (u32At (h, 76), 0u); // channel mask: none for stereo
        const uint8_t ieeeFloat[16] = { 3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71 };
        EXPECT_EQ (std::memcmp (h.data() + 80, ieeeFloat, 16), 0);

        EXPECT_EQ (idAt (h, 96), "data");
        EXPECT_EQ (u32At (h, 100), 0xffffffffu);

        // The framework's reader takes the length from the ds64 chunk (it needs only the header).
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatReader> reader (
            wav.createReaderFor (new juce::MemoryInputStream (h.data(), h.size(), false), true));
        ASSERT_NE (reader, nullptr);
        EXPECT_EQ ((uint64_t) reader->lengthInSamples, frames);
        EXPECT_EQ (reader->numChannels, 2u);
        EXPECT_EQ (reader->sampleRate, 44100.0);
        EXPECT_TRUE (reader->usesFloatingPointData);
    }
}

/** An output stream into memory that takes only so many bytes, and may refuse to seek. */
class FailingStream final : public juce::OutputStream
{
public:
    FailingStream (std::vector<uint8_t>& out, size_t capacityToUse, bool canSeek)
        : bytes (out), capacity (capacityToUse), seekable (canSeek)
    {
    }

    bool write (const void* p, size_t n) override
    {
        if (position + n > capacity)
            return false;
        if (bytes.size() < position + n)
            bytes.resize (position + n);
        std::memcpy (bytes.data() + position, p, n);
        position += n;
        return true;
    }
    bool setPosition (juce::int64 p) override
    {
        if (! seekable)
            return false;
        position = (size_t) p;
        return true;
    }
    juce::int64 getPosition() override { return (juce::int64) position; }
    void flush() override {}

private:
    std::vector<uint8_t>& bytes;
    size_t capacity, position = 0;
    bool seekable;
};

TEST (FloatWavWriter, FailedWritesAndHeadersAreReported)
{
    const Blocks blocks ({ 16, 16, 16 }, 5, true);
    const float* l = blocks.left[0].data();
    const float* r = blocks.right[0].data();

    {
        // Room for the header and one block: the second fails, and so does every later one.
        std::vector<uint8_t> bytes;
        FloatWavWriter writer (std::make_unique<FailingStream> (bytes, 104 + 16 * 8, true), 48000.0, 16);
        EXPECT_TRUE (writer.write (l, r, 16));
        EXPECT_FALSE (writer.write (l, r, 16));
        EXPECT_FALSE (writer.write (l, r, 1));
        EXPECT_EQ (writer.framesWritten(), 16u);
        EXPECT_FALSE (writer.finish());
        // What was written still has a header that tells its length.
        ASSERT_EQ (bytes.size(), 104u + 16 * 8);
        EXPECT_EQ (bytes[100], 16 * 8);
    }
    {
        // Frames still gathered when the stream fills: finish reports it, and the header tells
        // what the stream took.
        std::vector<uint8_t> bytes;
        FloatWavWriter writer (std::make_unique<FailingStream> (bytes, 104 + 20 * 8, true), 48000.0, 16);
        EXPECT_TRUE (writer.write (l, r, 12));
        EXPECT_TRUE (writer.write (l, r, 12)); // 16 written, 8 gathered
        EXPECT_EQ (writer.framesWritten(), 16u);
        EXPECT_FALSE (writer.finish());
        ASSERT_EQ (bytes.size(), 104u + 16 * 8);
        EXPECT_EQ (bytes[100], 16 * 8);
    }
    {
        // No room for the header: nothing can be written.
        std::vector<uint8_t> bytes;
        FloatWavWriter writer (std::make_unique<FailingStream> (bytes, 50, true), 48000.0, 16);
        EXPECT_FALSE (writer.write (l, r, 16));
        EXPECT_FALSE (writer.finish());
    }
    {
        // A stream that cannot seek back cannot get its final header.
        std::vector<uint8_t> bytes;
        FloatWavWriter writer (std::make_unique<FailingStream> (bytes, 1 << 20, false), 48000.0, 16);
        EXPECT_TRUE (writer.write (l, r, 16));
        EXPECT_FALSE (writer.finish());
    }
}

TEST (WavFileSink, FloatFileAppearsOnlyOnCommitAndNothingIsLeftWithout)
{
    ::quorvane::cli::test::ScratchDirectory dir;
    const auto target = (dir / "out.wav").string();
    const Blocks blocks ({ 5, 8, 3 }, 11, true);
    auto writeAll = [&] (WavFileSink& sink) {
        for (size_t b = 0; b < blocks.left.size(); ++b)
        {
            const float* channels[2] = { blocks.left[b].data(), blocks.right[b].data() };
            ASSERT_TRUE (sink.write (channels, (int) blocks.left[b].size()));
        }
    };

    {
        WavFileSink sink;
        ASSERT_EQ (sink.open (target, {}, 48000.0, 32, 8), "");
        writeAll (sink);
        // Abandoned: the temporary file goes with the sink.
    }
    EXPECT_TRUE (dir.entries().empty());

    WavFileSink sink;
    ASSERT_EQ (sink.open (target, {}, 48000.0, 32, 8), "");
    writeAll (sink);
    EXPECT_FALSE (std::filesystem::exists (target));
    ASSERT_EQ (sink.commit(), "");
    EXPECT_EQ (dir.entries(), std::vector<std::string> { "out.wav" });
    const auto expected = asVector (blocks.throughFramework (48000.0));
    std::ifstream in (target, std::ios::binary);
    const std::vector<uint8_t> written ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    EXPECT_EQ (written, expected);
}

} // namespace
} // namespace quorvane::cli
