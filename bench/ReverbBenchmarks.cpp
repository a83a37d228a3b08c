// The measurements: the engine in every mode, and juce::dsp::Reverb, on
// the same input and block size.

#include "BenchSignal.h"
#include "ReverbEngine.h"

#include <benchmark/benchmark.h>
#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace quorvane::bench
{
namespace
{

/** Reports seconds of audio per second of CPU time as the counter "rt_factor". */
void setRealTimeFactor (benchmark::State& state, double secondsPerIteration)
{
    state.counters["rt_factor"] = benchmark::Counter (secondsPerIteration * (double) state.iterations(),
                                                      benchmark::Counter::kIsRate);
}

void BM_QuorvaneEngine (benchmark::State& state)
{
    const auto& in = benchSignal();

    // The engine owns several megabytes of delay memory; keep it off the stack.
    auto engine = std::make_unique<ReverbEngine>();
    engine->prepare (BenchSignal::sampleRate);

    // Defaults in index order, exactly as the processor assigns them at construction (the last
    // one, type, configures mode 0), then the mode under test.
    for (int i = 0; i < param::count; ++i)
        engine->setNormalised (i, engine->getDefaultNormalised (i));
    engine->setNormalised (param::type, typeNormalisedForMode ((int) state.range (0)));
    engine->seedRandom (1u);

    std::vector<float> outL ((size_t) BenchSignal::blockSize), outR ((size_t) BenchSignal::blockSize);

    for (auto _ : state)
    {
        for (int pos = 0; pos < in.length(); pos += BenchSignal::blockSize)
        {
            const int n = std::min (BenchSignal::blockSize, in.length() - pos);
            engine->process (outL.data(), outR.data(), in.left.data() + pos, in.right.data() + pos, n);
            benchmark::DoNotOptimize (outL.data());
            benchmark::DoNotOptimize (outR.data());
            benchmark::ClobberMemory();
        }
    }

    setRealTimeFactor (state, in.durationSeconds());
}

void BM_JuceDspReverb (benchmark::State& state)
{
    const auto& in = benchSignal();

    juce::dsp::Reverb reverb;
    reverb.setParameters (juce::dsp::Reverb::Parameters {}); // the class's own defaults
    reverb.prepare ({ (double) BenchSignal::sampleRate, (juce::uint32) BenchSignal::blockSize, 2 });

    juce::AudioBuffer<float> out (2, BenchSignal::blockSize);

    for (auto _ : state)
    {
        for (int pos = 0; pos < in.length(); pos += BenchSignal::blockSize)
        {
            const int n = std::min (BenchSignal::blockSize, in.length() - pos);
            const float* inputs[] = { in.left.data() + pos, in.right.data() + pos };
            juce::dsp::AudioBlock<const float> inBlock (inputs, 2, (size_t) n);
            auto outBlock = juce::dsp::AudioBlock<float> (out).getSubBlock (0, (size_t) n);
            reverb.process (juce::dsp::ProcessContextNonReplacing<float> (inBlock, outBlock));
            benchmark::DoNotOptimize (out.getWritePointer (0));
            benchmark::DoNotOptimize (out.getWritePointer (1));
            benchmark::ClobberMemory();
        }
    }

    setRealTimeFactor (state, in.durationSeconds());
}

} // namespace

BENCHMARK (BM_QuorvaneEngine)->DenseRange (0, modeCount - 1)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_JuceDspReverb)->Unit (benchmark::kMillisecond);

} // namespace quorvane::bench
