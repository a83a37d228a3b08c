#include "Modes.h"

#include "engine/ReverbEngine.h"
#include "toolkit/Modulation.h"

namespace quorvane::narcissus
{

namespace
{
// Four of Dark Room's lines, two independent pairs unless lateCross joins them.
constexpr int lines = 4;
} // namespace

void updateDecayGains (ReverbEngine& e) { darkroom::setDecayGains (e, 4.0f); }

void updateBassGains (ReverbEngine& e) { darkroom::setBandRatios (e, lines); }

void updateHighGains (ReverbEngine& e) { darkroom::setBandRatios (e, lines); }

void processNetwork (ReverbEngine& e)
{
    float modulation[lines];
    kit::stepWrapModulators (e, modulation, lines, 0, 3);
    for (auto& m : modulation)
        m = m * e.lateModDepthSamples * 2.0f;
    // Swapping line k with line k + 2 is the ring of Nostromo on four lines.
    darkroom::runNetwork (e, lines, modulation, kit::stepEarlyModulators (e, 2.0f), e.diffuserGain,
                          darkroom::Feedback::rings);
}

} // namespace quorvane::narcissus
