#include "processor/DocumentParser.h"

#include <gtest/gtest.h>

namespace quorvane::test
{

TEST (DocumentParser, ReadsTheDocumentsTheProductWrites)
{
    juce::XmlElement written ("Quorvane");
    written.setAttribute ("presetName", "Hall <\"big\"> & 'wide' \xc3\xbc");
    written.setAttribute ("mix", "0.5");
    for (const auto& text :
         { written.toString(), written.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()) })
    {
        const auto element = parseSingleElement (text);
        ASSERT_NE (element, nullptr) << text;
        EXPECT_TRUE (element->isEquivalentTo (&written, false)) << text;
    }
}

TEST (DocumentParser, AcceptsCommentsCharacterReferencesAndAnEndTag)
{
    const auto element = parseSingleElement ("<?xml version=\"1.0\"?>\n<!-- saved by hand -->\n"
                                             "<Q a = 'x&#65;&#x42;' b=\"\">  <!-- inside --> </Q >\n<!-- after -->\n");
    ASSERT_NE (element, nullptr);
    EXPECT_EQ (element->getTagName(), "Q");
    EXPECT_EQ (element->getStringAttribute ("a"), "xAB");
    EXPECT_TRUE (element->hasAttribute ("b"));
}

TEST (DocumentParser, EveryTruncationOfADocumentReadsAsNothing)
{
    const juce::String text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quorvane presetName=\"A&amp;B\" mix=\"1\"/>";
    ASSERT_NE (parseSingleElement (text), nullptr);
    for (int length = 0; length < text.length(); ++length)
        EXPECT_EQ (parseSingleElement (text.substring (0, length)), nullptr) << length;
}

TEST (DocumentParser, RejectsWhatIsNotASingleWellFormedElement)
{
    for (const char* bad :
         { "", "text", "<Quorvane mix=\"1\">", "<Quorvane mix=1/>", "<Quorvane mix=\"1\"mix2=\"2\"/>",
           "<Quorvane a=\"1\" a=\"2\"/>", "<Quorvane><child/></Quorvane>", "<Quorvane>text</Quorvane>",
           "<Quorvane/><Quorvane/>", "<Quorvane/>trailing", "<Quorvane></Other>", "<Quorvane a=\"&bogus;\"/>",
           "<Quorvane a=\"&#0;\"/>", "<Quorvane a=\"&#xD800;\"/>", "<Quorvane a=\"<\"/>", "<!-- open <Quorvane/>",
           "<?xml version=\"1.0\" <Quorvane/>", "<1tag/>" })
        EXPECT_EQ (parseSingleElement (bad), nullptr) << bad;
}

} // namespace quorvane::test
