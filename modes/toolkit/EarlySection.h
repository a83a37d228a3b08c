#pragma once

#include "Modulation.h"

namespace quorvane::kit
{

/* The early section every mode starts with, over n network samples. Per channel two modulated
   taps of the predelay line (the second one later by an early length) are rotated together and
   run through seven delay-and-rotation diffuser stages, the first taps of both channels crossed
   after each stage. The second tap block becomes the early output (scaled by earlyLevel); all
   four blocks, weighed by earlySendGain and joined by the direct predelayed feed, are what the
   late network receives: it is added to the first `lineCount` line blocks, in groups of four
   B-left, B-right, A-left, A-right (so even lines hear the left channel, odd lines the right).
   On return tapBlock 0..3 still hold that feed: A-left, A-right, B-left, B-right. */
void runEarlySection (ReverbEngine& e, const EarlyModulation& modulation, int lineCount, int n);

/** The feed of the late network in the order the line blocks take it (line k takes block[k % 4]). */
struct EarlyFeed
{
    const float* block[4];
};

/** The early section as above, except that the feed is only returned, not added to the line
    blocks: a network whose first stage writes its blocks into delay lines adds it on the way
    (delaySegments), sparing a pass. */
EarlyFeed runEarlySectionDeferred (ReverbEngine& e, const EarlyModulation& modulation, int n);

} // namespace quorvane::kit
