#pragma once

#include "processor/Quorvane.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane::test
{

/** A stereo signal as two equally long channels. */
struct Stereo
{
    std::vector<float> left, right;
    size_t size() const { return left.size(); }
};

/** Deterministic white noise in -amplitude..amplitude. */
std::vector<float> noise (size_t samples, float amplitude, uint32_t seed);

/** A signal of zeros with a single sample at index 0. */
std::vector<float> impulse (size_t samples, float height = 1.0f);

/** A processor prepared like a host does it (on the heap, like every processor in these tests:
    the engine is several megabytes): rate and block size announced, then prepareToPlay. */
std::unique_ptr<Quorvane> makeProcessor (double rate = 48000.0, int blockSize = 512, uint32_t seed = 7);

/** Sets a parameter from its physical value. */
void setPhysical (Quorvane& p, param::Index index, float physical);

/** Runs a stereo input through processBlock in host blocks of the given size. */
Stereo render (Quorvane& p, const Stereo& input, int blockSize);

/** Runs a mono input through a processor whose input bus is mono. */
Stereo renderMono (Quorvane& p, const std::vector<float>& input, int blockSize);

/** The twenty published normalised values in index order. */
std::vector<float> allValues (const Quorvane& p);

/** Index of the first sample whose magnitude exceeds the threshold on either side, or -1. */
long firstAbove (const Stereo& s, float threshold);

} // namespace quorvane::test
