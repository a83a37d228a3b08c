// Feeds arbitrary bytes to the saved-state decoder and the preset-document parser, and checks
// that whatever they accept reads back as values inside 0..1.
#include "processor/PresetDocument.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    using namespace quorvane;

    auto check = [] (const juce::XmlElement& element) {
        const auto contents = presetdoc::readElement (element);
        for (const auto& value : contents.values)
            if (value && ! (*value >= 0.0f && *value <= 1.0f))
                std::abort();
        presetdoc::readInteger (element, "uiWidth", 735);
        element.getBoolAttribute ("mixLock");
    };

    if (const auto element = presetdoc::decodeStateChunk (data, (int) std::min<size_t> (size, 1 << 20)))
        check (*element);

    const auto text =
        juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) std::min<size_t> (size, 1 << 20));
    if (const auto element = presetdoc::parsePresetText (text))
        check (*element);
    return 0;
}
