#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace quorvane::test
{
namespace
{

juce::MemoryBlock chunkOf (const juce::String& xml)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    out.writeInt ((int) xml.getNumBytesAsUTF8());
    out.write (xml.toRawUTF8(), xml.getNumBytesAsUTF8());
    out.writeByte (0);
    return block;
}

void restore (Quorvane& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), (int) block.getSize());
}

/** A processor with every setting away from its default. */
std::unique_ptr<Quorvane> modified()
{
    auto p = std::make_unique<Quorvane>();
    for (int i = 0; i < param::count; ++i)
        p->setParameter (static_cast<param::Index> (i), 0.137f + 0.031f * (float) i);
    p->setParameter (param::type, typeNormalisedForMode (0));
    p->setPresetName ("Snare Plate \"ü\" <&>");
    p->mixLock = true;
    p->uiWidth = 1000;
    p->uiHeight = 680;
    return p;
}
} // namespace

TEST (SavedState, RoundTripRestoresValuesNameAndEditorSettings)
{
    auto source = modified();
    juce::MemoryBlock chunk;
    source->getStateInformation (chunk);

    Quorvane restored;
    restore (restored, chunk);
    EXPECT_EQ (allValues (restored), allValues (*source));
    EXPECT_EQ (restored.getPresetName(), source->getPresetName());
    EXPECT_TRUE (restored.mixLock);
    EXPECT_EQ (restored.uiWidth, 1000);
    EXPECT_EQ (restored.uiHeight, 680);
}

TEST (SavedState, ChunkIsMagicLengthOneLineOfXmlAndAZeroByte)
{
    Quorvane p;
    juce::MemoryBlock chunk;
    chunk.append ("stale", 5); // replaced, not appended to
    p.getStateInformation (chunk);
    const auto* bytes = static_cast<const char*> (chunk.getData());
    ASSERT_GT (chunk.getSize(), 9u);
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    juce::uint32 length = 0;
    std::memcpy (&length, bytes + 4, 4);
    EXPECT_EQ (length + 9, chunk.getSize());
    EXPECT_EQ (bytes[chunk.getSize() - 1], 0);

    const juce::String text (juce::CharPointer_UTF8 (bytes + 8), (size_t) length);
    EXPECT_FALSE (text.contains ("\n"));
    EXPECT_TRUE (text.startsWith ("<Quorvane pluginVersion=\"1.1.1\" presetName=\"Default\" mix=\"1\" predelay="));
    EXPECT_TRUE (text.contains (" lateSize=\"0.5\" "));
    EXPECT_TRUE (text.contains (" type=\"0.083333335816860198975\" mixLock=\"0\" uiWidth=\"735\" uiHeight=\"500\"/>"));
}

TEST (SavedState, RootTagIsMatchedIgnoringCaseAndOtherTagsChangeNothing)
{
    Quorvane p;
    restore (p, chunkOf ("<QUORVANE presetName=\"Loud\" decay=\"0.5\" mixLock=\"yes\" uiWidth=\"900\"/>"));
    EXPECT_EQ (p.getPresetName(), "Loud");
    EXPECT_EQ (p.getParameter (param::decay), 0.5f);
    EXPECT_TRUE (p.mixLock);
    EXPECT_EQ (p.uiWidth, 900);
    EXPECT_EQ (p.uiHeight, 500); // missing: kept

    const auto before = allValues (p);
    restore (p, chunkOf ("<Other presetName=\"X\" decay=\"0.9\" uiHeight=\"600\"/>"));
    EXPECT_EQ (allValues (p), before);
    EXPECT_EQ (p.getPresetName(), "Loud");
    EXPECT_TRUE (p.mixLock);
    EXPECT_EQ (p.uiHeight, 500);

    restore (p, chunkOf ("<Quorvane presetName=\"Quiet\" uiHeight=\"600\"/>"));
    EXPECT_FALSE (p.mixLock); // absent from a state of ours reads as off
    EXPECT_EQ (p.uiHeight, 600);
}

TEST (SavedState, MissingAttributesKeepValuesAndTextReadsAsZero)
{
    Quorvane p;
    p.setParameter (param::type, typeNormalisedForMode (3));
    const auto before = allValues (p);
    restore (p, chunkOf ("<Quorvane decay=\"abc\"/>"));
    EXPECT_EQ (p.getParameter (param::decay), 0.0f);
    EXPECT_EQ (p.getParameterText (param::decay), "0.10 s ");
    EXPECT_EQ (p.getParameter (param::type), before[param::type]);
    EXPECT_EQ (p.getPresetName(), ""); // a missing name reads as empty
}

TEST (SavedState, OutsideValuesAreClampedAndNonFiniteOnesIgnored)
{
    Quorvane p;
    const float lateSize = p.getParameter (param::lateSize);
    restore (p, chunkOf ("<Quorvane decay=\"-5\" mix=\"7\" predelay=\"1e300\" lateSize=\"nan\" diffusion=\"inf\"/>"));
    EXPECT_EQ (p.getParameter (param::decay), 0.0f);
    EXPECT_EQ (p.getParameter (param::mix), 1.0f);
    EXPECT_EQ (p.getParameter (param::predelay), 1.0f);
    EXPECT_EQ (p.getParameter (param::lateSize), lateSize);
    EXPECT_EQ (p.getParameter (param::diffusion), 1.0f);
}

TEST (SavedState, MalformedChunksChangeNothingAndNeverCrash)
{
    auto p = modified();
    const auto before = allValues (*p);
    const auto name = p->getPresetName();

    juce::MemoryBlock good;
    p->getStateInformation (good);
    const auto* bytes = static_cast<const char*> (good.getData());

    std::vector<juce::MemoryBlock> bad;
    bad.emplace_back (bytes, 8);                    // header only
    bad.emplace_back (bytes, good.getSize() / 2);   // truncated: the XML no longer parses
    bad.push_back (chunkOf ("<Quorvane mix=\"0\"")); // unterminated
    {
        // Malformed UTF-8 after a valid start: the framework's text classes would read past it.
        const char raw[] = "<Quorvane mix=\"0\" presetName=\"\xff\xfe\xc3\"/>";
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) sizeof (raw) - 1);
        out.write (raw, sizeof (raw) - 1);
        out.writeByte (0);
        out.flush();
        bad.push_back (block);
    }
    juce::MemoryBlock zeroLength (good);
    std::memset (static_cast<char*> (zeroLength.getData()) + 4, 0, 4);
    bad.push_back (zeroLength);
    juce::MemoryBlock otherMagic (good);
    static_cast<char*> (otherMagic.getData())[0] = 'X';
    bad.push_back (otherMagic);
    std::mt19937 gen (11);
    for (int k = 0; k < 200; ++k)
    {
        juce::MemoryBlock random ((size_t) (gen() % 300));
        for (size_t i = 0; i < random.getSize(); ++i)
            random[i] = (char) gen();
        if (k % 2 == 0 && random.getSize() >= 8)
            std::memcpy (random.getData(), "VC2!", 4);
        bad.push_back (random);
    }

    for (const auto& chunk : bad)
        restore (*p, chunk);
    p->setStateInformation (nullptr, 100);
    EXPECT_EQ (allValues (*p), before);
    EXPECT_EQ (p->getPresetName(), name);
    EXPECT_TRUE (p->mixLock);
}

TEST (SavedState, RestoredStateRendersLikeTheOriginal)
{
    auto source = makeProcessor();
    setPhysical (*source, param::decay, 1.3f);
    setPhysical (*source, param::lateModDepth, 0.0f);
    setPhysical (*source, param::predelay, 33.0f);
    juce::MemoryBlock chunk;
    source->getStateInformation (chunk);
    auto copy = makeProcessor();
    restore (*copy, chunk);

    const Stereo input { impulse (24000), impulse (24000) };
    const auto a = render (*source, input, 256);
    const auto b = render (*copy, input, 256);
    EXPECT_EQ (a.left, b.left);
    EXPECT_EQ (a.right, b.right);
}

} // namespace quorvane::test
