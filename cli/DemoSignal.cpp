#include "DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorvane::cli
{

namespace
{
constexpr double twoPi = 6.283185307179586;
constexpr double beatSeconds = 0.5; // 120 beats per minute

/** Small private noise generator: the phrase must not depend on the C library's rand(). */
struct Noise
{
    uint32_t state = 0x9e3779b9u;

    float next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (float) ((double) state / 2147483648.0 - 1.0);
    }
};

/** Adds a mono event into the stereo signal with an equal-power pan (0 left, 1 right). */
template <typename Voice>
void addEvent (StereoSignal& s, double rate, double startBeat, double seconds, double pan, double gain, Voice voice)
{
    const auto start = (size_t) std::llround (startBeat * beatSeconds * rate);
    const auto length = (size_t) std::llround (seconds * rate);
    const double gl = gain * std::cos (pan * twoPi / 4.0), gr = gain * std::sin (pan * twoPi / 4.0);

    for (size_t k = 0; k < length && start + k < s.left.size(); ++k)
    {
        const double v = voice ((double) k / rate);
        s.left[start + k] += (float) (gl * v);
        s.right[start + k] += (float) (gr * v);
    }
}

void addKick (StereoSignal& s, double rate, double beat)
{
    double phase = 0.0;
    addEvent (s, rate, beat, 0.5, 0.5, 1.0, [&] (double t) {
        phase += twoPi * (45.0 + 90.0 * std::exp (-t / 0.03)) / rate;
        return std::sin (phase) * std::exp (-t / 0.22);
    });
}

void addSnare (StereoSignal& s, double rate, double beat, Noise& noise)
{
    float previous = 0.0f;
    addEvent (s, rate, beat, 0.3, 0.4, 0.7, [&] (double t) {
        const float n = noise.next();
        const double bright = n - 0.6 * previous; // tilt the noise upwards
        previous = n;
        return 0.7 * bright * std::exp (-t / 0.07) + 0.5 * std::sin (twoPi * 190.0 * t) * std::exp (-t / 0.04);
    });
}

void addClick (StereoSignal& s, double rate, double beat, Noise& noise)
{
    float previous = 0.0f;
    addEvent (s, rate, beat, 0.04, 0.8, 0.25, [&] (double t) {
        const float n = noise.next();
        const double high = n - previous;
        previous = n;
        return high * std::exp (-t / 0.008);
    });
}

void addPluck (StereoSignal& s, double rate, double beat, double hz, double pan)
{
    addEvent (s, rate, beat, 0.9, pan, 0.45, [hz] (double t) {
        double v = 0.0;
        for (int h = 1; h <= 4; ++h)
            v += std::sin (twoPi * hz * h * t) * std::exp (-t * (3.0 + 4.0 * h)) / h;
        return v;
    });
}
} // namespace

StereoSignal synthesiseDemo (double sampleRate)
{
    const auto length = (size_t) std::llround (demoSeconds * sampleRate);
    StereoSignal s { std::vector<float> (length, 0.0f), std::vector<float> (length, 0.0f) };
    Noise noise;

    for (double beat : { 0.0, 1.5, 2.0, 4.0, 5.5, 6.0 })
        addKick (s, sampleRate, beat);
    for (double beat : { 1.0, 3.0, 5.0, 7.0 })
        addSnare (s, sampleRate, beat, noise);
    for (int eighth = 0; eighth < 14; ++eighth)
        if (eighth % 4 != 2)
            addClick (s, sampleRate, eighth * 0.5, noise);

    const double notes[][3] = { { 0.5, 220.0, 0.15 }, { 2.5, 261.63, 0.85 }, { 3.5, 329.63, 0.2 },
                                { 4.5, 196.0, 0.8 },  { 6.5, 440.0, 0.3 } };
    for (const auto& n : notes)
        addPluck (s, sampleRate, n[0], n[1], n[2]);

    float peak = 0.0f;
    for (size_t k = 0; k < length; ++k)
        peak = std::max ({ peak, std::abs (s.left[k]), std::abs (s.right[k]) });
    if (peak > 0.0f)
        for (size_t k = 0; k < length; ++k)
        {
            s.left[k] *= 0.5f / peak;
            s.right[k] *= 0.5f / peak;
        }
    return s;
}

StereoSignal unitImpulse()
{
    return { { 1.0f }, { 1.0f } };
}

} // namespace quorvane::cli
