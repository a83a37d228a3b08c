// Runs the reverb benchmarks and closes with a summary comparing the engine with juce::dsp::Reverb.

#include "EngineParameters.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace
{

/** Console output as usual, plus the "rt_factor" counter of every run, kept for the summary. */
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    // Colour only on a terminal, so that redirected output stays plain text.
    SummaryReporter() : ConsoleReporter (isatty (fileno (stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns (const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns (reports);
        for (const auto& run : reports)
        {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const auto it = run.counters.find ("rt_factor");
            if (it != run.counters.end())
                rtFactors[run.run_name.str()] = it->second.value;
        }
    }

    /** The real-time factor of one benchmark ("name" or "name/argument"), or 0 when it did not run. */
    double rtFactor (const std::string& name) const
    {
        const auto it = rtFactors.find (name);
        return it == rtFactors.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> rtFactors;
};

} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    const double largeRoom = reporter.rtFactor ("BM_QuorvaneEngine/0");
    const double juceReverb = reporter.rtFactor ("BM_JuceDspReverb");

    std::printf ("\nReal-time factor (seconds of 48 kHz stereo audio per second of CPU time, 512-sample blocks,\n"
                 "default parameters) and CPU cost relative to Large Room and to juce::dsp::Reverb:\n");
    for (int mode = 0; mode < quorvane::modeCount; ++mode)
    {
        const double rt = reporter.rtFactor ("BM_QuorvaneEngine/" + std::to_string (mode));
        if (rt <= 0.0)
            continue;
        std::printf ("  mode %2d %-14s %10.1f   x%5.2f Large Room", mode, quorvane::modeName (mode), rt,
                     largeRoom > 0.0 ? largeRoom / rt : 0.0);
        if (juceReverb > 0.0)
            std::printf ("   x%5.2f juce::dsp::Reverb", juceReverb / rt);
        std::printf ("\n");
    }
    std::printf ("  juce::dsp::Reverb      %10.1f\n", juceReverb);
    if (largeRoom <= 0.0 || juceReverb <= 0.0)
        std::printf ("  (run all benchmarks for the ratios)\n");

    return 0;
}
