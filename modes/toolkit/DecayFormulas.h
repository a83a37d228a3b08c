#pragma once

#include <cmath>

namespace quorvane::kit
{

/* How the networks turn decay times into gains. A loop of L samples at rate fs that must fall by
   60 dB in T seconds multiplies its signal by exp(ln(0.001) L / (T fs)) per pass; the band
   corrections are ratios of two such gains, and the late normalisers keep the late level roughly
   independent of the decay time. */

/** ln(0.001): 60 dB down after the decay time. */
constexpr float lnThousandth = -6.9077554f;

/** The exponent of decayGain: the natural log of the gain. */
inline float decayExponent (float length, float seconds, float rate)
{
    return lnThousandth * length / (seconds * rate);
}

/** Gain over `length` samples at `rate` of a decay of 60 dB in `seconds`. */
inline float decayGain (float length, float seconds, float rate)
{
    return std::exp (decayExponent (length, seconds, rate));
}

/** The ratio of a band's gain (over `length`) to a mid gain `mid` already formed. A loop many
    decay times long (the shortest decays on the longest half-rate loops) takes its mid gain below
    the smallest float; the ratio then comes from the two exponents, where the plain quotient
    would be 0 / 0, a NaN that would poison the whole network. */
inline float ratioToMid (float length, float bandSeconds, float mid, float seconds, float rate)
{
    if (mid > 0.0f)
        return decayGain (length, bandSeconds, rate) / mid;
    return std::exp (decayExponent (length, bandSeconds, rate) - decayExponent (length, seconds, rate));
}

/** The gain of a band decaying in `bandSeconds` relative to the mid band's, over `length` samples. */
inline float bandRatio (float length, float bandSeconds, float seconds, float rate)
{
    return ratioToMid (length, bandSeconds, decayGain (length, seconds, rate), seconds, rate);
}

/** sqrt(base / (seconds x rate)): a late output gain that falls as the decay grows longer. */
inline float lateNormaliser (float base, float seconds, float rate) { return std::sqrt (base / (seconds * rate)); }

/* The functions below give every gain as the inline formulas above do, bit for bit; they take
   the exponentials of a whole set of lines at once (see exponentials). */

/** out[k] = decayGain (lengths[k], seconds, rate) for k < count (out may be lengths). */
void decayGains (float* out, const float* lengths, int count, float seconds, float rate);

/** mid[k] and bass[k] as decayGains gives them for `seconds` and `bassSeconds`, and high[k] as
    bandRatios gives it for `highSeconds` against those mid gains: the same values, in one pass
    (four arrays apart). */
void decayBandGains (float* mid, float* bass, float* high, const float* lengths, int count, float seconds,
                     float bassSeconds, float highSeconds, float rate);

/** out[k] = ratioToMid (lengths[k], bandSeconds, mid[k], seconds, rate): a band's ratio to the
    mid gains already computed for `seconds` (out neither lengths nor mid). */
void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate);
/** The same, each ratio held to at most `limit` (std::min (limit, ratio)). */
void bandRatios (float* out, const float* lengths, const float* mid, int count, float bandSeconds, float seconds,
                 float rate, float limit);

} // namespace quorvane::kit
