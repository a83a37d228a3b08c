#include "Usage.h"

#include "RenderSettings.h"

#include <algorithm>
#include <cstdio>

namespace quorvane::cli
{

std::string helpText()
{
    char seed[32];
    std::snprintf (seed, sizeof (seed), "%u", (unsigned) RenderSettings::defaultSeed);

    return std::string (
               "usage: quorvane-render [options] [INPUT] OUTPUT.wav\n"
               "       quorvane-render [--preset FILE] [--mode M] [--set ID=VALUE]... --save-preset FILE\n"
               "\n"
               "Runs audio through the Quorvane reverb, the way a host drives the plug-in, and writes a\n"
               "stereo WAV file. INPUT may be a mono or stereo WAV, AIFF or FLAC file; the output keeps\n"
               "its sample rate. Without INPUT a built-in percussive phrase is rendered.\n"
               "\n"
               "options:\n"
               "  --preset FILE       start from a preset file (.kpreset), including its mix; --mode\n"
               "                      and --set then adjust it\n"
               "  --mode NAME|N       reverb mode, by name (case-insensitive) or number 0..11\n"
               "  --set ID=VALUE      set a parameter in its own units, e.g. --set decay=4.5\n"
               "                      (ID in any case; repeatable, later settings win; see --list)\n"
               "  --save-preset FILE  save the final settings as a preset named after the file, which\n"
               "                      must be NAME.kpreset; a missing user preset folder (see\n"
               "                      --list-presets) is created. Without OUTPUT.wav nothing is\n"
               "                      rendered (then --impulse, --rate, --tail, --block-size, --bits\n"
               "                      and --seed are refused, as they would do nothing)\n"
               "  --impulse           render the impulse response instead of the demo phrase\n"
               "  --rate HZ           sample rate of the demo phrase or impulse (default 48000)\n"
               "  --tail SECONDS      silence processed after the input so the reverb rings out\n"
               "                      (default: the reverb's own estimate for the final settings,\n"
               "                      at most 30 s; with --impulse the whole length of the response)\n"
               "  --block-size N      samples per processing call, like a host buffer (default 512)\n"
               "  --bits 16|24|32     output sample format; 32 is floating point (default 32)\n"
               "  --seed N            seed of the modulators' random generator (default ")
           + seed
           + ", so that renders\n"
             "                      repeat exactly; the plug-in itself seeds from the clock)\n"
             "  -q, --quiet         no progress bar and no summary line\n"
             "  --list              list the reverb modes and parameters, then exit\n"
             "  --list-presets      list the user presets, then the factory presets, then exit\n"
             "  -h, --help          show this text, then exit\n"
             "\n"
             "The output is written beside OUTPUT.wav under a temporary name and moved into place only\n"
             "when the render succeeds; a preset that is missing, unreadable or not a Quorvane preset,\n"
             "or one that cannot be saved, is an error too. Exit status: 0 on success, 2 on any error\n"
             "(nothing written), 130 when interrupted.\n";
}

std::string listText()
{
    std::string out = "reverb modes (--mode):\n";
    char line[160];
    for (int m = 0; m < modeCount; ++m)
    {
        std::snprintf (line, sizeof (line), "  %2d  %s\n", m, modeName (m));
        out += line;
    }

    out += "\nparameters (--set ID=VALUE):\n";
    std::snprintf (line, sizeof (line), "  %-16s %10s %10s %10s  %s\n", "ID", "minimum", "maximum", "default", "unit");
    out += line;
    for (const auto& info : parameterInfo())
    {
        std::string unit = info.displaySuffix;
        unit.erase (std::remove (unit.begin(), unit.end(), ' '), unit.end());
        if (unit.empty())
            unit = "fraction";
        else if (unit == "X")
            unit = "factor";
        if (std::string (info.identifier) == "type")
            unit = "mode + 1 (prefer --mode)";
        std::snprintf (line, sizeof (line), "  %-16s %10g %10g %10g  %s\n", info.identifier, (double) info.minimum,
                       (double) info.maximum, (double) info.defaultValue, unit.c_str());
        out += line;
    }
    return out;
}

} // namespace quorvane::cli
