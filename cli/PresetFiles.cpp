#include "PresetFiles.h"

#include "processor/DocumentParser.h"

#include "AudioFileSource.h"
#include "RenderSettings.h"
#include "processor/PresetDocument.h"
#include "processor/PresetLibrary.h"
#include "processor/Quorvane.h"

#include <algorithm>
#include <vector>

namespace quorvane::cli
{

namespace
{
std::string quoted (const juce::File& file) { return "'" + file.getFullPathName().toStdString() + "'"; }

/** "Rooms / Live Room" for a preset in a sub-folder, "Live Room" for one directly in the section. */
juce::String labelOf (const presetlib::Entry& entry)
{
    return entry.folder.isEmpty() ? entry.name : entry.folder + " / " + entry.name;
}

void appendSection (std::string& out, const char* title, const juce::File& folder,
                    const std::vector<presetlib::Entry>& entries, bool isFactory, int labelWidth)
{
    out += title;
    out += folder == juce::File() ? std::string (" (no folder: the application-data location does not exist)")
                                  : " in " + quoted (folder);
    out += ":\n";

    int listed = 0;
    for (const auto& entry : entries)
    {
        if (entry.isFactory != isFactory)
            continue;
        const auto label = labelOf (entry);
        out += "  " + label.toStdString() + std::string ((size_t) (labelWidth - label.length()) + 2, ' ')
               + entry.file.getFullPathName().toStdString() + "\n";
        ++listed;
    }
    if (listed == 0)
        out += folder == juce::File() || folder.isDirectory() ? "  (none)\n" : "  (none: the folder does not exist)\n";
}
} // namespace

namespace
{
constexpr bool sameText (const char* a, const char* b) { return *a == *b && (*a == 0 || sameText (a + 1, b + 1)); }
} // namespace
static_assert (sameText (presetExtension, presetdoc::extension), "the option parser checks the processor's extension");

std::string readPresetFile (const std::string& path, juce::String& text)
{
    const auto file = fileFromArgument (path);
    auto fail = [&path] (const std::string& problem) { return "cannot read preset '" + path + "': " + problem; };

    if (! file.exists())
        return fail ("no such file");
    if (file.isDirectory())
        return fail ("it is a directory");
    if (file.getSize() > maximumPresetFileBytes)
        return fail ("it is " + std::to_string (file.getSize()) + " bytes, far too large for a preset");

    juce::FileInputStream stream (file);
    if (stream.failedToOpen())
        return fail (stream.getStatus().getErrorMessage().toStdString());
    juce::MemoryBlock data;
    stream.readIntoMemoryBlock (data);
    juce::String contents;
    if (! presetdoc::textFromBytes (data.getData(), data.getSize(), contents))
        return fail ("not UTF-8 text");

    if (presetdoc::parsePresetText (contents) == nullptr)
    {
        const auto element = parseSingleElement (contents);
        if (element == nullptr)
            return fail ("not an XML document of a single element");
        return fail ("not a " + std::string (presetdoc::tag) + " preset (its root element is <"
                     + element->getTagName().toStdString() + ">)");
    }
    text = contents;
    return {};
}

std::string writePresetFile (Quorvane& processor, const std::string& path, const juce::File& userFolder)
{
    const auto file = fileFromArgument (path);
    auto fail = [&path] (const std::string& problem) { return "cannot write preset '" + path + "': " + problem; };

    if (file.isDirectory())
        return fail ("it is a directory");

    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory())
    {
        if (folder.exists())
            return fail (quoted (folder) + " is a file, not a folder");
        // Only the user's own preset folder is made on demand; the factory folder belongs to the
        // installation and any other missing folder is more likely a typing mistake.
        const bool inUserFolder = userFolder != juce::File()
                                  && (folder == userFolder || folder.getParentDirectory() == userFolder);
        if (! inUserFolder)
            return fail ("the folder " + quoted (folder) + " does not exist");
        if (const auto created = folder.createDirectory(); created.failed())
            return fail ("cannot create the folder " + quoted (folder) + ": "
                         + created.getErrorMessage().toStdString());
    }

    processor.setPresetName (file.getFileNameWithoutExtension());
    if (! processor.savePresetFile (file))
        return fail (folder.hasWriteAccess() ? std::string ("writing the file failed")
                                             : "no permission to write in " + quoted (folder));
    return {};
}

std::string presetListText (const juce::File& userFolder, const juce::File& factoryFolder)
{
    const auto entries = presetlib::listPresets (userFolder, factoryFolder);
    int labelWidth = 0;
    for (const auto& entry : entries)
        labelWidth = std::max (labelWidth, labelOf (entry).length());

    std::string out;
    appendSection (out, "user presets", userFolder, entries, false, labelWidth);
    out += "\n";
    appendSection (out, "factory presets", factoryFolder, entries, true, labelWidth);
    return out;
}

} // namespace quorvane::cli
