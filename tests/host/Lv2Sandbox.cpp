#include "Lv2Sandbox.h"

#include <cstdlib>

namespace quorvane::hosttest
{

Lv2Sandbox::Lv2Sandbox (const juce::File& bundle)
    : home (juce::String(), juce::TemporaryFile::useHiddenFile)
{
    const auto homeDir = home.getFile();
    const auto lv2Dir = homeDir.getChildFile (".lv2");
    copiedBundle = lv2Dir.getChildFile (bundle.getFileName());

    if (! bundle.isDirectory() || ! lv2Dir.createDirectory() || ! bundle.copyDirectoryTo (copiedBundle))
        return;

    if (const char* old = std::getenv ("HOME"))
    {
        hadHome = true;
        previousHome = old;
    }
    ready = ::setenv ("HOME", homeDir.getFullPathName().toRawUTF8(), 1) == 0;
}

Lv2Sandbox::~Lv2Sandbox()
{
    if (hadHome)
        ::setenv ("HOME", previousHome.toRawUTF8(), 1);
    else
        ::unsetenv ("HOME");

    home.getFile().deleteRecursively();
}

juce::String pluginUriFromManifest (const juce::File& bundle)
{
    // The framework writes one statement per plug-in: "<URI>\n\ta lv2:Plugin ;". A full Turtle
    // parser is not needed for a manifest of that shape; anything else yields an empty result.
    const auto lines = juce::StringArray::fromLines (bundle.getChildFile ("manifest.ttl").loadFileAsString());

    for (int i = 0; i + 1 < lines.size(); ++i)
    {
        const auto subject = lines[i].trim();
        if (subject.startsWithChar ('<') && subject.endsWithChar ('>')
            && lines[i + 1].trim().startsWith ("a lv2:Plugin"))
            return subject.substring (1, subject.length() - 1);
    }
    return {};
}

bool isProperPluginUri (const juce::String& uri)
{
    const auto scheme = uri.upToFirstOccurrenceOf ("://", false, false);
    if (scheme != "http" && scheme != "https")
        return false;

    const auto host = uri.fromFirstOccurrenceOf ("://", false, false).upToFirstOccurrenceOf ("/", false, false);
    return host.isNotEmpty() && ! uri.containsAnyOf (" \t\r\n<>\"{}|\\^`");
}

} // namespace quorvane::hosttest
