// Feeds arbitrary bytes to the renderer's input stage as a file on disk: opening it as the
// renderer does (WAV, AIFF, FLAC), then reading every sample it promises, block by block.
#include "cli/AudioFileSource.h"
#include "cli/RenderSettings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    using namespace quorvane::cli;

    // The renderer picks the reader by the file's extension: give each input the extension its
    // first bytes suggest, so that mutations of a seed keep reaching that seed's reader.
    auto startsWith = [&] (const char* magic) { return size >= 4 && std::memcmp (data, magic, 4) == 0; };
    const char* extension = startsWith ("FORM")   ? ".aiff"
                            : startsWith ("fLaC") ? ".flac"
                            : startsWith ("RIFF") || startsWith ("RF64")
                                ? ".wav"
                                : (const char*[]) { ".wav", ".aiff", ".flac" }[size % 3];

    // One file per format and fuzzing process, in memory where the system offers it.
    static const juce::File dir = []
    {
        const juce::File shm ("/dev/shm");
        return shm.isDirectory() ? shm : juce::File::getSpecialLocation (juce::File::tempDirectory);
    }();
    static const juce::String stem = "quorvane-audio-fuzz-" + juce::String (getpid());
    static const struct Cleanup
    {
        ~Cleanup()
        {
            for (const char* e : { ".wav", ".aiff", ".flac" })
                dir.getChildFile (stem + e).deleteFile();
        }
    } cleanup;
    const auto file = dir.getChildFile (stem + extension);
    const auto path = file.getFullPathName().toStdString();
    if (! file.replaceWithData (data, size))
        std::abort();

    std::string error, warning;
    auto source = AudioFileSource::open (path, error, warning);
    if (source == nullptr)
    {
        if (std::getenv ("QUORVANE_FUZZ_VERBOSE") != nullptr)
            std::fprintf (stderr, "%s\n", error.c_str());
        if (error.empty())
            std::abort(); // a refusal always says why
        return 0;
    }

    const int channels = source->numChannels();
    if (channels < 1 || channels > 2 || ! (source->sampleRate() >= minimumRate && source->sampleRate() <= maximumRate)
        || source->lengthInSamples() < 0)
        std::abort();
    if (source->formatName() != "FLAC file" && source->lengthInSamples() > (int64_t) size)
        std::abort(); // more uncompressed samples than bytes: invented audio

    constexpr int block = 4096;
    std::vector<float> left (block), right (block);
    float* dest[] = { left.data(), right.data() };
    for (int64_t done = 0; done < source->lengthInSamples(); done += block)
        if (! source->read (dest, (int) std::min<int64_t> (block, source->lengthInSamples() - done)))
            break;
    return 0;
}
