// The per-sample wet/dry mix and the 64-sample block step around the current mode's network.
#include "ReverbEngine.h"

#include "modes/ModeRoutines.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
// Input beyond this magnitude is no audio signal; it is limited so the network cannot overflow.
constexpr float inputLimit = 1.0e6f;

/** A sample fit to enter the network: non-finite input would poison the tail for good. */
inline float admissible (float x) noexcept
{
    if (std::isfinite (x))
        return x > inputLimit ? inputLimit : (x < -inputLimit ? -inputLimit : x);
    return 0.0f;
}

/** One step of the 50 ms gain glide. In single precision the step rounds to nothing within about
    1e-4 of the target, where the glide would stall for good; it then lands on the target, so that
    mix 0 passes the input unchanged. */
inline float glide (float gain, float target, float smoothing) noexcept
{
    const float next = gain + (target - gain) * smoothing;
    return next == gain ? target : next;
}
} // namespace

void ReverbEngine::process (float* outL, float* outR, const float* inL, const float* inR, int n) noexcept
{
    float* ioL = ioBlock[0].get();
    float* ioR = ioBlock[1].get();
    for (int i = 0; i < n; ++i)
    {
        wetGain = glide (wetGain, wetTarget, gainSmoothing);
        dryGain = glide (dryGain, dryTarget, gainSmoothing);
        const float xL = inL[i];
        const float xR = inR[i];
        outL[i] = ioL[blockPosition] * wetGain + dryGain * xL;
        outR[i] = ioR[blockPosition] * wetGain + dryGain * xR;
        ioL[blockPosition] = admissible (xL);
        ioR[blockPosition] = admissible (xR);
        if (++blockPosition == blockSize)
        {
            blockPosition = 0;
            blockStep();
        }
    }
}

void ReverbEngine::blockStep() noexcept
{
    conditionInput();
    const int n = (int) controlBlockLength;
    for (size_t c = 0; c < 2; ++c)
    {
        std::fill_n (earlyOutBlock[c].get(), n, 0.0f);
        std::fill_n (lateSumBlock[c].get(), n, 0.0f);
    }
    writeBlock (predelayLines[0], tempBlock[0].get(), n);
    writeBlock (predelayLines[1], tempBlock[1].get(), n);

    modeRoutines (mode).processNetwork (*this);

    outputStage();
    advance (predelayLines[0], n);
    advance (predelayLines[1], n);
}

void ReverbEngine::conditionInput() noexcept
{
    if (! isHalfRate())
    {
        // A tiny offset on every second sample keeps the feedback network out of denormals.
        for (size_t c = 0; c < 2; ++c)
        {
            const float* in = ioBlock[c].get();
            float* t = tempBlock[c].get();
            for (int i = 0; i < blockSize; i += 2)
            {
                t[i] = in[i] + 1e-20f;
                t[i + 1] = in[i + 1];
            }
            inputSplitFilters[c].process (blockSize, t, t);
        }
        return;
    }

    for (size_t c = 0; c < 2; ++c)
    {
        const float* in = ioBlock[c].get();
        float* t = tempBlock[c].get();
        const float offset = denormalOffsets[c];
        for (int i = 0; i < blockSize; ++i)
            t[i] = in[i] + offset;
        denormalOffsets[c] = -offset;
        decimators[c].decimate (t, tempBlock[c + 2].get());
        inputSplitFilters[c].process (32, tempBlock[c + 2].get(), t);
    }
}

void ReverbEngine::outputStage() noexcept
{
    if (! isHalfRate())
    {
        for (size_t c = 0; c < 2; ++c)
        {
            float* io = ioBlock[c].get();
            highCutFilters[c].process64 (io, io);
            outputSplitFilters[c].process (blockSize, io, io);
        }
        return;
    }

    for (size_t c = 0; c < 2; ++c)
    {
        float* io = ioBlock[c].get();
        alignas (16) float network[32];
        outputSplitFilters[c].process (32, io, network);
        interpolators[c].interpolate (network, io);
        if (mode == 11)
            highCutShelves[c].process (blockSize, io, io);
        else
            highCutFilters[c].process64 (io, io);
    }
}

} // namespace quorvane
