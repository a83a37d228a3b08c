#pragma once

#include "RenderSettings.h"

#include <atomic>

namespace quorvane::cli
{

/** Exit status of the renderer: success, any error (nothing written), or interrupted. */
enum ExitStatus : int
{
    exitSuccess = 0,
    exitError = 2,
    exitInterrupted = 130
};

/** Renders as the settings say: checks the preset, opens the source and the output, drives a
    Quorvane processor, writes the file (and the preset, if asked), and prints errors, progress
    and the summary line on stderr. Without an output file only the preset is saved.
    cancel, if given, stops the render cleanly when it becomes true. */
int runRender (const RenderSettings& settings, const std::atomic<bool>* cancel = nullptr);

} // namespace quorvane::cli
