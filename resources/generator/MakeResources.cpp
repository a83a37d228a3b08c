// Writes the editor's embedded resources from the free Lato Semibold font (Debian's fonts-lato):
//   typeface.bin    the font's Latin-1 glyphs as a framework custom-typeface stream, zlib-compressed
//   header.png      735 x 111, the product's logotype in white and light grey on transparency
//   arrow_left.png, arrow_right.png   23 x 23 solid red triangles on transparency
// Everything is drawn from the glyph outlines by the framework's software renderer, so the same
// font file always gives the same bytes. Usage: quorvane-make-resources FONT.ttf OUTPUT_FOLDER
#include <juce_graphics/juce_graphics.h>

#include <cstdio>

namespace
{

juce::MemoryBlock typefaceStream (const juce::File& fontFile)
{
    juce::MemoryBlock fontData;
    if (! fontFile.loadFileAsData (fontData))
        return {};

    auto source = juce::Typeface::createSystemTypefaceFor (fontData.getData(), fontData.getSize());
    if (source == nullptr)
        return {};

    juce::CustomTypeface face;
    face.setCharacteristics ("Lato Semibold", source->getAscent(), false, false, ' ');
    face.addGlyphsFromOtherTypeface (*source, 32, 256 - 32);

    juce::MemoryOutputStream raw;
    face.writeToStream (raw);

    juce::MemoryBlock compressed;
    {
        juce::MemoryOutputStream sink (compressed, false);
        juce::GZIPCompressorOutputStream zlib (sink, 9); // default window bits: zlib format
        zlib.write (raw.getData(), raw.getDataSize());
    }
    return compressed;
}

juce::Image header (juce::Typeface::Ptr face)
{
    juce::Image image (juce::Image::ARGB, 735, 111, true, juce::SoftwareImageType());
    juce::Graphics g (image);

    // The logotype keeps inside x 26..705, y 15..67 of the picture.
    const juce::Rectangle<float> area (26.0f, 17.0f, 679.0f, 48.0f);
    const juce::Font word (juce::Font (face).withHeight (56.0f).withExtraKerningFactor (0.08f));
    const juce::String first ("QUOR"), second ("VANE");
    const float firstWidth = word.getStringWidthFloat (first);

    g.setFont (word);
    g.setColour (juce::Colours::white);
    g.drawText (first, area.withWidth (firstWidth + 4.0f), juce::Justification::centredLeft, false);
    g.setColour (juce::Colour (0xffc4c4c4));
    g.drawText (second, area.withTrimmedLeft (firstWidth), juce::Justification::centredLeft, false);

    const juce::Font tagFont (juce::Font (face).withHeight (20.0f).withExtraKerningFactor (0.15f));
    const juce::String tag ("ALGORITHMIC REVERB");
    const float tagWidth = tagFont.getStringWidthFloat (tag);
    g.setFont (tagFont);
    g.drawText (tag, area.withTrimmedBottom (6.0f), juce::Justification::bottomRight, false);

    g.setColour (juce::Colours::white);
    g.fillRect (juce::Rectangle<float> (area.getRight() - tagWidth, area.getBottom() - 3.0f, tagWidth, 2.0f));
    return image;
}

juce::Image arrow (bool pointsRight)
{
    juce::Image image (juce::Image::ARGB, 23, 23, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    juce::Path triangle;
    if (pointsRight)
        triangle.addTriangle (3.0f, 2.0f, 3.0f, 21.0f, 21.0f, 11.5f);
    else
        triangle.addTriangle (20.0f, 2.0f, 20.0f, 21.0f, 2.0f, 11.5f);
    g.setColour (juce::Colour (0xffff0000));
    g.fillPath (triangle);
    return image;
}

bool writePng (const juce::Image& image, const juce::File& file)
{
    juce::MemoryOutputStream bytes;
    juce::PNGImageFormat png;
    return png.writeImageToStream (image, bytes) && file.replaceWithData (bytes.getData(), bytes.getDataSize());
}

} // namespace

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: %s FONT.ttf OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }

    const juce::File font (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    const juce::File out (juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]));
    out.createDirectory();

    const auto stream = typefaceStream (font);
    if (stream.isEmpty() || ! out.getChildFile ("typeface.bin").replaceWithData (stream.getData(), stream.getSize()))
    {
        std::fprintf (stderr, "cannot convert %s\n", font.getFullPathName().toRawUTF8());
        return 1;
    }

    // Draw with the stream as the editor will read it back, not with the original font.
    juce::MemoryInputStream packed (stream, false);
    juce::GZIPDecompressorInputStream unpacked (packed);
    juce::Typeface::Ptr face (new juce::CustomTypeface (unpacked));

    const bool ok = writePng (header (face), out.getChildFile ("header.png"))
                 && writePng (arrow (false), out.getChildFile ("arrow_left.png"))
                 && writePng (arrow (true), out.getChildFile ("arrow_right.png"));
    return ok ? 0 : 1;
}
