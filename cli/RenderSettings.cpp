#include "RenderSettings.h"

#include "TextValues.h"
#include "engine/ReverbEngine.h"

#include <algorithm>
#include <initializer_list>

namespace quorvane::cli
{

namespace
{
int findParameterIgnoringCase (const std::string& identifier)
{
    const auto wanted = lowerCase (identifier);
    for (int i = 0; i < param::count; ++i)
        if (lowerCase (parameterInfo (i).identifier) == wanted)
            return i;
    return -1;
}

std::string unitSuffix (const ParameterInfo& info)
{
    std::string s = info.displaySuffix;
    s.erase (std::remove (s.begin(), s.end(), ' '), s.end());
    return s.empty() ? std::string() : " " + s;
}

/** Parses ID=VALUE into a setting, or returns an error message. */
std::string parseSetting (const std::string& text, ParameterSetting& out)
{
    const auto equals = text.find ('=');
    if (equals == std::string::npos || equals == 0)
        return "--set expects ID=VALUE, got '" + text + "'";

    const auto identifier = text.substr (0, equals);
    const auto valueText = text.substr (equals + 1);
    const int index = findParameterIgnoringCase (identifier);
    if (index < 0)
        return "unknown parameter '" + identifier + "' (see --list)";

    const auto& info = parameterInfo (index);
    double value = 0.0;
    if (! parseNumber (valueText, value))
        return std::string ("value '") + valueText + "' for " + info.identifier + " is not a number";
    if (value < (double) info.minimum || value > (double) info.maximum)
        return std::string (info.identifier) + " must be between " + number (info.minimum) + " and "
               + number (info.maximum) + unitSuffix (info) + ", got " + valueText;

    out.index = index;
    // Rounding in the conversion must not push an in-range value outside the host's 0..1.
    out.normalised = std::clamp (toNormalised (info, (float) value), 0.0f, 1.0f);
    return {};
}

bool isOneOf (const std::string& option, std::initializer_list<const char*> names)
{
    return std::any_of (names.begin(), names.end(), [&] (const char* o) { return option == o; });
}

bool takesValue (const std::string& option)
{
    return isOneOf (option, { "--mode", "--set", "--seed", "--block-size", "--bits", "--rate", "--tail", "--preset",
                              "--save-preset" });
}

/** Options that only shape a render, meaningless when only a preset is saved. */
bool onlyForRendering (const std::string& option)
{
    return isOneOf (option, { "--impulse", "--seed", "--block-size", "--bits", "--rate", "--tail" });
}

std::string fileNameOf (const std::string& path)
{
    const auto slash = path.find_last_of ('/');
    return slash == std::string::npos ? path : path.substr (slash + 1);
}

/** Applies one option that takes a value; returns an error message or an empty string. */
std::string applyOption (const std::string& option, const std::string& value, RenderSettings& s, bool& rateGiven)
{
    unsigned long long n = 0;
    double v = 0.0;

    if (option == "--mode")
    {
        const int mode = parseModeName (value);
        if (mode < 0)
            return "unknown mode '" + value + "' (use 0.." + std::to_string (modeCount - 1) + " or a name; see --list)";
        s.parameters.push_back ({ param::type, typeNormalisedForMode (mode) });
    }
    else if (option == "--set")
    {
        ParameterSetting setting;
        auto error = parseSetting (value, setting);
        if (! error.empty())
            return error;
        s.parameters.push_back (setting);
    }
    else if (option == "--seed")
    {
        if (! parseUnsigned (value, 0xffffffffull, n))
            return "--seed expects a whole number 0..4294967295, got '" + value + "'";
        s.seed = (uint32_t) n;
    }
    else if (option == "--block-size")
    {
        if (! parseUnsigned (value, (unsigned long long) maximumBlockSize, n) || n == 0)
            return "--block-size expects a whole number 1.." + std::to_string (maximumBlockSize) + ", got '" + value
                   + "'";
        s.blockSize = (int) n;
    }
    else if (option == "--bits")
    {
        if (value != "16" && value != "24" && value != "32")
            return "--bits expects 16, 24 or 32, got '" + value + "'";
        s.bits = std::atoi (value.c_str());
    }
    else if (option == "--rate")
    {
        if (! parseUnsigned (value, (unsigned long long) maximumRate, n) || (double) n < minimumRate)
            return "--rate expects a whole number of hertz " + number (minimumRate) + ".." + number (maximumRate)
                   + ", got '" + value + "'";
        s.rate = (double) n;
        rateGiven = true;
    }
    else if (option == "--tail")
    {
        if (! parseNumber (value, v) || v < 0.0 || v > maximumTail)
            return "--tail expects seconds 0.." + number (maximumTail) + ", got '" + value + "'";
        s.tailSeconds = v;
    }
    else if (option == "--preset" || option == "--save-preset")
    {
        auto& path = option == "--preset" ? s.presetPath : s.savePresetPath;
        if (! path.empty())
            return option + " may be given only once";
        if (value.empty())
            return option + " needs a file name";
        if (option == "--save-preset")
        {
            // The preset is named after its file, so the name before the extension must not be empty.
            const std::string extension = presetExtension;
            if (! endsWithIgnoringCase (value, extension) || fileNameOf (value).size() <= extension.size())
                return "preset file '" + value + "' must be named NAME" + presetExtension;
        }
        path = value;
    }
    return {};
}
} // namespace

int parseModeName (const std::string& text)
{
    unsigned long long n = 0;
    if (parseUnsigned (text, (unsigned long long) modeCount - 1, n))
        return (int) n;
    const auto wanted = foldedName (text);
    for (int m = 0; m < modeCount && ! wanted.empty(); ++m)
        if (foldedName (modeName (m)) == wanted)
            return m;
    return -1;
}

ParseResult parseArguments (const std::vector<std::string>& args)
{
    ParseResult result;
    auto& s = result.settings;
    std::vector<std::string> positional;
    bool rateGiven = false, impulse = false, optionsEnded = false;
    std::string firstRenderOption;

    // Help and list win over everything else, so they work even next to a mistyped option.
    for (const auto& a : args)
    {
        if (a == "--")
            break;
        if (a == "-h" || a == "--help")
            return { Command::help, s, {} };
        if (a == "--list")
            return { Command::list, s, {} };
        if (a == "--list-presets")
            return { Command::listPresets, s, {} };
    }

    auto fail = [&result] (std::string message) {
        result.error = std::move (message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-')
        {
            positional.push_back (a);
            continue;
        }
        if (a == "--")
        {
            optionsEnded = true;
            continue;
        }

        auto option = a;
        std::optional<std::string> value;
        if (const auto equals = a.find ('='); a.rfind ("--", 0) == 0 && equals != std::string::npos)
        {
            option = a.substr (0, equals);
            value = a.substr (equals + 1);
        }

        if (onlyForRendering (option) && firstRenderOption.empty())
            firstRenderOption = option;
        if (option == "--impulse" || option == "--quiet" || option == "-q")
        {
            if (value)
                return fail (option + " takes no value");
            (option == "--impulse" ? impulse : s.quiet) = true;
            continue;
        }
        if (! takesValue (option))
            return fail ("unknown option '" + a + "' (see --help)");
        if (! value)
        {
            if (i + 1 >= args.size())
                return fail (option + " needs a value (see --help)");
            value = args[++i];
        }
        if (auto error = applyOption (option, *value, s, rateGiven); ! error.empty())
            return fail (error);
    }

    if (positional.empty() && ! s.savePresetPath.empty())
    {
        // Saving a preset alone renders nothing, so render options would silently do nothing.
        if (! firstRenderOption.empty())
            return fail (firstRenderOption + " applies only when rendering: give OUTPUT.wav");
        return result;
    }
    if (positional.empty())
        return fail ("missing OUTPUT.wav (see --help)");
    if (positional.size() > 2)
        return fail ("too many arguments: expected [INPUT] OUTPUT.wav, got '" + positional[2] + "' as a third");

    s.outputPath = positional.back();
    if (positional.size() == 2)
    {
        s.inputPath = positional.front();
        s.source = SourceKind::file;
        if (impulse)
            return fail ("--impulse renders without an input file, but '" + s.inputPath + "' was given");
        if (rateGiven)
            return fail ("--rate applies only without an input file; the output keeps the input's rate");
    }
    else
    {
        s.source = impulse ? SourceKind::impulse : SourceKind::demo;
    }

    if (s.outputPath.empty())
        return fail ("the output file name is empty");
    if (! endsWithIgnoringCase (s.outputPath, ".wav"))
        return fail ("output '" + s.outputPath + "' must end in .wav (the renderer writes WAV files only)");
    return result;
}

NormalisedValues defaultNormalisedValues()
{
    NormalisedValues values {};
    for (int i = 0; i < param::count; ++i)
        values[(size_t) i] = defaultNormalised (parameterInfo (i));
    return values;
}

std::array<float, param::count> finalPhysicalValues (const RenderSettings& settings, const NormalisedValues& start)
{
    auto normalised = start;
    for (const auto& p : settings.parameters)
        normalised[(size_t) p.index] = p.normalised;

    std::array<float, param::count> physical {};
    for (int i = 0; i < param::count; ++i)
        physical[(size_t) i] = toPhysical (parameterInfo (i), normalised[(size_t) i]);
    return physical;
}

double effectiveTailSeconds (const RenderSettings& settings, double sampleRate, const NormalisedValues& start)
{
    if (settings.tailSeconds)
        return *settings.tailSeconds;
    const auto v = finalPhysicalValues (settings, start);
    const double estimate = reverbTailSeconds (v[param::predelay], v[param::earlySize], v[param::decay],
                                               v[param::rtBassMultiply], sampleRate);
    return std::clamp (estimate, 0.0, RenderSettings::maximumAutomaticTail);
}

} // namespace quorvane::cli
