#pragma once

#include <vector>

namespace quorvane::cli
{

/** A stereo signal held in memory, one vector per channel of equal length. */
struct StereoSignal
{
    std::vector<float> left;
    std::vector<float> right;
};

/** Length of the demo phrase in seconds. */
constexpr double demoSeconds = 4.0;

/** A deterministic two-bar percussive phrase (kick, snare, hi-hat clicks, plucked notes, panned),
    peaking at -6 dBFS; the same rate always gives the same samples. */
StereoSignal synthesiseDemo (double sampleRate);

/** A single sample of 1.0 on both channels. */
StereoSignal unitImpulse();

} // namespace quorvane::cli
