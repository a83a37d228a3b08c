#include "ModeRoutines.h"

#include "LargeRoom.h"
#include "engine/ReverbEngine.h"

namespace quorvane
{

namespace
{
const ModeRoutines largeRoom { largeroom::configureMode,   largeroom::updateDecayGains,
                               largeroom::updateBassGains, largeroom::updateHighGains,
                               largeroom::updateLateLengths, largeroom::updateEarlyLengths,
                               largeroom::processNetwork };

const ModeConstants constants[12] = {
    { 241920.0f, 32, 0.25f, 64.0f, 25.0f },        { 287697.0f, 16, 0.35355339f, 64.0f, 25.0f },
    { 241920.0f, 32, 0.5f, 64.0f, 2122.0f },       { 144000.0f, 32, 0.25f, 64.0f, 25.0f },
    { 241920.0f, 32, 0.5f, 32.0f, 3183.0f },       { 144000.0f, 32, 0.25f, 32.0f, 3183.0f },
    { 241920.0f, 32, 0.25f, 32.0f, 3183.0f },      { 241920.0f, 32, 0.5f, 32.0f, 3183.0f },
    { 69301.765625f, 16, 0.5f, 32.0f, 3183.0f },   { 241920.0f, 16, 0.35355339f, 32.0f, 2128.0f },
    { 69301.765625f, 28, 0.5f, 32.0f, 200.0f },    { 182380.0f, 32, 0.25f, 32.0f, 3183.0f },
};
} // namespace

bool isModeAvailable (int mode) noexcept { return mode == 0; }

const ModeRoutines& modeRoutines (int) noexcept { return largeRoom; }

const ModeConstants& modeConstants (int mode) noexcept
{
    return constants[(mode >= 0 && mode < 12) ? mode : 0];
}

void beginConfigure (ReverbEngine& engine, int mode)
{
    const auto& c = modeConstants (mode);
    engine.lateNormaliser = c.lateNormaliser;
    engine.lateLineCount = c.lateLineCount;
    engine.matrixScale = c.matrixScale;
    engine.clear();
    engine.processingRate = engine.isHalfRate() ? engine.hostRate * 0.5f : engine.hostRate;
    engine.controlBlockLength = c.controlBlockLength;
    engine.splitFilterHz = c.splitFilterHz;
    engine.designSplitFilters();
}

void endConfigure (ReverbEngine& engine)
{
    for (int index : { param::rtXover, param::rtHighXover, param::earlyModRate, param::earlyModDepth,
                       param::lateModRate, param::lateModDepth, param::highCut, param::predelay, param::lateCross })
        engine.updateParameter (index);
}

} // namespace quorvane
