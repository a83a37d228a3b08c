// Offscreen renders of the editor at the default, minimum and maximum sizes: colours at known
// places, and text drawn with the embedded typeface.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

namespace quorvane::editortest
{

namespace
{
juce::Image render (QuorvaneEditor& editor)
{
    return editor.createComponentSnapshot (editor.getLocalBounds(), true, 1.0f);
}

juce::Colour pixel (const juce::Image& image, juce::Point<int> p) { return image.getPixelAt (p.x, p.y); }

juce::Point<int> scaled (float s, int x, int y) { return { (int) ((float) x * s), (int) ((float) y * s) }; }

::testing::AssertionResult hasColour (const juce::Image& image, juce::Point<int> p, juce::Colour expected,
                                      int tolerance = 2)
{
    const auto actual = pixel (image, p);
    const bool close = std::abs (actual.getRed() - expected.getRed()) <= tolerance
                    && std::abs (actual.getGreen() - expected.getGreen()) <= tolerance
                    && std::abs (actual.getBlue() - expected.getBlue()) <= tolerance;
    if (close)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at " << p.toString() << ": " << actual.toDisplayString (false)
                                         << " instead of " << expected.toDisplayString (false);
}

/** The typeface as the resources folder holds it, read independently of the editor. */
juce::Typeface::Ptr typefaceFromResources()
{
    juce::MemoryBlock packed;
    juce::File (QUORVANE_RESOURCES_DIR).getChildFile ("typeface.bin").loadFileAsData (packed);
    juce::MemoryInputStream in (packed, false);
    juce::GZIPDecompressorInputStream unpacked (in);
    return new juce::CustomTypeface (unpacked);
}

/** How a caption label draws its text: white on the editor's grey, inside its border. */
juce::Image captionWith (const juce::Label& label, const juce::Font& font)
{
    juce::Image image (juce::Image::ARGB, label.getWidth(), label.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (juce::Colour (0xff464646));
    g.setColour (juce::Colours::white);
    g.setFont (font);
    const auto area = label.getBorderSize().subtractedFrom (label.getLocalBounds());
    g.drawFittedText (label.getText(), area, label.getJustificationType(),
                      juce::jmax (1, (int) ((float) area.getHeight() / font.getHeight())),
                      label.getMinimumHorizontalScale());
    return image;
}

int differingPixels (const juce::Image& a, const juce::Image& b, juce::Point<int> offsetInA)
{
    int count = 0;
    for (int y = 0; y < b.getHeight(); ++y)
        for (int x = 0; x < b.getWidth(); ++x)
        {
            const auto pa = a.getPixelAt (x + offsetInA.x, y + offsetInA.y), pb = b.getPixelAt (x, y);
            if (std::abs (pa.getBrightness() - pb.getBrightness()) > 0.04f)
                ++count;
        }
    return count;
}
} // namespace

class EditorPixels : public ::testing::TestWithParam<int>
{
};

TEST_P (EditorPixels, ShowsBackgroundPanelFadersKnobsAndPages)
{
    Quorvane p;
    p.uiWidth = GetParam();
    p.uiHeight = juce::roundToInt (GetParam() / 1.47);
    QuorvaneEditor e (p);
    const float s = e.getUiScale();
    const auto image = render (e);
    ASSERT_EQ (image.getWidth(), GetParam());

    const juce::Colour background (0xff464646), panel (0xff343434);
    EXPECT_TRUE (hasColour (image, scaled (s, 5, 5), background));
    EXPECT_TRUE (hasColour (image, scaled (s, 370, 250), background));
    EXPECT_TRUE (hasColour (image, scaled (s, 545, 137), panel));
    EXPECT_TRUE (hasColour (image, scaled (s, 700, 370), panel));

    // The header logotype: white and light grey on the grey background, inside x 26..705, y 15..67.
    int light = 0;
    for (int y = (int) (15 * s); y < (int) (82 * s); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getBrightness() > 0.7f)
            {
                ++light;
                EXPECT_GE (x, (int) (26 * s) - 1);
                EXPECT_LE (x, (int) (705 * s) + 1);
            }
    EXPECT_GT (light, (int) (2000 * s * s));

    // The mix fader at 100 %: track colour over its whole length, the thumb bar at the top.
    const auto mix = e.getSlider (0).getBounds();
    const int trackX = mix.getCentreX();
    EXPECT_TRUE (hasColour (image, { trackX, mix.getY() + 9 }, juce::Colour (0xfff71818)));
    EXPECT_TRUE (hasColour (image, { trackX, mix.getY() + mix.getHeight() / 2 }, juce::Colour (0xffbe0505)));
    // Predelay at 10 ms of 500: the dark unfilled part above the thumb.
    const auto predelay = e.getSlider (1).getBounds();
    EXPECT_TRUE (hasColour (image, { predelay.getCentreX(), predelay.getY() + 20 }, panel));
    EXPECT_TRUE (hasColour (image, { predelay.getCentreX(), predelay.getBottom() - (int) (20 * s) - 15 },
                            juce::Colour (0xffbe0505)));
    // Outside the track the fader is transparent.
    EXPECT_TRUE (hasColour (image, { mix.getX() + 2, mix.getCentreY() }, background));

    // A knob body.
    const auto knob = e.getSlider (5).getBounds();
    EXPECT_TRUE (hasColour (image, { knob.getCentreX(), knob.getY() + (int) (45 * s) }, juce::Colour (0xff797979)));

    // The active page button is a red pill, the other one grey.
    const auto on = QuorvaneLookAndFeel2013::createBaseColour (juce::Colour (0xfffc231a), false, false, false);
    const auto off = QuorvaneLookAndFeel2013::createBaseColour (juce::Colour (0xff797979), false, false, false);
    EXPECT_TRUE (hasColour (image, scaled (s, 560, 110), on));
    EXPECT_TRUE (hasColour (image, scaled (s, 390, 110), off));
    EXPECT_GT (on.getRed(), 200);
    EXPECT_LT (on.getGreen(), 60);
}

INSTANTIATE_TEST_SUITE_P (Sizes, EditorPixels, ::testing::Values (735, 367, 1102));

TEST (EditorPixels, TextUsesTheEmbeddedTypeface)
{
    EditorFixture f;
    auto& e = *f.editor;
    const auto image = render (e);

    // Every requested name resolves to the embedded face.
    for (const char* name : { "FuturaTf", "Arial", "Monaco" })
        EXPECT_EQ (juce::Font (name, 20.0f, juce::Font::plain).getTypefacePtr()->getName(), "Lato Semibold") << name;

    const auto& label = e.getModeLabel();
    const auto embedded = captionWith (label, juce::Font (typefaceFromResources()).withHeight (20.0f));
    EXPECT_LT (differingPixels (image, embedded, label.getPosition()), 10);

    // Against a control: the same caption in another typeface differs clearly.
    const auto other = captionWith (label, juce::Font (juce::Typeface::createSystemTypefaceFor (
                                                           juce::Font ("DejaVu Serif", 20.0f, juce::Font::italic)))
                                               .withHeight (20.0f));
    EXPECT_GT (differingPixels (image, other, label.getPosition()), 40);
}

} // namespace quorvane::editortest
