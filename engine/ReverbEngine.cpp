#include "ReverbEngine.h"

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
double ReverbEngine::tailSeconds() const { return 0.0; }
} // namespace quorvane
