#pragma once

#include <array>
#include <vector>

namespace quorvane::bench
{

/** The host rates every reverb is measured at. */
constexpr std::array<int, 3> benchRates { { 44100, 48000, 96000 } };

/** The shared benchmark input: the same stereo noise for every reverb measured at one rate. */
struct BenchSignal
{
    static constexpr int blockSize = 512;
    static constexpr double seconds = 4.0;

    int sampleRate = 48000;
    std::vector<float> left, right;

    /** Number of samples per channel. */
    int length() const { return (int) left.size(); }
    /** Seconds of audio in one pass over the signal. */
    double durationSeconds() const { return (double) length() / sampleRate; }
};

/** Four seconds of noise at the given rate, generated once per rate with a fixed seed, so every
    reverb measured at that rate processes the same samples. */
const BenchSignal& benchSignal (int sampleRate);

} // namespace quorvane::bench
