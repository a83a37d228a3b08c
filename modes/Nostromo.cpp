#include "Modes.h"

#include "engine/ReverbEngine.h"

namespace quorvane::nostromo
{

void updateLateLengths (ReverbEngine& e)
{
    // Twice Dark Room's size range: the rings are long loops of four lines each.
    const double s = e.getValue (param::lateSize);
    darkroom::setLengths (e, (float) ((s * 1.8 + 0.2) * (double) e.processingRate * (1.0 / 48000.0)));
}

void processNetwork (ReverbEngine& e) { darkroom::runRings (e, 8); }

} // namespace quorvane::nostromo
