#include "FloatWavWriter.h"

#include "Lanes.h"
#include "VectorUnit.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(QUORVANE_HAS_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace quorvane::cli
{

namespace
{
constexpr uint64_t bytesPerFrame = 8; // two channels of 32-bit float
constexpr uint64_t rf64Threshold = uint64_t (1) << 32;

/** Fills a header front to back, little-endian like every field of the format. */
class HeaderBytes
{
public:
    explicit HeaderBytes (FloatWavWriter::Header& h) : bytes (h) {}

    void id (const char (&name)[5]) { put (name, 4); }
    void u16 (uint16_t v) { little (v, 2); }
    void u32 (uint32_t v) { little (v, 4); }
    void u64 (uint64_t v) { little (v, 8); }
    void zeros (size_t n)
    {
        std::memset (bytes.data() + at, 0, n);
        at += n;
    }
    void put (const void* p, size_t n)
    {
        std::memcpy (bytes.data() + at, p, n);
        at += n;
    }
    size_t size() const { return at; }

private:
    void little (uint64_t v, int n)
    {
        for (int k = 0; k < n; ++k)
            bytes[at++] = (uint8_t) (v >> (8 * k));
    }

    FloatWavWriter::Header& bytes;
    size_t at = 0;
};

/** Interleaves the frames from k on of the two channels into out (2 n floats). The samples are
    moved as bits, never computed on, so whatever the channels hold (NaN payloads included) is
    what gets stored, as the framework's writer stores it. */
void interleaveFrom (int k, const float* left, const float* right, float* out, int n) noexcept
{
#pragma GCC unroll 2
    for (; k + 4 <= n; k += 4)
    {
        const Lanes l = loadLanes (left + k), r = loadLanes (right + k);
#if defined(QUORVANE_SHUFFLES)
        storeLanes (out + 2 * k, __builtin_shufflevector (l, r, 0, 4, 1, 5));
        storeLanes (out + 2 * k + 4, __builtin_shufflevector (l, r, 2, 6, 3, 7));
#else
        storeLanes (out + 2 * k, Lanes { l[0], r[0], l[1], r[1] });
        storeLanes (out + 2 * k + 4, Lanes { l[2], r[2], l[3], r[3] });
#endif
    }
    for (; k < n; ++k)
    {
        std::memcpy (out + 2 * k, left + k, sizeof (float));
        std::memcpy (out + 2 * k + 1, right + k, sizeof (float));
    }
}

int interleaveBaseline (const float*, const float*, float*, int) noexcept { return 0; }

#if defined(QUORVANE_HAS_AVX2_KERNELS)
/** Eight frames at a time on the wider unit; returns how many it took. */
QUORVANE_AVX2 int interleaveAvx2 (const float* left, const float* right, float* out, int n) noexcept
{
    int k = 0;
    for (; k + 8 <= n; k += 8)
    {
        const __m256 l = _mm256_loadu_ps (left + k), r = _mm256_loadu_ps (right + k);
        // Frames 0, 1, 4, 5 and 2, 3, 6, 7, then the halves put in order.
        const __m256 low = _mm256_unpacklo_ps (l, r), high = _mm256_unpackhi_ps (l, r);
        _mm256_storeu_ps (out + 2 * k, _mm256_permute2f128_ps (low, high, 0x20));
        _mm256_storeu_ps (out + 2 * k + 8, _mm256_permute2f128_ps (low, high, 0x31));
    }
    return k;
}
#endif

void interleave (const float* left, const float* right, float* out, int n) noexcept
{
    interleaveFrom (QUORVANE_ON_VECTOR_UNIT (true, interleave, left, right, out, n), left, right, out, n);
}
} // namespace

FloatWavWriter::Header FloatWavWriter::header (uint64_t frames, double sampleRate)
{
    const uint64_t dataBytes = frames * bytesPerFrame;
    // Everything after the RIFF size field: WAVE, the 8 + 28 bytes of ds64 (or the JUNK chunk
    // keeping its room, which also covers the 24 bytes the short fmt chunk leaves of the long
    // one's 40), fmt, the data chunk.
    const uint64_t riffSize = 4 + (8 + 28) + (8 + 40) + 8 + dataBytes;
    // RF64 as soon as either size no longer fits its 32-bit field. (The framework's writer waits
    // for the data size alone, so for the last few frame counts below 4 GiB of data it stores a
    // RIFF size wrapped round to a few bytes: a broken file. Every other length is written as it
    // writes it.)
    const bool rf64 = dataBytes >= rf64Threshold || riffSize > 0xffffffffu;
    const auto rateField = (uint32_t) (int) sampleRate;
    const auto bytesPerSecond = (uint32_t) (int) ((double) bytesPerFrame * sampleRate);

    Header h {};
    HeaderBytes b (h);
    b.id (rf64 ? "RF64" : "RIFF");
    b.u32 (rf64 ? 0xffffffffu : (uint32_t) riffSize);
    b.id ("WAVE");
    if (rf64)
    {
        b.id ("ds64");
        b.u32 (28);
        b.u64 (riffSize);
        b.u64 (dataBytes);
        // The frame count and the table length: the framework leaves both at zero (readers take
        // the length from the data size).
        b.zeros (12);

        b.id ("fmt ");
        b.u32 (40);
        b.u16 (0xfffe); // WAVE_FORMAT_EXTENSIBLE, which the RF64 form always uses
    }
    else
    {
        b.id ("JUNK");
        b.u32 (52);
        b.zeros (52);

        b.id ("fmt ");
        b.u32 (16);
        b.u16 (3); // WAVE_FORMAT_IEEE_FLOAT
    }
    b.u16 (2);
    b.u32 (rateField);
    b.u32 (bytesPerSecond);
    b.u16 ((uint16_t) bytesPerFrame);
    b.u16 (32);
    if (rf64)
    {
        static constexpr uint8_t floatSubformat[16] = { 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                        0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71 };
        b.u16 (22); // extension size
        b.u16 (32); // valid bits
        b.u32 (0); // no speaker positions: stereo is taken as left and right
        b.put (floatSubformat, sizeof floatSubformat);
    }
    b.id ("data");
    b.u32 (rf64 ? 0xffffffffu : (uint32_t) dataBytes);
    jassert (b.size() == h.size());
    return h;
}

FloatWavWriter::FloatWavWriter (std::unique_ptr<juce::OutputStream> stream, double sampleRate, int framesPerWrite)
    : out (std::move (stream)), rate (sampleRate), headerPosition (out->getPosition()),
      interleaved ((size_t) std::max (1, framesPerWrite) * 2)
{
    failed = ! writeHeader();
}

FloatWavWriter::~FloatWavWriter() = default;

bool FloatWavWriter::writeHeader()
{
    if (out->getPosition() != headerPosition && ! out->setPosition (headerPosition))
        return false;
    const auto h = header (frames, rate);
    return out->write (h.data(), h.size());
}

bool FloatWavWriter::write (const float* left, const float* right, int n)
{
    if (failed || out == nullptr)
        return false;

    const int capacity = (int) (interleaved.size() / 2);
    for (int done = 0; done < n;)
    {
        const int m = std::min (n - done, capacity - gathered);
        interleave (left + done, right + done, interleaved.data() + 2 * gathered, m);
        gathered += m;
        done += m;
        if (gathered == capacity && ! writeGathered())
            return false;
    }
    return true;
}

bool FloatWavWriter::writeGathered()
{
    const int m = std::exchange (gathered, 0);
    if (m > 0 && ! out->write (interleaved.data(), (size_t) m * bytesPerFrame))
    {
        failed = true;
        return false;
    }
    frames += (uint64_t) m;
    return true;
}

bool FloatWavWriter::finish()
{
    if (out == nullptr)
        return false;
    if (! failed)
        writeGathered();
    // Even after a failed write the header is brought up to date, as the framework's writer does:
    // on a full disk what did get written stays a readable file.
    const bool headerWritten = writeHeader();
    out.reset();
    return headerWritten && ! failed;
}

} // namespace quorvane::cli
