#include "ReverbEngine.h"

#include <algorithm>

namespace quorvane
{
ReverbEngine::ReverbEngine() { initialiseParameters (params); }
void ReverbEngine::prepare (int r) { setSampleRate (r); }
void ReverbEngine::setSampleRate (int r) { hostRate = (float) r; }
void ReverbEngine::clear() {}
void ReverbEngine::setNormalised (int i, float x)
{
    auto& p = params[(size_t) i];
    if (x == p.normalised)
        return;
    p.normalised = x;
    p.value = toPhysical (parameterInfo (i), x);
    if (i == param::type)
        mode = modeForTypeValue (p.value);
}
float ReverbEngine::getNormalised (int i) const { return params[(size_t) i].normalised; }
float ReverbEngine::getValue (int i) const { return params[(size_t) i].value; }
float ReverbEngine::getDefaultNormalised (int i) const { return defaultNormalised (parameterInfo (i)); }
void ReverbEngine::process (float* oL, float* oR, const float* iL, const float* iR, int n)
{
    for (int k = 0; k < n; ++k)
    {
        const float l = iL[k], r = iR[k];
        oL[k] = l;
        oR[k] = r;
    }
}
void ReverbEngine::seedRandom (uint32_t) {}
double ReverbEngine::tailSeconds() const
{
    return reverbTailSeconds (getValue (param::predelay), getValue (param::earlySize), getValue (param::decay),
                              getValue (param::rtBassMultiply), hostRate);
}

double reverbTailSeconds (float predelayMs, float earlySizeMs, float decaySeconds, float bassMultiply, double hostRate)
{
    const double slowest = (double) decaySeconds * std::max (1.0, (double) bassMultiply);
    // The early diffuser's longest stage is about 0.27 x earlySize; three of them cover its spread.
    const double early = 0.001 * (double) earlySizeMs * 0.8;
    return 64.0 / hostRate + 0.001 * (double) predelayMs + early + 1.5 * std::max (0.0, slowest);
}
} // namespace quorvane
