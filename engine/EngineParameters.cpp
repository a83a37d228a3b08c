#include "EngineParameters.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace quorvane
{

namespace
{
using C = ParameterCurve;

const std::array<ParameterInfo, param::count> table { {
    { "mix", " Mix ", " ", 0.0f, 100.0f, 100.0f, C::Linear, " % " },
    { "predelay", " PreDelay ", " ms ", 0.0f, 500.0f, 10.0f, C::Linear, " ms " },
    { "decay", " Decay ", " s ", 0.1f, 100.0f, 2.0f, C::Linear, " s " },
    { "HighCut", " HFCutoff ", " Hz ", 100.0f, 15000.0f, 8000.0f, C::Linear, " Hz " },
    { "earlyLateMix", " EarlyLateMix ", " ", 0.0f, 100.0f, 50.0f, C::Linear, " % " },
    { "lateSize", " Late Size ", " ", 0.0f, 1.0f, 0.5f, C::Linear, "" },
    { "lateCross", " Late Cross ", " ", 0.0f, 1.0f, 1.0f, C::Linear, "" },
    { "lateModRate", " ModRate ", " ", 0.05f, 5.0f, 0.5f, C::Linear, " Hz " },
    { "lateModDepth", " ModDepth ", " ", 0.0f, 1.0f, 0.5f, C::Linear, "" },
    { "RTBassMultiply", " RTBassMultiply ", " X ", 0.5f, 2.0f, 1.0f, C::Linear, " X " },
    { "RTXover", " RTXover ", " Hz ", 100.0f, 10000.0f, 1000.0f, C::Linear, " Hz " },
    { "RTHighMultiply", " RTHighMultiply ", " X ", 0.1f, 1.0f, 0.5f, C::Linear, " X " },
    { "RTHighXover", " RTHighXover ", " Hz ", 100.0f, 15000.0f, 8000.0f, C::Linear, " Hz " },
    { "earlySize", " Early Size ", " ms ", 1.0f, 1000.0f, 30.0f, C::Linear, " ms " },
    { "earlyCross", " Early Cross ", " ", 0.0f, 1.0f, 0.1f, C::Linear, "" },
    { "earlyModRate", " ModRate ", " ", 0.05f, 5.0f, 0.5f, C::Linear, " Hz " },
    { "earlyModDepth", " ModDepth ", " ", 0.0f, 1.0f, 0.0f, C::Linear, "" },
    { "earlySend", " Early Send ", " ", 0.0f, 1.0f, 0.0f, C::Linear, "" },
    { "diffusion", " Diffusion ", " ", 0.0f, 1.0f, 1.0f, C::Linear, "" },
    { "type", " Type ", " ", 0.0f, 12.0f, 1.0f, C::Scaled, "" },
} };

const char* const modeNames[modeCount] = { "Large Room", "Medium Room", "Bright Room", "Large Chamber",
                                           "Dark Room",  "Dark Chamber", "Dark Space", "Nostromo",
                                           "Narcissus",  "Sulaco",       "LV-426",     "Dense Room" };
} // namespace

const std::array<ParameterInfo, param::count>& parameterInfo() { return table; }

const ParameterInfo& parameterInfo (int index) { return table[(size_t) index]; }

void initialiseParameters (EngineParameters& params)
{
    for (size_t i = 0; i < params.size(); ++i)
    {
        const auto& info = table[i];
        params[i] = ParameterRecord { info.minimum, info.maximum, info.defaultValue, -10000.0f, -1.0f,
                                      info.curve,   info.name,    info.unit };
    }
}

float toPhysical (const ParameterInfo& info, float normalised)
{
    const float range = info.maximum - info.minimum;
    if (info.curve == ParameterCurve::Scaled)
        return normalised * range;
    return info.minimum + normalised * range;
}

float toNormalised (const ParameterInfo& info, float physical)
{
    const float range = info.maximum - info.minimum;
    if (info.curve == ParameterCurve::Scaled)
        return physical / range;
    return (physical - info.minimum) / range;
}

float defaultNormalised (const ParameterInfo& info)
{
    return (info.defaultValue - info.minimum) / (info.maximum - info.minimum);
}

std::string displayText (const ParameterInfo& info, float physical)
{
    // The classic locale: a host that sets a decimal comma must not change the texts.
    std::ostringstream number;
    number.imbue (std::locale::classic());
    number << std::fixed << std::setprecision (2) << (double) physical;
    return number.str() + info.displaySuffix;
}

int findParameter (const std::string& identifier)
{
    for (int i = 0; i < param::count; ++i)
        if (identifier == table[(size_t) i].identifier)
            return i;
    return -1;
}

const char* modeName (int mode)
{
    return (mode >= 0 && mode < modeCount) ? modeNames[mode] : "";
}

int modeForTypeValue (float typeValue)
{
    const float m = std::floor (typeValue) - 1.0f;
    // Compare in float first: converting a huge or non-finite value to int is undefined.
    if (! (m >= 1.0f && m < (float) modeCount))
        return 0;
    return (int) m;
}

float typeNormalisedForMode (int mode)
{
    return (float) (mode + 1) / 12.0f;
}

} // namespace quorvane
