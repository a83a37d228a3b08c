// Runs the reverb and building-block benchmarks and closes with a summary: every mode's cost
// relative to Large Room and to juce::dsp::Reverb at each rate, its cost by host block size, then
// the blocks' cost per sample.

#include "BenchSignal.h"
#include "EngineParameters.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{

/** What the summary needs of one run: its counters and its CPU time per iteration. */
struct RunFigures
{
    std::map<std::string, double> counters;
    double cpuNanoseconds = 0.0;
};

/** Console output as usual, plus the counters of every run ("name" or "name/arguments"), kept
    for the summary. */
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
            // With --benchmark_repetitions the median stands for the benchmark: on a shared
            // machine it is the figure least moved by other load.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && ! median))
                continue;
            const std::string name = run.run_name.function_name
                                     + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            if (! median && medians.count (name) != 0)
                continue;
            RunFigures figures;
            for (const auto& [counterName, counter] : run.counters)
                figures.counters[counterName] = counter.value;
            figures.cpuNanoseconds = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier (run.time_unit);
            if (runs.count (name) == 0)
                order.push_back (name);
            runs[name] = figures;
            if (median)
                medians.insert (name);
        }
    }

    /** A counter of one benchmark ("name" or "name/arguments"), or 0 when it did not run. */
    double counter (const std::string& name, const std::string& counterName) const
    {
        const auto it = runs.find (name);
        if (it == runs.end())
            return 0.0;
        const auto c = it->second.counters.find (counterName);
        return c == it->second.counters.end() ? 0.0 : c->second;
    }

    std::map<std::string, RunFigures> runs;
    std::vector<std::string> order; ///< run names in the order they ran

private:
    std::set<std::string> medians;
};

void printModeSummary (const SummaryReporter& reporter, int rate)
{
    const std::string suffix = "/" + std::to_string (rate);
    const double largeRoom = reporter.counter ("BM_Mode/0" + suffix, "rt_factor");
    const double juceReverb = reporter.counter ("BM_JuceDspReverb" + suffix, "rt_factor");

    bool any = false;
    for (int mode = 0; mode < quorvane::modeCount; ++mode)
    {
        const double rt = reporter.counter ("BM_Mode/" + std::to_string (mode) + suffix, "rt_factor");
        if (rt <= 0.0)
            continue;
        if (! any)
            std::printf ("\n  %.1f kHz\n", rate / 1000.0);
        any = true;
        std::printf ("    mode %2d %-14s %10.1f", mode, quorvane::modeName (mode), rt);
        if (largeRoom > 0.0)
            std::printf ("   x%5.2f Large Room", largeRoom / rt);
        if (juceReverb > 0.0)
            std::printf ("   x%5.2f juce::dsp::Reverb", juceReverb / rt);
        std::printf ("\n");
    }
    if (juceReverb > 0.0)
    {
        if (! any)
            std::printf ("\n  %.1f kHz\n", rate / 1000.0);
        std::printf ("    juce::dsp::Reverb      %10.1f", juceReverb);
        if (largeRoom > 0.0)
            std::printf ("   x%5.2f Large Room", largeRoom / juceReverb);
        std::printf ("\n");
    }
}

/** Each mode's CPU time per sample in every host block size that ran, relative to blocks of 256. */
void printHostBlockSummary (const SummaryReporter& reporter)
{
    bool any = false;
    for (int mode = 0; mode < quorvane::modeCount; ++mode)
    {
        const std::string prefix = "BM_HostBlock/" + std::to_string (mode) + "/";
        const double reference = reporter.counter (prefix + "256", "rt_factor");
        if (reference <= 0.0)
            continue;
        if (! any)
            std::printf ("\nHost block size (48 kHz; CPU time per sample relative to blocks of 256):\n");
        any = true;
        std::printf ("    mode %2d %-14s", mode, quorvane::modeName (mode));
        for (const int block : { 1, 64, 4096 })
            if (const double rt = reporter.counter (prefix + std::to_string (block), "rt_factor"); rt > 0.0)
                std::printf ("   %4d: x%5.3f", block, reference / rt);
        std::printf ("\n");
    }
}

void printBlockSummary (const SummaryReporter& reporter)
{
    bool any = false;
    for (const auto& name : reporter.order)
    {
        const double samplesPerSecond = reporter.counter (name, "items_per_second");
        if (samplesPerSecond <= 0.0)
            continue;
        if (! any)
            std::printf ("\nBuilding blocks (CPU time per call and per sample of one line):\n");
        any = true;
        std::printf ("  %-28s %9.1f ns %8.3f ns/sample\n", name.c_str(), reporter.runs.at (name).cpuNanoseconds,
                     1e9 / samplesPerSecond);
    }
}

} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    std::printf ("\nReal-time factor (seconds of stereo audio per second of CPU time, 512-sample blocks,\n"
                 "default parameters) and CPU cost relative to Large Room and to juce::dsp::Reverb\n"
                 "at the same rate (x7: seven times the CPU time for the same audio):\n");
    for (const int rate : quorvane::bench::benchRates)
        printModeSummary (reporter, rate);
    if (reporter.counter ("BM_Mode/0/48000", "rt_factor") <= 0.0
        || reporter.counter ("BM_JuceDspReverb/48000", "rt_factor") <= 0.0)
        std::printf ("  (run BM_Mode/0/48000 and BM_JuceDspReverb/48000 too for the ratios)\n");

    printHostBlockSummary (reporter);
    printBlockSummary (reporter);
    return 0;
}
