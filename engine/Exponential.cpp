#include "Exponential.h"

#include "VectorUnit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quorvane
{

namespace
{
#if defined(__x86_64__)
/* The library's computation of exp (x), x a float below 88 in magnitude: with N = 32,
   x N / ln 2 = k + r, |r| <= 1/2, k whole, and exp (x) = 2^(k / N) 2^(r / N); 2^(r / N) is a cubic
   in r, and 2^(k / N) comes from a table of 2^(j / N) (j = k mod N) whose exponent field takes
   k / N added as bits. All of it in double precision, rounded to float once at the end. The
   table holds each 2^(j / N) rounded to double less j << 47, so that adding k << 47 leaves 2^(k / N). */
constexpr double powersOfTwo[32] = {
    0x1.0000000000000p+0, 0x1.059b0d3158574p+0, 0x1.0b5586cf9890fp+0, 0x1.11301d0125b51p+0,
    0x1.172b83c7d517bp+0, 0x1.1d4873168b9aap+0, 0x1.2387a6e756238p+0, 0x1.29e9df51fdee1p+0,
    0x1.306fe0a31b715p+0, 0x1.371a7373aa9cbp+0, 0x1.3dea64c123422p+0, 0x1.44e086061892dp+0,
    0x1.4bfdad5362a27p+0, 0x1.5342b569d4f82p+0, 0x1.5ab07dd485429p+0, 0x1.6247eb03a5585p+0,
    0x1.6a09e667f3bcdp+0, 0x1.71f75e8ec5f74p+0, 0x1.7a11473eb0187p+0, 0x1.82589994cce13p+0,
    0x1.8ace5422aa0dbp+0, 0x1.93737b0cdc5e5p+0, 0x1.9c49182a3f090p+0, 0x1.a5503b23e255dp+0,
    0x1.ae89f995ad3adp+0, 0x1.b7f76f2fb5e47p+0, 0x1.c199bdd85529cp+0, 0x1.cb720dcef9069p+0,
    0x1.d5818dcfba487p+0, 0x1.dfc97337b9b5fp+0, 0x1.ea4afa2a490dap+0, 0x1.f50765b6e4540p+0,
};

struct Table
{
    alignas (32) int64_t bits[32];
    Table() noexcept
    {
        for (int j = 0; j < 32; ++j)
        {
            uint64_t u;
            std::memcpy (&u, &powersOfTwo[j], sizeof u);
            bits[j] = (int64_t) (u - ((uint64_t) j << 47));
        }
    }
};
const Table table;

constexpr double invLn2N = 0x1.71547652b82fep+0 * 32, shift = 0x1.8p+52;
constexpr double c0 = 0x1.c6af84b912394p-5 / 32 / 32 / 32, c1 = 0x1.ebfce50fac4f3p-3 / 32 / 32,
                 c2 = 0x1.62e42ff0c52d6p-1 / 32;

/* Both kernels first check that the library takes its table path for every value: no magnitude
   from 88 up (its test on the exponent field and the top mantissa bits of the float), no infinity
   or NaN. If one does not, they return false having written nothing. */

/** The form without fused operations, two values per vector (the x86-64 baseline). n a multiple
    of four. */
[[gnu::noinline]] bool plainKernel (float* out, const float* x, int n) noexcept
{
    const __m128 absMask = _mm_castsi128_ps (_mm_set1_epi32 (0x7fffffff)), limit = _mm_set1_ps (88.0f);
    __m128 outside = _mm_setzero_ps();
    for (int k = 0; k < n; k += 4)
        outside = _mm_or_ps (outside, _mm_cmpnlt_ps (_mm_and_ps (_mm_loadu_ps (x + k), absMask), limit));
    if (_mm_movemask_ps (outside) != 0)
        return false;
    const __m128d m = _mm_set1_pd (invLn2N), s = _mm_set1_pd (shift);
    for (int k = 0; k < n; k += 4)
    {
        const __m128 v = _mm_loadu_ps (x + k);
        for (int half = 0; half < 2; ++half)
        {
            const __m128d xd = _mm_cvtps_pd (half == 0 ? v : _mm_movehl_ps (v, v));
            const __m128d z = _mm_mul_pd (m, xd);
            __m128d kd = _mm_add_pd (z, s);
            const __m128i ki = _mm_castpd_si128 (kd);
            kd = _mm_sub_pd (kd, s);
            const __m128d r = _mm_sub_pd (z, kd);
            const auto k0 = _mm_cvtsi128_si64 (ki), k1 = _mm_cvtsi128_si64 (_mm_unpackhi_epi64 (ki, ki));
            __m128i t = _mm_set_epi64x (table.bits[k1 & 31], table.bits[k0 & 31]);
            t = _mm_add_epi64 (t, _mm_slli_epi64 (ki, 47));
            const __m128d zz = _mm_add_pd (_mm_mul_pd (_mm_set1_pd (c0), r), _mm_set1_pd (c1));
            const __m128d r2 = _mm_mul_pd (r, r);
            __m128d y = _mm_add_pd (_mm_mul_pd (_mm_set1_pd (c2), r), _mm_set1_pd (1.0));
            y = _mm_add_pd (_mm_mul_pd (zz, r2), y);
            y = _mm_mul_pd (y, _mm_castsi128_pd (t));
            _mm_storel_pi (reinterpret_cast<__m64*> (out + k + 2 * half), _mm_cvtpd_ps (y));
        }
    }
    return true;
}

    #if defined(QUORVANE_HAS_AVX2_KERNELS)
/** The form with fused multiply-adds, four values per vector: the products x N / ln 2 are never
    rounded (both k and r are fused from x), nor are the cubic's. n as plainKernel takes it. */
[[gnu::noinline]] __attribute__ ((target ("avx2,fma"))) bool fusedKernel (float* out, const float* x, int n) noexcept
{
    const __m256 absMask = _mm256_castsi256_ps (_mm256_set1_epi32 (0x7fffffff)), limit = _mm256_set1_ps (88.0f);
    __m256 outside = _mm256_setzero_ps();
    int j = 0;
    for (; j + 8 <= n; j += 8)
        outside = _mm256_or_ps (outside,
                                _mm256_cmp_ps (_mm256_and_ps (_mm256_loadu_ps (x + j), absMask), limit, _CMP_NLT_UQ));
    const int tail =
        j < n ? _mm_movemask_ps (_mm_cmpnlt_ps (_mm_and_ps (_mm_loadu_ps (x + j), _mm256_castps256_ps128 (absMask)),
                                                _mm256_castps256_ps128 (limit)))
              : 0;
    if ((_mm256_movemask_ps (outside) | tail) != 0)
        return false;
    const __m256d m = _mm256_set1_pd (invLn2N), s = _mm256_set1_pd (shift);
    for (int k = 0; k < n; k += 4)
    {
        const __m128 v = _mm_loadu_ps (x + k);
        const __m256d xd = _mm256_cvtps_pd (v);
        __m256d kd = _mm256_fmadd_pd (m, xd, s);
        const __m256i ki = _mm256_castpd_si256 (kd);
        kd = _mm256_sub_pd (kd, s);
        const __m256d r = _mm256_fmsub_pd (m, xd, kd);
        __m256i t = _mm256_i64gather_epi64 (reinterpret_cast<const long long*> (table.bits),
                                            _mm256_and_si256 (ki, _mm256_set1_epi64x (31)), 8);
        t = _mm256_add_epi64 (t, _mm256_slli_epi64 (ki, 47));
        const __m256d zz = _mm256_fmadd_pd (r, _mm256_set1_pd (c0), _mm256_set1_pd (c1));
        const __m256d r2 = _mm256_mul_pd (r, r);
        __m256d y = _mm256_fmadd_pd (r, _mm256_set1_pd (c2), _mm256_set1_pd (1.0));
        y = _mm256_fmadd_pd (zz, r2, y);
        y = _mm256_mul_pd (y, _mm256_castsi256_pd (t));
        _mm_storeu_ps (out + k, _mm256_cvtpd_ps (y));
    }
    return true;
}
    #endif

using Kernel = bool (*) (float*, const float*, int) noexcept;

/** True when the kernel gives the library's exponential on a sweep of the table's range: the two
    values on which the forms differ first, then about 4096 more across it. */
bool agreesWithLibrary (Kernel kernel) noexcept
{
    constexpr int count = 4096;
    float x[count], mine[count];
    volatile float telling[2] = { 0x1.04845ep+5f, -0x1.f8cbb2p+5f }; // not folded by the compiler
    x[0] = telling[0];
    x[1] = telling[1];
    x[2] = x[3] = 0.0f;
    for (int i = 4; i < count; ++i)
        x[i] = -87.99f + 175.98f * (float) (i - 4) / (float) (count - 5);
    if (! kernel (mine, x, count))
        return false;
    for (int i = 0; i < count; ++i)
    {
        const float theirs = std::exp (x[i]);
        if (std::memcmp (&theirs, &mine[i], sizeof theirs) != 0)
            return false;
    }
    return true;
}

ExponentialForm recognise() noexcept
{
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
    __builtin_cpu_init();
    if (__builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma") && agreesWithLibrary (fusedKernel))
        return ExponentialForm::fused;
    #endif
    return agreesWithLibrary (plainKernel) ? ExponentialForm::plain : ExponentialForm::library;
}
#else
ExponentialForm recognise() noexcept { return ExponentialForm::library; }
#endif

const ExponentialForm form = recognise();
} // namespace

ExponentialForm recognisedExponentialForm() noexcept { return form; }

namespace
{
/** exponentials by the library, from k on. */
[[gnu::noinline]] void libraryExponentials (float* out, const float* x, int k, int count) noexcept
{
    for (; k < count; ++k)
        out[k] = std::exp (x[k]);
}

#if defined(__x86_64__)
/** The kernel of the form recognised on the current unit (the fused one needs the wider unit's
    instructions: on the baseline unit the library runs), or nullptr. */
inline Kernel currentKernel() noexcept
{
    #if defined(QUORVANE_HAS_AVX2_KERNELS)
    if (form == ExponentialForm::fused)
        return wideVectors() ? fusedKernel : nullptr;
    #endif
    return form == ExponentialForm::plain ? plainKernel : nullptr;
}

/** exponentials where count is not a multiple of four: the last values padded to four with
    zeros, whose exponentials are dropped. */
[[gnu::noinline]] void withTail (Kernel kernel, float* out, const float* x, int count) noexcept
{
    const int whole = count - count % 4;
    if (! kernel (out, x, whole))
        return libraryExponentials (out, x, 0, count);
    alignas (16) float tail[4] = {};
    std::copy_n (x + whole, count - whole, tail);
    if (! kernel (tail, tail, 4))
        return libraryExponentials (out, x, whole, count);
    std::copy_n (tail, count - whole, out + whole);
}
#endif
} // namespace

void exponentials (float* out, const float* x, int count) noexcept
{
#if defined(__x86_64__)
    // A set with a value beyond the table (a gain below the smallest float, rare) goes to the
    // library from there on: the kernels then need no test of their own.
    if (const Kernel kernel = currentKernel(); kernel != nullptr)
    {
        if (count % 4 != 0)
            return withTail (kernel, out, x, count);
        if (! kernel (out, x, count))
            libraryExponentials (out, x, 0, count);
        return;
    }
#endif
    libraryExponentials (out, x, 0, count);
}

} // namespace quorvane
