#include "ProcessorHarness.h"

#include <cmath>

namespace quorvane::test
{

std::vector<float> noise (size_t samples, float amplitude, uint32_t seed)
{
    std::vector<float> out (samples);
    uint32_t state = seed * 2654435761u + 1u;
    for (auto& x : out)
    {
        state = state * 1664525u + 1013904223u;
        x = amplitude * ((float) (state >> 8) / 8388608.0f - 1.0f);
    }
    return out;
}

std::vector<float> impulse (size_t samples, float height)
{
    std::vector<float> out (samples, 0.0f);
    if (! out.empty())
        out[0] = height;
    return out;
}

std::unique_ptr<Quorvane> makeProcessor (double rate, int blockSize, uint32_t seed)
{
    auto p = std::make_unique<Quorvane>();
    p->seedRandom (seed);
    p->setRateAndBufferSizeDetails (rate, blockSize);
    p->prepareToPlay (rate, blockSize);
    return p;
}

void setPhysical (Quorvane& p, param::Index index, float physical)
{
    p.setParameter (index, toNormalised (parameterInfo (index), physical));
}

static Stereo run (Quorvane& p, const Stereo& input, int blockSize, int channelsIn)
{
    Stereo out { std::vector<float> (input.size()), std::vector<float> (input.size()) };
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;

    for (size_t start = 0; start < input.size(); start += (size_t) blockSize)
    {
        const int n = (int) std::min ((size_t) blockSize, input.size() - start);
        buffer.setSize (2, n, false, false, true);
        buffer.copyFrom (0, 0, input.left.data() + start, n);
        // The second channel of a mono-input buffer holds whatever the host left there.
        if (channelsIn == 2)
            buffer.copyFrom (1, 0, input.right.data() + start, n);
        else
            juce::FloatVectorOperations::fill (buffer.getWritePointer (1), 0.75f, n);

        p.processBlock (buffer, midi);
        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + n, out.left.begin() + (long) start);
        std::copy (buffer.getReadPointer (1), buffer.getReadPointer (1) + n, out.right.begin() + (long) start);
    }
    return out;
}

Stereo render (Quorvane& p, const Stereo& input, int blockSize) { return run (p, input, blockSize, 2); }

Stereo renderMono (Quorvane& p, const std::vector<float>& input, int blockSize)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::mono());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    p.setBusesLayout (layout);
    return run (p, Stereo { input, std::vector<float> (input.size()) }, blockSize, 1);
}

long firstAbove (const Stereo& s, float threshold)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs (s.left[i]) > threshold || std::abs (s.right[i]) > threshold)
            return (long) i;
    return -1;
}

std::vector<float> allValues (const Quorvane& p)
{
    std::vector<float> values;
    for (int i = 0; i < param::count; ++i)
        values.push_back (p.getParameter (static_cast<param::Index> (i)));
    return values;
}

} // namespace quorvane::test
