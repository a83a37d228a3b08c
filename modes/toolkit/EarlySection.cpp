#include "EarlySection.h"

#include "engine/Lanes.h"
#include "engine/ReverbEngine.h"
#include "engine/VectorUnit.h"

#include <cmath>

namespace quorvane::kit
{

namespace
{
constexpr int stages = 7;

/** One diffuser stage after its reads: each channel's rotation, then the cross between them, in
    one pass (the same operations per element as the three rotations one after another). */
template <typename V>
[[gnu::always_inline]] inline void diffuseLanes (const CrossMixer& left, const CrossMixer& right, const CrossMixer& cross,
                                                 float* aL, float* bL, float* aR, float* bR, int n) noexcept
{
    const RotationLanes<V> rotateLeft (left), rotateRight (right), rotateCross (cross);
    forEachVector<laneCount<V>> (n, [&] (int i) {
        V xL = loadLanes<V> (aL + i), yL = loadLanes<V> (bL + i), xR = loadLanes<V> (aR + i), yR = loadLanes<V> (bR + i);
        rotateLeft (xL, yL);
        rotateRight (xR, yR);
        rotateCross (xL, xR);
        storeLanes (aL + i, xL);
        storeLanes (bL + i, yL);
        storeLanes (aR + i, xR);
        storeLanes (bR + i, yR);
    });
}

#if defined(QUORVANE_HAS_AVX2_KERNELS)
QUORVANE_AVX2 void diffuseAvx2 (const CrossMixer& left, const CrossMixer& right, const CrossMixer& cross, float* aL,
                                float* bL, float* aR, float* bR, int n) noexcept
{
    diffuseLanes<Lanes8> (left, right, cross, aL, bL, aR, bR, n);
}
#endif

void diffuse (const CrossMixer& left, const CrossMixer& right, const CrossMixer& cross, float* aL, float* bL,
              float* aR, float* bR, int n) noexcept
{
    if (n % 4 != 0)
    {
        left.rotate (aL, bL, n);
        right.rotate (aR, bR, n);
        cross.rotate (aL, aR, n);
        return;
    }
#if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (n % 8 == 0 && wideVectors())
        return diffuseAvx2 (left, right, cross, aL, bL, aR, bR, n);
#endif
    diffuseLanes<Lanes> (left, right, cross, aL, bL, aR, bR, n);
}
} // namespace

EarlyFeed runEarlySectionDeferred (ReverbEngine& e, const EarlyModulation& modulation, int n)
{
    const auto& ms = e.modeState;
    float* aL = e.tapBlock[0].get();
    float* aR = e.tapBlock[1].get();
    float* bL = e.tapBlock[2].get();
    float* bR = e.tapBlock[3].get();
    const float pd = e.predelaySamples;
    const float ramp = 1.0f / (float) n;

    const AllpassTapRead taps[4] = { { &e.predelayLines[0], 0, aL, pd + modulation.tap[0] },
                                     { &e.predelayLines[0], 1, bL, ms.earlyLength[7] + pd + modulation.tap[1] },
                                     { &e.predelayLines[1], 0, aR, pd + modulation.tap[2] },
                                     { &e.predelayLines[1], 1, bR, ms.earlyLength[15] + pd + modulation.tap[3] } };
    readAllpassRampedGroup (taps, 4, n, ramp);
    e.diffusionMixers[14].rotate (aL, bL, n);
    e.diffusionMixers[15].rotate (aR, bR, n);

    float* directL = e.tempBlock[0].get();
    float* directR = e.tempBlock[1].get();
    readTap (e.predelayLines[0], directL, n, (int) std::trunc (pd), e.directSendGain);
    readTap (e.predelayLines[1], directR, n, (int) std::trunc (pd), e.directSendGain);

    for (size_t stage = 0; stage < stages; ++stage)
    {
        auto& lineL = e.earlyLines[stage];
        auto& lineR = e.earlyLines[stage + 8];
        writeBlock (lineL, aL, n);
        writeBlock (lineR, aR, n);
        readTap (lineL, aL, n, ms.earlyFloor[stage], 1.0f);
        readTap (lineR, aR, n, ms.earlyFloor[stage + 8], 1.0f);
        diffuse (e.diffusionMixers[2 * stage], e.diffusionMixers[2 * stage + 1], e.earlyCrossMixers[stage], aL, bL,
                 aR, bR, n);
    }

    scaleBlock (e.earlyOutBlock[0].get(), bL, e.earlyLevel, n);
    scaleBlock (e.earlyOutBlock[1].get(), bR, e.earlyLevel, n);

    scaleAddBlock (aL, aL, e.earlySendGain, directL, n);
    scaleAddBlock (bL, bL, e.earlySendGain, directL, n);
    scaleAddBlock (aR, aR, e.earlySendGain, directR, n);
    scaleAddBlock (bR, bR, e.earlySendGain, directR, n);

    return { { bL, bR, aL, aR } };
}

void runEarlySection (ReverbEngine& e, const EarlyModulation& modulation, int lineCount, int n)
{
    const auto feed = runEarlySectionDeferred (e, modulation, n);
    for (size_t k = 0; k < (size_t) lineCount; ++k)
        addBlock (e.lineBlock[k].get(), feed.block[k % 4], n);
}

} // namespace quorvane::kit
