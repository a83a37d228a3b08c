#pragma once

#include <array>

namespace quorvane
{

/** First-order IIR in transposed direct form II, H(z) = (b0 + b1 z^-1) / (1 + a1 z^-1).
    Starts as a wire. Used for the split allpass around the network and the high-cut shelf. */
struct FirstOrderFilter
{
    float a1 = 0.0f;
    float b0 = 1.0f;
    float b1 = 0.0f;
    float state = 0.0f;

    /** Filters n samples; output may be the same memory as input. */
    void process (int n, const float* input, float* output) noexcept;
    /** Loads (b0, b1, a1). */
    void setCoefficients (float newB0, float newB1, float newA1) noexcept;
};

/** One-pole lowpass y[n] = g.x[n] + (1 - g).y[n-1]: the band split inside the late lines. */
struct OnePoleLowpass
{
    float state = 0.0f;

    /** Filters n samples with factor g; output may be the same memory as input. */
    void process (float g, const float* input, float* output, int n) noexcept;
};

/** Both channels' one-pole lowpasses over n samples from inL, inR into outL, outR (which may be the
    same blocks), with the arithmetic of process. */
void processPair (OnePoleLowpass& left, OnePoleLowpass& right, float g, const float* inL, const float* inR, float* outL,
                  float* outR, int n) noexcept;

/** Splits each of `count` blocks at a one-pole lowpass L (filter k, factor g) and weighs the two
    bands in place: x = (x - L) x highGain[k] + L x lowGain[k] (either may be null for 1). The
    filters are independent, so four advance together and their recursions overlap in time. */
void splitBandsBank (OnePoleLowpass* filters, float g, float* const* blocks, const float* highGain,
                     const float* lowGain, int count, int n) noexcept;

/** One band split of a bank: filter k of `filters` with factor g, the gains as in splitBandsBank. */
struct BandSplit
{
    OnePoleLowpass* filters;
    float g;
    const float* highGain;
    const float* lowGain;
};

/** Two band splits of the same blocks, the second applied to what the first leaves, in one pass
    over the blocks: the same samples as two splitBandsBank calls. */
void splitTwoBandsBank (const BandSplit& first, const BandSplit& second, float* const* blocks, int count,
                        int n) noexcept;

/** Direct-form-II biquad w = x - a1.w1 - a2.w2, y = b0.w + b1.w1 + b2.w2; starts as a wire.
    The high-cut lowpass at the output. */
struct Biquad
{
    float a1 = 0.0f;
    float a2 = 0.0f;
    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float w1 = 0.0f;
    float w2 = 0.0f;
    /** The last two inputs and outputs (x1 the newest), kept so the state can be re-derived for new
        coefficients. */
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
    /** Coefficients actually applied by the smoothed variant (a1, a2, b0, b1, b2); they start at
        zero and glide towards the five above. */
    std::array<float, 5> current {};

    /** Filters exactly 64 samples; output may be the same memory as input. */
    void process64 (float* output, const float* input) noexcept;
    /** Makes the targets current at once (no glide). */
    void snapToTargets() noexcept { current = { a1, a2, b0, b1, b2 }; }
    /** Moves each current coefficient one step of `smoothing` towards its target, then filters
        exactly 64 samples with the current ones, so a changed corner glides instead of jumping. */
    void processSmoothed64 (float* output, const float* input, float smoothing) noexcept;
};

/* The same kind of filter on both channels at once: the two recursions run side by side in one
   vector, with the same operations per sample as each channel's own call (in place on l and r). */
/** FirstOrderFilter::process on both channels. */
void processPair (FirstOrderFilter& left, FirstOrderFilter& right, int n, float* l, float* r) noexcept;
/** processPair from the blocks inL, inR into outL, outR (the same samples as copying first). */
void processPair (FirstOrderFilter& left, FirstOrderFilter& right, int n, const float* inL, const float* inR,
                  float* outL, float* outR) noexcept;
/** Biquad::process64 (smoothing 0: without glide) or processSmoothed64 on both channels. */
void processPair64 (Biquad& left, Biquad& right, float* l, float* r, bool smoothed, float smoothing) noexcept;

/** After a large upward jump of a lowpass's corner: sets the state that holds the level of the
    last outputs. The direct-form state of a low corner is far larger than the signal; read at once
    by the coefficients of a much higher corner it bursts out tens of dB louder than the signal. */
void continueFromHistory (Biquad& filter) noexcept;
/** The same for a filter running with coefficients whose numerator sums to `numeratorSum`. */
void holdOutputLevel (Biquad& filter, float numeratorSum) noexcept;
/** Zeroes the state and the history. */
void clearState (Biquad& filter) noexcept;

/** Three coefficients returned by the design functions. */
struct Coefficients3
{
    float x, y, z;
};

/** Lowpass biquad (cookbook, Q = 1/1.4142) at f for rate fs; the states are left alone. */
void designLowpass (Biquad& filter, float f, float fs) noexcept;
/** Bilinear first-order shelf: gain 1 at DC, h at high frequencies; load as b0 = x, b1 = y, a1 = z. */
Coefficients3 designShelf (float fc, float h, float fs) noexcept;
/** First-order allpass coefficient: returns (d, 1, d) for (d + z^-1) / (1 + d z^-1). */
Coefficients3 designAllpass1 (float fc, float fs) noexcept;
/** Unnormalised first-order lowpass at 9000 Hz: returns (1, 1, a1). */
Coefficients3 designDamper (float fs) noexcept;

} // namespace quorvane
