#include "engine/DelayLine.h"
#include "engine/ModAllpass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

using namespace quorvane;

namespace
{
/** Writes `blocks` blocks of n samples (impulse at sample 0 of the first) and returns what a
    reader produced, advancing after every block as the modes do. */
template <typename Reader>
std::vector<float> streamThrough (DelayLine& line, int n, int blocks, Reader read)
{
    std::vector<float> out;
    std::vector<float> in ((size_t) n), block ((size_t) n);
    for (int b = 0; b < blocks; ++b)
    {
        std::fill (in.begin(), in.end(), 0.0f);
        if (b == 0)
            in[0] = 1.0f;
        writeBlock (line, in.data(), n);
        read (line, block.data());
        advance (line, n);
        out.insert (out.end(), block.begin(), block.end());
    }
    return out;
}

double energy (const std::vector<float>& x)
{
    double e = 0.0;
    for (float v : x)
        e += (double) v * v;
    return e;
}
} // namespace

TEST (DelayLine, SizesArePowersOfTwoAndKeepContentWhenUnchanged)
{
    EXPECT_EQ (DelayLine().size, 0); // an engine sizes its lines once, for the rate
    DelayLine line (32768);
    EXPECT_EQ (line.size, 32768);
    resizeFor (line, 65000);
    EXPECT_EQ (line.size, 65536);
    EXPECT_EQ (line.mask, 65535);
    resizeFor (line, 16000);
    EXPECT_EQ (line.size, 16384);

    line.buffer[5] = 3.0f;
    resizeFor (line, 16000);
    EXPECT_EQ (line.buffer[5], 3.0f);

}

TEST (DelayLine, LinesSharingMemoryLieApartInOneZeroedBlockAndKeepItWhileUnchanged)
{
    std::array<DelayLine, 3> lines;
    std::array<DelayLine*, 3> all { &lines[0], &lines[1], &lines[2] };
    resizeFor (lines[1], 100); // memory of its own, given up for the shared block
    lines[1].buffer[3] = 1.0f;
    lines[1].writeIndex = 7;
    SharedLineMemory memory;
    const int lengths[] = { 300, 4096, 20 };
    resizeShared (all.data(), lengths, 3, memory);
    ASSERT_NE (memory, nullptr);
    EXPECT_EQ (lines[1].ownMemory, nullptr);
    const int sizes[] = { 512, 4096, 32 };
    // The first line starts on the block's first cache line boundary.
    EXPECT_EQ (reinterpret_cast<uintptr_t> (lines[0].buffer) % 64, 0u);
    EXPECT_LT (lines[0].buffer - memory.get(), 16);
    for (size_t k = 0; k < 3; ++k)
    {
        EXPECT_EQ (lines[k].size, sizes[k]);
        EXPECT_EQ (lines[k].mask, sizes[k] - 1);
        EXPECT_EQ (lines[k].writeIndex, 0);
        EXPECT_EQ (reinterpret_cast<uintptr_t> (lines[k].buffer) % 64, 0u) << "line " << k;
        EXPECT_TRUE (std::all_of (lines[k].buffer, lines[k].buffer + sizes[k], [] (float x) { return x == 0.0f; }));
        if (k > 0)
        {
            // One after another, no two overlapping, and the same index of each in a cache set
            // of its own (a start of its own within every 4 KiB).
            EXPECT_GE (lines[k].buffer, lines[k - 1].buffer + sizes[k - 1]) << "line " << k;
            EXPECT_NE ((lines[k].buffer - lines[0].buffer) % 1024, 0) << "line " << k;
            EXPECT_NE ((lines[k].buffer - lines[k - 1].buffer) % 1024, 0) << "line " << k;
        }
    }

    // The same sizes again leave memory, samples and positions alone.
    lines[2].buffer[5] = 2.0f;
    lines[2].writeIndex = 9;
    const float* before = memory.get();
    const int sameSizes[] = { 400, 4000, 17 };
    resizeShared (all.data(), sameSizes, 3, memory);
    EXPECT_EQ (memory.get(), before);
    EXPECT_EQ (lines[2].buffer[5], 2.0f);
    EXPECT_EQ (lines[2].writeIndex, 9);

    // A changed size lays every line out anew, empty.
    const int grown[] = { 300, 8192, 20 };
    resizeShared (all.data(), grown, 3, memory);
    EXPECT_EQ (lines[1].size, 8192);
    EXPECT_GE (lines[2].buffer, lines[1].buffer + 8192);
    EXPECT_EQ (lines[2].buffer[5], 0.0f);
    EXPECT_EQ (lines[2].writeIndex, 0);

    // A line resized on its own leaves the block for memory of its own; the others keep theirs.
    lines[0].buffer[1] = 4.0f;
    resizeFor (lines[2], 1000);
    EXPECT_NE (lines[2].ownMemory, nullptr);
    EXPECT_EQ (lines[2].buffer, lines[2].ownMemory.get());
    EXPECT_GE (lines[1].buffer, lines[0].buffer + 512);
    EXPECT_EQ (lines[0].buffer[1], 4.0f);
}

TEST (DelayLine, ReadsLongerThanTheLineAreHeldAtItsLongestDelay)
{
    // Written 0, 1, 2, .. (the newest last): a read far beyond the line returns what the longest
    // delay the line holds returns, not a wrap into the block just written.
    DelayLine line (32768);
    resizeFor (line, 256);
    std::vector<float> ramp (64);
    for (int block = 0; block < 8; ++block)
    {
        for (int i = 0; i < 64; ++i)
            ramp[(size_t) i] = (float) (block * 64 + i);
        writeBlock (line, ramp.data(), 64);
        if (block < 7)
            advance (line, 64);
    }
    std::vector<float> held (64), longest (64);
    readTap (line, held.data(), 64, 100000, 1.0f);
    readTap (line, longest.data(), 64, 256 - 64, 1.0f);
    EXPECT_EQ (held, longest);
    readLinearRamped (line, held.data(), 1.0e6f, 64, 1.0f / 64);
    EXPECT_EQ (line.tapDelay[0], longestInterpolatedDelay (line, 64));
    for (float v : held)
        EXPECT_LT (v, 448.0f - 64.0f); // older than this block, whatever it reads
}

TEST (DelayLine, ClearSilencesButKeepsWriteIndex)
{
    DelayLine line (32768);
    const float ones[4] = { 1, 1, 1, 1 };
    writeBlock (line, ones, 4);
    advance (line, 4);
    line.tapState[3] = 0.5f;
    const int32_t index = line.writeIndex;
    clearLine (line);
    EXPECT_EQ (line.writeIndex, index);
    EXPECT_EQ (line.tapState[3], 0.0f);
    for (int i = 0; i < line.size; ++i)
        ASSERT_EQ (line.buffer[(size_t) i], 0.0f);
}

TEST (DelayLine, ReadTapDelaysByItsOffsetWithinAndAcrossBlocks)
{
    for (int delay : { 0, 5, 63, 64, 100, 1000 })
    {
        DelayLine line (32768);
        const auto out =
            streamThrough (line, 64, 20, [delay] (DelayLine& l, float* o) { readTap (l, o, 64, delay, 0.5f); });
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ (out[i], (int) i == delay ? 0.5f : 0.0f) << "delay " << delay << " sample " << i;
    }
}

TEST (DelayLine, LinearReadInterpolatesBetweenNeighbours)
{
    DelayLine line (32768);
    line.tapDelay[0] = 10.0f;
    auto out =
        streamThrough (line, 64, 2, [] (DelayLine& l, float* o) { readLinearRamped (l, o, 10.0f, 64, 1.0f / 64); });
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ (out[i], i == 10 ? 1.0f : 0.0f);

    DelayLine half (32768);
    half.tapDelay[0] = 10.5f;
    out = streamThrough (half, 64, 2, [] (DelayLine& l, float* o) { readLinearRamped (l, o, 10.5f, 64, 1.0f / 64); });
    EXPECT_FLOAT_EQ (out[10], 0.5f);
    EXPECT_FLOAT_EQ (out[11], 0.5f);
    EXPECT_FLOAT_EQ (out[12], 0.0f);
}

TEST (DelayLine, LinearReadGlidesToTheTargetByTheEndOfTheBlock)
{
    // Each sample holds its own write time, so a read reports time - delay.
    DelayLine line (32768);
    std::vector<float> block (64);
    for (int b = 0; b < 8; ++b)
    {
        for (int i = 0; i < 64; ++i)
            block[(size_t) i] = (float) (b * 64 + i);
        writeBlock (line, block.data(), 64);
        advance (line, 64);
    }
    // Gliding from 100 to 164 samples grows the delay by one per sample, exactly as fast as time
    // moves on, so every sample of the block reads the same moment: 512 + i - (100 + i + 1).
    line.tapDelay[0] = 100.0f;
    std::vector<float> out (64);
    readLinearRamped (line, out.data(), 164.0f, 64, 1.0f / 64);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ (out[(size_t) i], 411.0f) << i;
    EXPECT_EQ (line.tapDelay[0], 164.0f);
}

TEST (DelayLine, AllpassCoefficientTableIsCapped)
{
    EXPECT_EQ (allpassCoefficient (0), 0.99f);
    EXPECT_EQ (allpassCoefficient (1), 0.99f);
    EXPECT_FLOAT_EQ (allpassCoefficient (2), 254.0f / 258.0f);
    EXPECT_FLOAT_EQ (allpassCoefficient (128), (1.0f - 0.5f) / (1.0f + 0.5f));
}

TEST (DelayLine, AllpassReadKeepsEnergyAndDelaysByTheFraction)
{
    DelayLine line (32768);
    line.tapDelay[2] = 20.25f;
    const auto out = streamThrough (
        line, 64, 40, [] (DelayLine& l, float* o) { readAllpassRamped (l, o, 20.25f, 64, 2, 1.0f / 64); });
    EXPECT_NEAR (energy (out), 1.0, 1e-4);
    // Centre of gravity of a fractional-delay allpass sits near K + (1 - eta) / (1 + eta).
    double first = 0.0;
    for (size_t i = 0; i < out.size(); ++i)
        first += (double) i * out[i];
    EXPECT_NEAR (first, 20.25, 0.05);
    EXPECT_EQ (out[19], 0.0f);
}

TEST (ModAllpass, EveryMemberIsAnAllpass)
{
    const float g = 0.6f;
    auto check = [&] (auto process, int n) {
        DelayLine line (32768);
        line.tapDelay[0] = 100.0f;
        std::vector<float> in ((size_t) n), out ((size_t) n), all;
        for (int b = 0; b < 400; ++b)
        {
            std::fill (in.begin(), in.end(), 0.0f);
            if (b == 0)
                in[0] = 1.0f;
            process (line, in.data(), out.data());
            advance (line, n);
            all.insert (all.end(), out.begin(), out.end());
        }
        EXPECT_NEAR (energy (all), 1.0, 1e-3);
        EXPECT_FLOAT_EQ (all[0], -g);
    };
    check ([g] (DelayLine& l, const float* i, float* o) { modAllpass (l, i, o, g, 100.0f, 64, 1.0f, 1.0f / 64); }, 64);
    check ([g] (DelayLine& l, const float* i, float* o) { modAllpassLinear (l, i, o, g, 100.0f, 64, 1.0f, 1.0f / 64); },
           64);
    check ([g] (DelayLine& l, const float* i, float* o) { modAllpass32 (l, i, o, g, 100.0f, 1.0f); }, 32);
    check ([g] (DelayLine& l, const float* i, float* o) { fixedAllpass32 (l, i, o, g, 132, 1.0f); }, 32);
}

TEST (ModAllpass, LossBelowOneDrainsEnergyAndOutputMayAliasInput)
{
    DelayLine line (32768);
    std::vector<float> buf (64);
    double e = 0.0;
    for (int b = 0; b < 200; ++b)
    {
        std::fill (buf.begin(), buf.end(), 0.0f);
        if (b == 0)
            buf[0] = 1.0f;
        modAllpassLinear (line, buf.data(), buf.data(), 0.5f, 100.0f, 64, 0.7f, 1.0f / 64);
        advance (line, 64);
        for (float v : buf)
            e += (double) v * v;
    }
    EXPECT_LT (e, 0.99);
    EXPECT_GT (e, 0.25);
}

TEST (ModAllpass, ChainMatchesTheAllpassesOneAfterAnother)
{
    // Stage s of block k on line s * count + k; the chain reads every line first, the reference runs
    // each allpass in turn. Delays as short as the block (the shortest an allpass may read) and
    // moving; lines written anywhere, across their wrap too.
    std::mt19937 rng (5);
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f), delay (32.0f, 300.0f);
    for (const auto& [stages, count, n] : { std::tuple { 5, 4, 32 }, { 3, 8, 64 }, { 12, 3, 32 }, { 1, 1, 64 } })
    {
        const size_t lineCount = (size_t) (stages * count);
        std::vector<DelayLine> lines, reference;
        for (size_t j = 0; j < lineCount; ++j)
        {
            lines.emplace_back (1024);
            reference.emplace_back (1024);
            // Some lines take their blocks across the wrap, the others anywhere.
            lines.back().writeIndex = reference.back().writeIndex =
                (int32_t) (j % 2 == 0 ? rng() % (uint32_t) n : rng() % 1024u);
        }
        std::vector<std::vector<float>> blocks ((size_t) count, std::vector<float> ((size_t) n));
        auto expected = blocks;
        std::vector<float> targets (lineCount), losses (lineCount);
        for (int b = 0; b < 6; ++b)
        {
            for (size_t k = 0; k < (size_t) count; ++k)
                for (size_t i = 0; i < (size_t) n; ++i)
                    blocks[k][i] = expected[k][i] = noise (rng);
            for (size_t j = 0; j < lineCount; ++j)
            {
                targets[j] = b % 2 == 0 ? delay (rng) : std::max ((float) n, targets[j] + 0.3f * noise (rng));
                losses[j] = 0.9f + 0.01f * (float) j;
            }
            std::vector<DelayLine*> linePointers;
            for (auto& line : lines)
                linePointers.push_back (&line);
            std::vector<float*> blockPointers;
            for (auto& block : blocks)
                blockPointers.push_back (block.data());
            modAllpassChain (linePointers.data(), blockPointers.data(), 0.6f, targets.data(), losses.data(), stages,
                             count, n, 1.0f / (float) n);
            for (size_t j = 0; j < lineCount; ++j)
            {
                float* block = expected[j % (size_t) count].data();
                modAllpass (reference[j], block, block, 0.6f, targets[j], n, losses[j], 1.0f / (float) n);
            }
            for (size_t k = 0; k < (size_t) count; ++k)
                ASSERT_EQ (0, std::memcmp (blocks[k].data(), expected[k].data(), sizeof (float) * (size_t) n))
                    << stages << " stages of " << count << ", block " << b << ", line " << k;
            for (size_t j = 0; j < lineCount; ++j)
            {
                ASSERT_EQ (0, std::memcmp (lines[j].buffer, reference[j].buffer, sizeof (float) * 1024));
                advance (lines[j], n);
                advance (reference[j], n);
            }
        }
    }
}
