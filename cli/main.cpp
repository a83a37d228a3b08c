#include "PresetFiles.h"
#include "RenderCommand.h"
#include "Usage.h"
#include "processor/PresetLibrary.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace
{
std::atomic<bool> interrupted { false };
static_assert (std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt (int) { interrupted.store (true); }
} // namespace

int main (int argc, char** argv)
{
    using namespace quorvane::cli;

    const auto parsed = parseArguments (std::vector<std::string> (argv + 1, argv + argc));
    if (! parsed.ok())
    {
        std::fprintf (stderr, "quorvane-render: %s\n", parsed.error.c_str());
        return exitError;
    }
    if (parsed.command == Command::help)
        return std::fputs (helpText().c_str(), stdout) < 0 ? exitError : exitSuccess;
    if (parsed.command == Command::list)
        return std::fputs (listText().c_str(), stdout) < 0 ? exitError : exitSuccess;
    if (parsed.command == Command::listPresets)
    {
        namespace lib = quorvane::presetlib;
        const auto text = presetListText (lib::getPresetFolder (lib::userPresetFolder),
                                          lib::getPresetFolder (lib::factoryPresetFolder));
        return std::fputs (text.c_str(), stdout) < 0 ? exitError : exitSuccess;
    }

    // The processor relays change messages through the message thread's machinery, which must exist.
    juce::ScopedJuceInitialiser_GUI framework;

    // Ctrl+C and termination stop the render between blocks, so the temporary file is removed.
    std::signal (SIGINT, onInterrupt);
    std::signal (SIGTERM, onInterrupt);
    return runRender (parsed.settings, &interrupted);
}
