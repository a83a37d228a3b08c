// The processor's saved state and preset operations.
#include "Quorvane.h"

#include "PresetDocument.h"
#include "PresetLibrary.h"

namespace quorvane
{

presetdoc::Values Quorvane::currentValues() const
{
    presetdoc::Values values {};
    for (int i = 0; i < param::count; ++i)
        values[(size_t) i] = getParameter (static_cast<param::Index> (i));
    return values;
}

void Quorvane::getStateInformation (juce::MemoryBlock& destData)
{
    auto element = presetdoc::createElement (getPresetName(), currentValues());
    element->setAttribute ("mixLock", mixLock ? 1 : 0);
    element->setAttribute ("uiWidth", uiWidth.load());
    element->setAttribute ("uiHeight", uiHeight.load());
    presetdoc::encodeStateChunk (*element, destData);
}

void Quorvane::setStateInformation (const void* data, int sizeInBytes)
{
    // Only a complete state of this product is taken: a chunk with another root element, a
    // truncated or malformed one changes nothing at all (not even the editor settings).
    const auto element = presetdoc::decodeStateChunk (data, sizeInBytes);
    if (element == nullptr)
        return;

    // The editor settings go first: the change message below makes an open editor re-read them.
    mixLock = element->getBoolAttribute ("mixLock");
    uiWidth = presetdoc::readInteger (*element, "uiWidth", uiWidth.load());
    uiHeight = presetdoc::readInteger (*element, "uiHeight", uiHeight.load());

    const auto contents = presetdoc::readElement (*element);
    setPresetName (contents.presetName);
    for (int i = 0; i < param::count; ++i)
        if (const auto& value = contents.values[(size_t) i])
            setParameter (static_cast<param::Index> (i), *value);
    notifyParameterChanged();

    // Hosts that keep parameter values of their own (LV2 control ports) learn them through the
    // parameter listeners; without this they would play on with the values from before.
    announceParametersToHost();
}

juce::String Quorvane::getPresetName() const
{
    const juce::SpinLock::ScopedLockType lock (presetNameLock);
    return presetName;
}

void Quorvane::setPresetName (const juce::String& newName)
{
    // The old text is released after the lock, so no other thread spins on a free().
    juce::String previous (newName);
    {
        const juce::SpinLock::ScopedLockType lock (presetNameLock);
        std::swap (presetName, previous);
    }
}

juce::String Quorvane::presetToText() const
{
    return presetdoc::createElement (getPresetName(), currentValues())->toString();
}

void Quorvane::presetFromText (const juce::String& text)
{
    if (const auto element = presetdoc::parsePresetText (text))
        applyPreset (*element);
}

bool Quorvane::savePresetFile (const juce::File& file) const
{
    // writeTo goes through a temporary file that replaces the target only once it is complete.
    return presetdoc::createElement (getPresetName(), currentValues())->writeTo (file);
}

void Quorvane::loadPresetFile (const juce::File& file)
{
    juce::String text;
    if (! presetdoc::readPresetFileText (file, text))
        return;
    if (const auto element = presetdoc::parsePresetText (text))
        applyPreset (*element);
}

juce::File Quorvane::getPresetFolder (int kind) { return presetlib::getPresetFolder (kind); }

void Quorvane::applyPreset (const juce::XmlElement& element)
{
    const auto contents = presetdoc::readElement (element);
    setPresetName (contents.presetName);

    auto apply = [this, &contents] (int index) {
        auto* parameter = getParameters()[index];
        const auto value = contents.values[(size_t) index];
        if (parameter == nullptr || ! value)
            return;
        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost (*value);
        parameter->endChangeGesture();
    };
    // `type` comes before `mix`, which is applied last and only while the MIX lock is off.
    for (int i = 1; i < param::count; ++i)
        apply (i);
    if (! mixLock)
        apply (param::mix);
}

} // namespace quorvane
