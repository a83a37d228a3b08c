#pragma once

#include <array>
#include <string>

namespace quorvane
{

/** Index of each of the twenty parameters; the order is part of the host interface. */
namespace param
{
enum Index : int
{
    mix,
    predelay,
    decay,
    highCut,
    earlyLateMix,
    lateSize,
    lateCross,
    lateModRate,
    lateModDepth,
    rtBassMultiply,
    rtXover,
    rtHighMultiply,
    rtHighXover,
    earlySize,
    earlyCross,
    earlyModRate,
    earlyModDepth,
    earlySend,
    diffusion,
    type
};
constexpr int count = 20;
} // namespace param

/** How a normalised host value maps to the physical value. */
enum class ParameterCurve
{
    Linear, ///< minimum + normalised x (maximum - minimum)
    Scaled  ///< normalised x (maximum - minimum)
};

/** The constant description of one parameter: identifier, labels, range and default. */
struct ParameterInfo
{
    const char* identifier;
    const char* name;
    const char* unit;
    float minimum;
    float maximum;
    float defaultValue;
    ParameterCurve curve;
    const char* displaySuffix; ///< appended to the two-decimal value; empty for plain numbers
};

/** One live parameter: its range, the current physical value and the host's normalised value.
    value and normalised start outside every range so that the first assignment always counts
    as a change and computes everything that depends on the parameter. */
struct ParameterRecord
{
    float minimum = 0.0f;
    float maximum = 1.0f;
    float defaultValue = 0.0f;
    float value = -10000.0f;
    float normalised = -1.0f;
    ParameterCurve curve = ParameterCurve::Linear;
    const char* name = "";
    const char* unit = "";
};

/** The twenty parameter records held by the engine. */
using EngineParameters = std::array<ParameterRecord, param::count>;

/** The constant table of all twenty parameters, in index order. */
const std::array<ParameterInfo, param::count>& parameterInfo();

/** The constant description of one parameter (index 0..19). */
const ParameterInfo& parameterInfo (int index);

/** Fills the records from the constant table, every value marked as never set. */
void initialiseParameters (EngineParameters& params);

/** Physical value for a normalised value, in single precision as the engine stores it. */
float toPhysical (const ParameterInfo& info, float normalised);

/** Normalised value for a physical value (the inverse of toPhysical, up to rounding). */
float toNormalised (const ParameterInfo& info, float physical);

/** The normalised default of a parameter, (default - minimum) / (maximum - minimum). */
float defaultNormalised (const ParameterInfo& info);

/** Host display text: the physical value with two decimals followed by the display suffix. */
std::string displayText (const ParameterInfo& info, float physical);

/** Index of the parameter with this identifier, or -1. */
int findParameter (const std::string& identifier);

/** Number of reverb modes and their names in the order of the editor's list. */
constexpr int modeCount = 12;
const char* modeName (int mode);

/** The reverb mode a physical `type` value selects: floor(value) - 1, unknown values run mode 0. */
int modeForTypeValue (float typeValue);

/** The normalised `type` value that selects a mode, (mode + 1) / 12. */
float typeNormalisedForMode (int mode);

} // namespace quorvane
