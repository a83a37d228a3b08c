#pragma once

#include "DemoSignal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvane::cli
{

/** Audio fed into the reverb, read block by block. */
class SignalSource
{
public:
    virtual ~SignalSource() = default;

    /** 1 (mono) or 2 (stereo). */
    virtual int numChannels() const = 0;
    /** Sample rate in hertz. */
    virtual double sampleRate() const = 0;
    /** Total length in samples per channel. */
    virtual int64_t lengthInSamples() const = 0;
    /** Reads the next n samples of every channel into dest; false on a read error. */
    virtual bool read (float* const* dest, int n) = 0;
    /** Describes the last read error. */
    virtual const char* errorText() const { return "read error"; }
};

/** Receives the rendered stereo output, block by block. */
class SampleSink
{
public:
    virtual ~SampleSink() = default;

    /** Takes n samples of the two channels; false when they could not be stored. */
    virtual bool write (const float* const* channels, int n) = 0;
};

/** A stereo signal in memory (the demo phrase or the impulse) as a source. */
class MemorySource final : public SignalSource
{
public:
    MemorySource (StereoSignal s, double rate) : signal (std::move (s)), rate (rate) {}

    int numChannels() const override { return 2; }
    double sampleRate() const override { return rate; }
    int64_t lengthInSamples() const override { return (int64_t) signal.left.size(); }

    bool read (float* const* dest, int n) override
    {
        const auto available = (size_t) std::max (0, std::min (n, (int) (signal.left.size() - position)));
        std::memcpy (dest[0], signal.left.data() + position, available * sizeof (float));
        std::memcpy (dest[1], signal.right.data() + position, available * sizeof (float));
        std::fill (dest[0] + available, dest[0] + n, 0.0f);
        std::fill (dest[1] + available, dest[1] + n, 0.0f);
        position += available;
        return true;
    }

private:
    StereoSignal signal;
    double rate;
    size_t position = 0;
};

} // namespace quorvane::cli
