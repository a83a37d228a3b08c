// The whole reverbs: the engine in every mode, and juce::dsp::Reverb, on the same input and block
// size at each host rate.

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

/** The engine in one mode at one host rate, all other parameters at their defaults, fed the
    rate's noise in host blocks of the given size. */
void runMode (benchmark::State& state, int mode, int rate, int hostBlock)
{
    const auto& in = benchSignal (rate);

    // The engine owns several megabytes of delay memory; keep it off the stack.
    auto engine = std::make_unique<ReverbEngine>();
    engine->prepare (rate);

    // Defaults in index order, exactly as the processor assigns them at construction (the last
    // one, type, configures mode 0), then the mode under test.
    for (int i = 0; i < param::count; ++i)
        engine->setNormalised (i, engine->getDefaultNormalised (i));
    engine->setNormalised (param::type, typeNormalisedForMode (mode));
    engine->seedRandom (1u);

    std::vector<float> outL ((size_t) hostBlock), outR ((size_t) hostBlock);

    for (auto _ : state)
    {
        for (int pos = 0; pos < in.length(); pos += hostBlock)
        {
            const int n = std::min (hostBlock, in.length() - pos);
            engine->process (outL.data(), outR.data(), in.left.data() + pos, in.right.data() + pos, n);
            benchmark::DoNotOptimize (outL.data());
            benchmark::DoNotOptimize (outR.data());
            benchmark::ClobberMemory();
        }
    }

    setRealTimeFactor (state, in.durationSeconds());
}

/** BM_Mode/<mode>/<rate>: every mode at every rate, in 512-sample host blocks. */
void BM_Mode (benchmark::State& state)
{
    runMode (state, (int) state.range (0), (int) state.range (1), BenchSignal::blockSize);
}

/** BM_HostBlock/<mode>/<block>: the same at 48 kHz in host blocks of 1, 64, 256 and 4096
    samples, for the dearest and the cheapest mode, where a call's own cost weighs most. */
void BM_HostBlock (benchmark::State& state)
{
    runMode (state, (int) state.range (0), 48000, (int) state.range (1));
}

/** BM_JuceDspReverb/<rate>: the framework's reverb with its own defaults on the same input. */
void BM_JuceDspReverb (benchmark::State& state)
{
    const int rate = (int) state.range (0);
    const auto& in = benchSignal (rate);

    juce::dsp::Reverb reverb;
    reverb.setParameters (juce::dsp::Reverb::Parameters {}); // the class's own defaults
    reverb.prepare ({ (double) rate, (juce::uint32) BenchSignal::blockSize, 2 });

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

/** Every mode at every rate, grouped by rate. */
void modeArguments (benchmark::internal::Benchmark* b)
{
    for (const int rate : benchRates)
        for (int mode = 0; mode < modeCount; ++mode)
            b->Args ({ mode, rate });
}

void hostBlockArguments (benchmark::internal::Benchmark* b)
{
    for (const int mode : { 3, 8 })
        for (const int block : { 1, 64, 256, 4096 })
            b->Args ({ mode, block });
}

void rateArguments (benchmark::internal::Benchmark* b)
{
    for (const int rate : benchRates)
        b->Arg (rate);
}

} // namespace

BENCHMARK (BM_Mode)->Apply (modeArguments)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_HostBlock)->Apply (hostBlockArguments)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_JuceDspReverb)->Apply (rateArguments)->Unit (benchmark::kMillisecond);

} // namespace quorvane::bench
