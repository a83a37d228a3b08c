// The audio thread never allocates: every allocation made while processBlock runs is counted.
#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

namespace
{
thread_local bool counting = false;
std::atomic<long> allocations { 0 };

void count() noexcept
{
    if (counting)
        allocations.fetch_add (1);
}

void* allocate (std::size_t size)
{
    // std::malloc below is the counting one.
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

/** Counts the allocations of this thread in its scope. */
struct Counting
{
    Counting()
    {
        allocations.store (0);
        counting = true;
    }
    ~Counting() { counting = false; }
};
} // namespace

// The C allocator too (delay memory comes from calloc): glibc's own entry points do the work.
extern "C" void* __libc_malloc (std::size_t);
extern "C" void* __libc_calloc (std::size_t, std::size_t);
extern "C" void* __libc_realloc (void*, std::size_t);
extern "C" void* malloc (std::size_t size)
{
    count();
    return __libc_malloc (size);
}
extern "C" void* calloc (std::size_t n, std::size_t size)
{
    count();
    return __libc_calloc (n, size);
}
extern "C" void* realloc (void* p, std::size_t size)
{
    count();
    return __libc_realloc (p, size);
}

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace quorvane::test
{
namespace
{

TEST (ProcessorAllocation, ProcessBlockNeverAllocatesInAnyModeDuringAutomationAndModeChanges)
{
    {
        // The counter sees both allocators, or the zeros below would prove nothing.
        const Counting scope;
        std::free (std::calloc (4, 4));
        int* volatile held = new int (1);
        delete held;
        ASSERT_EQ (allocations.load(), 2);
    }
    auto p = makeProcessor (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    std::mt19937 gen (5);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    auto fill = [&] {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 256; ++i)
                buffer.setSample (c, i, unit (gen) - 0.5f);
    };

    long total = 0;
    for (int mode = 0; mode < modeCount; ++mode)
    {
        p->setParameter (param::type, typeNormalisedForMode (mode));
        for (int block = 0; block < 40; ++block)
        {
            // Automation from the host between blocks: the new values are applied on the audio
            // thread, at the start of the next block.
            p->setParameter ((param::Index) (block % (param::count - 1)), unit (gen));
            if (block == 20)
                p->reset();
            fill();
            const Counting scope;
            p->processBlock (buffer, midi);
            total += allocations.load();
        }
    }
    EXPECT_EQ (total, 0);

    // A rate first seen inside processBlock: the lines keep their memory.
    p->setRateAndBufferSizeDetails (192000.0, 256);
    fill();
    {
        const Counting scope;
        p->processBlock (buffer, midi);
        EXPECT_EQ (allocations.load(), 0);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 256; ++i)
            ASSERT_TRUE (std::isfinite (buffer.getSample (c, i)));
}

} // namespace
} // namespace quorvane::test
