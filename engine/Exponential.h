#pragma once

namespace quorvane
{

/** out[k] = std::exp (x[k]) for k < count, bit for bit (out may be x).

    A change of decay or size recomputes about a hundred gains, each an exponential; one call to
    the library per value would cost more than the whole change otherwise. The C library's single
    float exponential is a short table-driven computation in double precision, built in one of
    two forms: with fused multiply-adds where the processor has them, or without. When the library
    starts, the form in use is recognised by values on which the two forms differ and confirmed
    on a sweep of the whole range; that form then runs on several values at a time, the same
    operations in the same order for each. Any other library, and any set holding a value outside
    the range the table covers (infinities, NaNs, results that overflow or vanish), is left to the
    library. */
void exponentials (float* out, const float* x, int count) noexcept;

/** Which computation exponentials runs: the library's own, or its recognised form side by side. */
enum class ExponentialForm
{
    library,
    plain,
    fused
};

/** The form recognised when the library started (library: none). */
ExponentialForm recognisedExponentialForm() noexcept;

} // namespace quorvane
