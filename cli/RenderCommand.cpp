#include "RenderCommand.h"

#include "AudioFileSource.h"
#include "PresetFiles.h"
#include "ProgressBar.h"
#include "Renderer.h"
#include "WavFileSink.h"
#include "processor/PresetLibrary.h"
#include "processor/Quorvane.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

namespace quorvane::cli
{

namespace
{
int reportError (const std::string& message)
{
    std::fprintf (stderr, "quorvane-render: %s\n", message.c_str());
    return exitError;
}

std::unique_ptr<SignalSource> openSource (const RenderSettings& settings, std::string& error)
{
    switch (settings.source)
    {
        case SourceKind::file:
        {
            std::string warning;
            auto source = AudioFileSource::open (settings.inputPath, error, warning);
            if (! warning.empty())
                std::fprintf (stderr, "quorvane-render: warning: %s\n", warning.c_str());
            return source;
        }
        case SourceKind::impulse:
            return std::make_unique<MemorySource> (unitImpulse(), settings.rate);
        case SourceKind::demo:
            break;
    }
    return std::make_unique<MemorySource> (synthesiseDemo (settings.rate), settings.rate);
}

/** Publishes the preset (if any), then the command-line parameters on top of it, and the seed. */
void configure (Quorvane& processor, const RenderSettings& settings, const juce::String& presetText)
{
    if (presetText.isNotEmpty())
        processor.presetFromText (presetText);
    for (const auto& p : settings.parameters)
        processor.setParameter ((param::Index) p.index, p.normalised);
    processor.seedRandom (settings.seed);
}

/** Samples of silence after the source, estimated from the values the processor now holds. An
    impulse response is as long as the tail itself, so its one input sample counts towards it. */
int64_t tailSamples (const RenderSettings& settings, double rate, const Quorvane& processor)
{
    NormalisedValues values {};
    for (int i = 0; i < param::count; ++i)
        values[(size_t) i] = processor.getParameter ((param::Index) i);
    const auto samples = (int64_t) std::llround (effectiveTailSeconds (settings, rate, values) * rate);
    return settings.source == SourceKind::impulse ? std::max<int64_t> (0, samples - 1) : samples;
}

std::string savePresetIfAsked (Quorvane& processor, const RenderSettings& settings)
{
    if (settings.savePresetPath.empty())
        return {};
    return writePresetFile (processor, settings.savePresetPath,
                            presetlib::getPresetFolder (presetlib::userPresetFolder));
}

/** Without an output file only the preset is written: the processor is configured, not run. */
int saveWithoutRendering (const RenderSettings& settings, const juce::String& presetText)
{
    Quorvane processor;
    configure (processor, settings, presetText);
    if (auto error = savePresetIfAsked (processor, settings); ! error.empty())
        return reportError (error);
    if (! settings.quiet)
        std::fprintf (stderr, "saved preset '%s' to '%s'\n", processor.getPresetName().toRawUTF8(),
                      settings.savePresetPath.c_str());
    return exitSuccess;
}
} // namespace

int runRender (const RenderSettings& settings, const std::atomic<bool>* cancel)
{
    // The preset is checked before anything is opened, so a bad one leaves every file alone.
    juce::String presetText;
    if (! settings.presetPath.empty())
        if (auto error = readPresetFile (settings.presetPath, presetText); ! error.empty())
            return reportError (error);
    if (! settings.rendersAudio())
        return saveWithoutRendering (settings, presetText);

    std::string error;
    auto source = openSource (settings, error);
    if (source == nullptr)
        return reportError (error);

    const double rate = source->sampleRate();
    WavFileSink sink;
    if (error = sink.open (settings.outputPath, settings.inputPath, rate, settings.bits, settings.blockSize);
        ! error.empty())
        return reportError (error);

    Quorvane processor;
    Renderer renderer (processor, *source, settings.blockSize);
    configure (processor, settings, presetText);

    ProgressBar bar (! settings.quiet);
    const auto started = std::chrono::steady_clock::now();
    const auto result = renderer.run (*source, sink, tailSamples (settings, rate, processor),
                                      [&bar] (double f) { bar.update (f); }, cancel);
    bar.finish();

    switch (result.failure)
    {
        case RenderResult::Failure::cancelled:
            std::fprintf (stderr, "quorvane-render: interrupted; '%s' was not written\n", settings.outputPath.c_str());
            return exitInterrupted;
        case RenderResult::Failure::sourceRead:
            return reportError ("cannot read input '" + settings.inputPath + "': " + source->errorText());
        case RenderResult::Failure::sinkWrite:
            return reportError (sink.writeError());
        case RenderResult::Failure::none:
            break;
    }
    // The preset is written before the audio file is moved into place, so that a preset that
    // cannot be written leaves no audio output either.
    if (error = savePresetIfAsked (processor, settings); ! error.empty())
        return reportError (error);
    if (error = sink.commit(); ! error.empty())
        return reportError (error);
    const double wallSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();

    if (! result.finite)
        std::fprintf (stderr, "quorvane-render: warning: the output contains non-finite samples\n");
    if (sink.clippedSamples() > 0)
        std::fprintf (stderr, "quorvane-render: warning: %lld samples clipped in the %d-bit output (peak %+.1f dBFS)\n",
                      (long long) sink.clippedSamples(), settings.bits, 20.0 * std::log10 ((double) result.peak));

    if (! settings.quiet)
    {
        if (! settings.savePresetPath.empty())
            std::fprintf (stderr, "saved preset '%s' to '%s'\n", processor.getPresetName().toRawUTF8(),
                          settings.savePresetPath.c_str());
        const double audioSeconds = (double) result.samplesWritten / rate;
        std::fprintf (stderr, "rendered %.2f s of audio in %.2f s (%.1fx real time)\n", audioSeconds, wallSeconds,
                      audioSeconds / std::max (wallSeconds, 1e-6));
    }
    return exitSuccess;
}

} // namespace quorvane::cli
