// quorvane-footprint RATE [MODE]: builds one engine, prepares it for a host rate, sets the
// parameters to their defaults as the processor does (then MODE, if given) and prints the bytes
// the engine holds. Run under a heap profiler, its peak is what building an instance costs,
// construction transients included.

#include "ReverbEngine.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

int main (int argc, char** argv)
{
    const int rate = argc >= 2 ? std::atoi (argv[1]) : 0;
    const int mode = argc >= 3 ? std::atoi (argv[2]) : 0;
    if (argc < 2 || argc > 3 || rate <= 0 || mode < 0 || mode >= quorvane::modeCount)
    {
        std::fprintf (stderr, "usage: quorvane-footprint RATE_HZ [MODE]\n");
        return 2;
    }

    // On the heap, as a host holds it, so a heap profiler counts the engine itself too.
    auto engine = std::make_unique<quorvane::ReverbEngine>();
    engine->prepare (rate);
    for (int i = 0; i < quorvane::param::count; ++i)
        engine->setNormalised (i, engine->getDefaultNormalised (i));
    engine->setNormalised (quorvane::param::type, quorvane::typeNormalisedForMode (mode));
    std::printf ("%zu\n", engine->memoryBytes());
    return 0;
}
