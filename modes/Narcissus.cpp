#include "Modes.h"

#include "engine/ReverbEngine.h"

namespace quorvane::narcissus
{

namespace
{
// Four of Dark Room's lines, two independent pairs unless lateCross joins them.
constexpr int lines = 4;
} // namespace

void updateDecayGains (ReverbEngine& e) { darkroom::setDecayGains (e, 4.0f, lines); }

void updateBassGains (ReverbEngine& e) { darkroom::setBassRatios (e, lines); }

void updateHighGains (ReverbEngine& e) { darkroom::setHighRatios (e, lines); }

void processNetwork (ReverbEngine& e)
{
    // Swapping line k with line k + 2 is Nostromo's ring on four lines.
    darkroom::runRings (e, lines);
}

} // namespace quorvane::narcissus
