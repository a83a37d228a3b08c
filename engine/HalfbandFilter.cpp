#include "HalfbandFilter.h"

namespace quorvane
{

void AllpassSection::process32 (float* output, const float* input) noexcept
{
    float previous = state;
    for (int i = 0; i < 32; ++i)
    {
        const float v = input[i] + offset - a * previous;
        output[i] = a * v + previous;
        previous = v;
    }
    state = previous;
    offset = -offset;
}

HalfbandFilter::HalfbandFilter()
{
    // An 8-coefficient half-band design, its coefficients alternately assigned to the branches.
    const float branchA[4] = { 0.035832789f, 0.27204013f, 0.57205719f, 0.82712477f };
    const float branchB[4] = { 0.13409014f, 0.42432487f, 0.70629215f, 0.94150311f };
    for (int k = 0; k < 4; ++k)
    {
        sections[(std::size_t) k].a = branchA[k];
        sections[(std::size_t) k + 6].a = branchB[k];
    }
}

void HalfbandFilter::decimate (const float* input, float* output) noexcept
{
    alignas (16) float bufA[32];
    alignas (16) float bufB[32];
    for (int k = 0; k < 32; ++k)
        bufA[k] = input[2 * k];
    // The odd branch sees the input one sample late: lastSample, in[1], in[3], .., in[61].
    bufB[0] = lastSample;
    for (int k = 1; k < 32; ++k)
        bufB[k] = input[2 * k - 1];
    lastSample = input[63];

    for (int s = 0; s < sectionCount; ++s)
    {
        sections[(std::size_t) s].process32 (bufA, bufA);
        sections[(std::size_t) s + 6].process32 (bufB, bufB);
    }
    for (int k = 0; k < 32; ++k)
        output[k] = 0.5f * (bufA[k] + bufB[k]);
}

void HalfbandFilter::interpolate (const float* input, float* output) noexcept
{
    alignas (16) float bufA[32];
    alignas (16) float bufB[32];
    const float* inA = input;
    const float* inB = input;
    for (int s = 0; s < sectionCount; ++s)
    {
        sections[(std::size_t) s].process32 (bufA, inA);
        sections[(std::size_t) s + 6].process32 (bufB, inB);
        inA = bufA;
        inB = bufB;
    }
    if (sectionCount == 0)
        for (int k = 0; k < 32; ++k)
            bufA[k] = bufB[k] = input[k];
    for (int k = 0; k < 32; ++k)
    {
        output[2 * k] = bufA[k];
        output[2 * k + 1] = bufB[k];
    }
}

void HalfbandFilter::clear() noexcept
{
    for (auto& s : sections)
        s.state = 0.0f;
    lastSample = 0.0f;
}

} // namespace quorvane
