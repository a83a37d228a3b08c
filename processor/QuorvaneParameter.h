#pragma once

#include "engine/EngineParameters.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace quorvane
{

class Quorvane;

/** One of the twenty host-visible parameters. It holds no value of its own: it reads and writes
    the processor's published normalised value, so host, editor, state and presets share one. */
class QuorvaneParameter final : public juce::AudioProcessorParameterWithID
{
public:
    /** Binds the parameter to its index in the processor's table. */
    QuorvaneParameter (Quorvane& owner, param::Index index);

    /** The processor's current normalised value. */
    float getValue() const override;
    /** Host automation (any thread): clamped into 0..1, non-finite values are ignored. */
    void setValue (float newValue) override;
    /** The normalised default of the parameter table. */
    float getDefaultValue() const override;
    /** Two-decimal physical value with its suffix, for any normalised value. */
    juce::String getText (float normalisedValue, int maximumStringLength) const override;
    /** Reads the leading number of a display text back into a normalised value. */
    float getValueForText (const juce::String& text) const override;

    /** The index of this parameter in the table. */
    param::Index getIndex() const noexcept { return index; }

private:
    Quorvane& owner;
    const param::Index index;
    const ParameterInfo& info;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuorvaneParameter)
};

} // namespace quorvane
