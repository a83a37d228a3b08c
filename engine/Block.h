#pragma once

#include <array>
#include <cstddef>

namespace quorvane
{

/** Samples per host block step: the network runs once for every 64 host samples. */
constexpr int blockSize = 64;

/** A 16-byte-aligned work block of N floats; the element-wise stages run over whole blocks. */
template <int N>
struct alignas (16) AlignedBlock
{
    std::array<float, N> data {};

    float* get() noexcept { return data.data(); }
    const float* get() const noexcept { return data.data(); }
    float& operator[] (int i) noexcept { return data[(std::size_t) i]; }
    float operator[] (int i) const noexcept { return data[(std::size_t) i]; }
    void zero() noexcept { data.fill (0.0f); }
};

using Block64 = AlignedBlock<64>;
using Block128 = AlignedBlock<128>;

/** out[i] = a[i] x g */
void scaleBlock (float* out, const float* a, float g, int n) noexcept;
/** out[i] = a[i] x g + b[i] */
void scaleAddBlock (float* out, const float* a, float g, const float* b, int n) noexcept;
/** out[i] = a[i] x g x h + b[i], in that order */
void scaleTwiceAddBlock (float* out, const float* a, float g, float h, const float* b, int n) noexcept;
/** out[i] += a[i] */
void addBlock (float* out, const float* a, int n) noexcept;
/** out[i] += a[i] x g */
void accumulateBlock (float* out, const float* a, float g, int n) noexcept;
/** A band split, scaled and added: out[i] = ((x[i] - low[i]) x highGain + low[i] x lowGain) x g + b[i],
    in that order. */
void bandGainScaleAddBlock (float* out, const float* x, const float* low, float highGain, float lowGain, float g,
                            const float* b, int n) noexcept;

} // namespace quorvane
