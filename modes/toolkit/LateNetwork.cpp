#include "LateNetwork.h"

#include "engine/ModAllpass.h"
#include "engine/ReverbEngine.h"

#include <algorithm>

namespace quorvane::kit
{

namespace
{
/** Pointers to the first count line blocks, as the filter banks take them. */
std::array<float*, 32> lineBlocks (ReverbEngine& e, int count)
{
    std::array<float*, 32> blocks {};
    for (size_t k = 0; k < (size_t) count; ++k)
        blocks[k] = e.lineBlock[k].get();
    return blocks;
}

float modulationOf (const float* modulation, size_t segment) { return modulation != nullptr ? modulation[segment] : 0.0f; }

/** (X, Y) -> (X + Y, Y - X) */
void butterfly (float* __restrict x, float* __restrict y, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        const float a = x[i], b = y[i];
        x[i] = a + b;
        y[i] = b - a;
    }
}
} // namespace

void delaySegments (ReverbEngine& e, int first, int count, const std::array<LineRead, 4>& pattern,
                    const float* modulation, const float* gains, int n)
{
    const auto& ms = e.modeState;
    const float ramp = 1.0f / (float) n;
    for (size_t k = 0; k < (size_t) count; ++k)
        writeBlock (e.lateLines[(size_t) first + k], e.lineBlock[k].get(), n);
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        const size_t s = (size_t) first + k;
        auto& line = e.lateLines[s];
        float* block = e.lineBlock[k].get();
        const float delay = std::max (0.0f, ms.segmentLength[s] + modulationOf (modulation, s));
        switch (pattern[k % 4])
        {
            case LineRead::tap: readTap (line, block, n, ms.segmentFloor[s], gains != nullptr ? gains[s] : 1.0f); break;
            case LineRead::linear: readLinearRamped (line, block, delay, n, ramp); break;
            case LineRead::allpass: readAllpassRamped (line, block, delay, n, 0, ramp); break;
        }
    }
}

void allpassStage (ReverbEngine& e, AllpassRead read, int first, int count, const float* modulation, float g, int n)
{
    const auto& ms = e.modeState;
    const float ramp = 1.0f / (float) n;
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        const size_t s = (size_t) first + k;
        float* block = e.lineBlock[k].get();
        const float delay = std::max ((float) n, ms.segmentLength[s] + modulationOf (modulation, s));
        switch (read)
        {
            case AllpassRead::linear: modAllpassLinear (e.lateLines[s], block, block, g, delay, n, ms.segmentGain[s], ramp); break;
            case AllpassRead::allpass: modAllpass (e.lateLines[s], block, block, g, delay, n, ms.segmentGain[s], ramp); break;
            case AllpassRead::quantised: modAllpass32 (e.lateLines[s], block, block, g, delay, ms.segmentGain[s]); break;
        }
    }
}

void fixedAllpassStage (ReverbEngine& e, int first, int count, float g)
{
    const auto& ms = e.modeState;
    for (size_t k = 0; k < (size_t) count; ++k)
    {
        const size_t s = (size_t) first + k;
        float* block = e.lineBlock[k].get();
        // The delay is the length less the block; it cannot go below the block it reads before writing.
        const int length = std::max (2 * 32, (int) ms.segmentFloor[s]);
        fixedAllpass32 (e.lateLines[s], block, block, g, length, ms.segmentGain[s]);
    }
}

void splitBass (ReverbEngine& e, int count, const float* highGain, const float* lowGain, int n)
{
    auto blocks = lineBlocks (e, count);
    splitBandsBank (e.bassFilters.data(), e.bassSplitCoef, blocks.data(), highGain, lowGain, count, n);
}

void splitHigh (ReverbEngine& e, int count, const float* highGain, int n)
{
    auto blocks = lineBlocks (e, count);
    splitBandsBank (e.highFilters.data(), e.highSplitCoef, blocks.data(), highGain, nullptr, count, n);
}

void tapLines (ReverbEngine& e, int count, const float* left, const float* right, int n)
{
    for (size_t j = 0; j < (size_t) count / 2; ++j)
    {
        accumulateBlock (e.lateSumBlock[0].get(), e.lineBlock[2 * j].get(), left[j], n);
        accumulateBlock (e.lateSumBlock[1].get(), e.lineBlock[2 * j + 1].get(), right[j], n);
    }
}

void butterflyMatrix (ReverbEngine& e, int count, int n)
{
    for (size_t k = 0; k < (size_t) count; ++k)
        scaleBlock (e.lineBlock[k].get(), e.lineBlock[k].get(), e.matrixScale, n);
    for (int span = count / 2; span >= 2; span /= 2)
        for (int k = 0; k < count; ++k)
            if ((k & span) == 0)
                butterfly (e.lineBlock[(size_t) k].get(), e.lineBlock[(size_t) (k + span)].get(), n);
    crossRotations (e, count, n);
}

void crossRotations (ReverbEngine& e, int count, int n)
{
    for (size_t m = 0; m < (size_t) count / 2; ++m)
        e.lateCrossMixers[m].rotate (e.lineBlock[2 * m].get(), e.lineBlock[2 * m + 1].get(), n);
}

void ringShift (ReverbEngine& e, int count, int n)
{
    for (int parity = 0; parity < 2; ++parity)
    {
        alignas (16) float last[blockSize];
        std::copy_n (e.lineBlock[(size_t) (count - 2 + parity)].get(), n, last);
        for (int k = count - 2 + parity; k >= 2; k -= 2)
            std::copy_n (e.lineBlock[(size_t) (k - 2)].get(), n, e.lineBlock[(size_t) k].get());
        std::copy_n (last, n, e.lineBlock[(size_t) parity].get());
    }
}

void normaliseLateBands (ReverbEngine& e, int n)
{
    const auto& ms = e.modeState;
    alignas (16) float band[blockSize];
    for (size_t c = 0; c < 2; ++c)
    {
        float* sum = e.lateSumBlock[c].get();
        e.outputBassFilters[c].process (e.bassSplitCoef, sum, band, n);
        bandGainBlock (sum, band, ms.midNormaliser, ms.bassNormaliser, n);
    }
}

void mixModeOutput (ReverbEngine& e, int n)
{
    for (size_t c = 0; c < 2; ++c)
        scaleAddBlock (e.ioBlock[c].get(), e.lateSumBlock[c].get(), e.lateLevel, e.earlyOutBlock[c].get(), n);
}

} // namespace quorvane::kit
