// Runs the reverb benchmarks and closes with a summary comparing the engine with juce::dsp::Reverb.

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
                rtFactors[run.run_name.function_name] = it->second.value;
        }
    }

    /** The real-time factor of one benchmark function, or 0 when it did not run. */
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

    const double engine = reporter.rtFactor ("BM_QuorvaneEngine");
    const double juceReverb = reporter.rtFactor ("BM_JuceDspReverb");

    std::printf ("\nReal-time factor (seconds of 48 kHz stereo audio per second of CPU time, 512-sample blocks):\n");
    std::printf ("  Quorvane engine, mode 0, default parameters : %10.1f\n", engine);
    std::printf ("  juce::dsp::Reverb, default parameters       : %10.1f\n", juceReverb);

    if (engine > 0.0 && juceReverb > 0.0)
        std::printf ("  CPU cost ratio engine / juce::dsp::Reverb   : %10.2f  (the engine needs %.2f times the CPU time)\n",
                     juceReverb / engine, juceReverb / engine);
    else
        std::printf ("  CPU cost ratio: not available (run both benchmarks)\n");

    return 0;
}
