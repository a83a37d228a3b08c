// How each parameter change becomes engine quantities and calls of the current mode's routines.
#include "ReverbEngine.h"

#include <algorithm>
#include <cmath>

namespace quorvane
{

namespace
{
constexpr float piOver200 = 0.015707964f;
constexpr float halfPi = 1.5707964f;

float splitCoefficient (float hz, float rate) { return 1.0f - std::exp (hz / rate * -6.2831855f); }

float shapedBass (float decay, float multiply) { return decay * (multiply > 1.0f ? std::sqrt (multiply) : multiply); }
} // namespace

void ReverbEngine::updateParameter (int index)
{
    const float v = params[(size_t) index].value;

    switch (index)
    {
        case param::mix:
            wetTarget = std::sin (v * piOver200);
            dryTarget = std::cos (v * piOver200);
            forgetShortRuns();
            break;
        case param::predelay:
            predelaySamples = processingRate * v * 0.001f + 2.0f;
            break;
        case param::decay:
            decayTime = v;
            bassDecayTime = bassMultiply * v;
            bassDecayShaped = shapedBass (v, bassMultiply);
            highDecayTime = highMultiply * v;
            updateAllGains (*routines, *this);
            break;
        case param::highCut:
        {
            // Above Nyquist the lowpass design turns unstable (at host rates below about 33 kHz
            // the range reaches that far), so the corner stays just below it.
            const float corner = std::min (v, 0.45f * hostRate);
            // The running state of a low corner is far larger than the signal; a corner more than
            // an octave higher starts from the output's level instead (automation moves far less
            // per block, and a state read by a lower corner only rings down).
            const bool jump = corner > 2.0f * highCutCorner;
            highCutCorner = corner;
            for (auto& f : highCutFilters)
            {
                designLowpass (f, corner, hostRate);
                // Only a running smoothed high cut glides; otherwise it is ready at its target, so
                // a mode that smooths starts at the corner set rather than fading in from nothing.
                if (highCutStage != HighCutStage::smoothedBiquad)
                {
                    f.snapToTargets();
                    if (jump)
                        continueFromHistory (f);
                }
            }
            const auto shelf = designShelf (v, 0.01f, hostRate);
            for (auto& f : highCutShelves)
                f.setCoefficients (shelf.x, shelf.y, shelf.z);
            break;
        }
        case param::earlyLateMix:
        {
            const float a = (v * 0.998f + 0.001f) * piOver200;
            lateLevel = std::sin (a);
            earlyLevel = std::cos (a);
            break;
        }
        case param::lateSize:
            routines->updateLateLengths (*this);
            break;
        case param::lateCross:
        {
            const float c = (float) ((double) v * 0.999 + 0.001);
            const float t = c * lateCrossAngleScale * halfPi;
            for (auto& m : lateCrossMixers)
                m.setAngle (t);
            break;
        }
        case param::lateModRate:
            setModulatorRates (lateModulators, v);
            break;
        case param::lateModDepth:
            lateModDepthSamples = processingRate * v / hostRate * 128.0f;
            break;
        case param::rtBassMultiply:
            bassMultiply = v;
            bassDecayTime = decayTime * v;
            bassDecayShaped = shapedBass (decayTime, v);
            routines->updateBassGains (*this);
            break;
        case param::rtXover:
            bassSplitCoef = splitCoefficient (v, processingRate);
            break;
        case param::rtHighMultiply:
            highMultiply = v;
            highDecayTime = decayTime * v;
            routines->updateHighGains (*this);
            break;
        case param::rtHighXover:
            highSplitCoef = splitCoefficient (v, processingRate);
            break;
        case param::earlySize:
            routines->updateEarlyLengths (*this);
            break;
        case param::earlyCross:
        {
            const float c = v * 0.999f + 0.001f;
            for (size_t k = 0; k < 4; ++k)
            {
                earlyCrossMixers[2 * k].setAngle (c * 0.5f * halfPi);
                earlyCrossMixers[2 * k + 1].setAngle (c * -0.5f * halfPi);
            }
            break;
        }
        case param::earlyModRate:
            setModulatorRates (earlyModulators.data(), (int) earlyModulators.size(), v);
            break;
        case param::earlyModDepth:
            earlyModDepthSamples = processingRate / hostRate * v * 128.0f;
            break;
        case param::earlySend:
            earlySendGain = std::sin (v * halfPi);
            directSendGain = std::cos (v * halfPi);
            break;
        case param::diffusion:
        {
            const float t = (v * 0.999f + 0.001f) * 0.5f * halfPi;
            for (size_t k = 0; k < 8; ++k)
                diffusionMixers[k].setAngle (t);
            break;
        }
        case param::type:
            changeMode (v);
            break;
        default:
            break;
    }
}

} // namespace quorvane
