#pragma once

#include <vector>

namespace quorvane::bench
{

/** The shared benchmark input: the same stereo noise for every reverb measured. */
struct BenchSignal
{
    static constexpr int sampleRate = 48000;
    static constexpr int blockSize = 512;
    static constexpr double seconds = 4.0;

    std::vector<float> left, right;

    /** Number of samples per channel. */
    int length() const { return (int) left.size(); }
    /** Seconds of audio in one pass over the signal. */
    double durationSeconds() const { return (double) length() / sampleRate; }
};

/** The noise every benchmark processes, generated once with a fixed seed. */
const BenchSignal& benchSignal();

} // namespace quorvane::bench
