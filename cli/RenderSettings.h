#pragma once

#include "engine/EngineParameters.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::cli
{

/** One parameter assignment from the command line, already converted to the host's 0..1 scale. */
struct ParameterSetting
{
    int index = 0;
    float normalised = 0.0f;
};

/** Where the audio fed into the reverb comes from. */
enum class SourceKind
{
    file,    ///< an audio file named on the command line
    demo,    ///< the built-in percussive phrase
    impulse  ///< a unit impulse on both channels
};

/** Everything one render needs, as given on the command line. */
struct RenderSettings
{
    /** Seed used unless --seed is given, so that two runs with the same options match exactly. */
    static constexpr uint32_t defaultSeed = 1;
    static constexpr int defaultBlockSize = 512;
    static constexpr double defaultRate = 48000.0;
    /** Upper bound of the automatic tail; an explicit --tail may be longer. */
    static constexpr double maximumAutomaticTail = 30.0;

    SourceKind source = SourceKind::demo;
    std::string inputPath;
    std::string outputPath;                   ///< empty: nothing is rendered (only --save-preset)
    std::string presetPath;                   ///< preset applied before the parameters; empty: none
    std::string savePresetPath;               ///< where the final settings are saved; empty: nowhere
    std::vector<ParameterSetting> parameters; ///< applied in this order, so a later one wins
    int blockSize = defaultBlockSize;
    int bits = 32;
    double rate = defaultRate;         ///< used only for the demo signal and the impulse
    std::optional<double> tailSeconds; ///< empty: derived from the final parameter values
    uint32_t seed = defaultSeed;
    bool quiet = false;

    /** True when an output file is to be rendered (otherwise only a preset is saved). */
    bool rendersAudio() const { return ! outputPath.empty(); }
};

/** What the command line asks for. */
enum class Command
{
    render,
    help,
    list,
    listPresets
};

/** Result of parsing: the command and its settings, or a one-line error message. */
struct ParseResult
{
    Command command = Command::render;
    RenderSettings settings;
    std::string error; ///< empty on success

    bool ok() const { return error.empty(); }
};

/** Parses the arguments that follow the program name; never throws, never touches files. */
ParseResult parseArguments (const std::vector<std::string>& args);

/** Reverb mode from a name (case, spaces, hyphens and underscores ignored) or a number 0..11; -1 if unknown. */
int parseModeName (const std::string& text);

/** Normalised values of all twenty parameters. */
using NormalisedValues = std::array<float, param::count>;

/** The table's defaults, as a new processor starts. */
NormalisedValues defaultNormalisedValues();

/** The physical values of all twenty parameters after the settings are applied to start (a
    preset's values, or the defaults). */
std::array<float, param::count> finalPhysicalValues (const RenderSettings& settings,
                                                     const NormalisedValues& start = defaultNormalisedValues());

/** Tail length in seconds: the explicit --tail, or the reverb's own estimate for the final values
    capped at maximumAutomaticTail. */
double effectiveTailSeconds (const RenderSettings& settings, double sampleRate,
                             const NormalisedValues& start = defaultNormalisedValues());

/** Lowest and highest sample rates the renderer accepts, for --rate and for input files. */
constexpr double minimumRate = 8000.0;
constexpr double maximumRate = 192000.0;
constexpr int maximumBlockSize = 65536;
constexpr double maximumTail = 3600.0;
/** File name ending of preset documents, matched ignoring letter case. */
constexpr const char* presetExtension = ".kpreset";

} // namespace quorvane::cli
