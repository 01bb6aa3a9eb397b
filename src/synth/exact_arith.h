// Exact integer arithmetic behind the words: 128-bit products of typed
// decimals and the clock, and the rule that lets the double formula decide
// where an exact quotient lies within its rounding errors of an integer.
// For the word calculations only (synthesiser and chirp).
#pragma once

#include "words.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace plovan::exact {

// Decimals of up to 20 places times a 48-bit shift or a 16-bit clock
// numerator stay well under 2^128.
__extension__ typedef unsigned __int128 u128;

inline u128 pow10(int n)
{
    u128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

// Decimals as parseDecimal makes them; others get the formula alone.
inline bool exactRange(const Decimal& d)
{
    return d.scale >= 0 && d.scale <= Decimal::kMaxScale && d.mantissa <= Decimal::kMaxMantissa;
}

// floor(num / den), at most `limit`. Where num / den lies so close to an
// integer that the double formula's rounding (a few steps of at most 2^-53
// of the value each) could land on the other side, the formula's own result
// is taken; a margin of 2^-48 of the value covers those errors many times
// over. nullopt above `limit`.
template <class Formula>
std::optional<std::uint32_t> floorAsFormula(u128 num, u128 den, std::uint32_t limit, const Formula& formula)
{
    const u128 q = num / den;
    if (q > u128{limit} + 1) return std::nullopt;
    const u128 r = num % den;
    const u128 distance = std::min(r, den - r);
    const u128 margin = (den * (q + 1)) >> 48;
    const std::optional<std::uint32_t> w =
        distance <= margin ? formula() : std::optional<std::uint32_t>(static_cast<std::uint32_t>(q));
    if (!w || *w > limit) return std::nullopt;
    return w;
}

// A clock of c * 2^e MHz, c odd. Every double is one; small c and e keep the
// exact products within 128 bits.
struct BinaryFraction {
    std::uint64_t odd;
    int exp;
};

inline std::optional<BinaryFraction> smallBinaryFraction(double x)
{
    if (!std::isfinite(x) || x <= 0.0) return std::nullopt;
    int e = 0;
    const double f = std::frexp(x, &e); // x = f * 2^e, 0.5 <= f < 1
    auto c = static_cast<std::uint64_t>(std::ldexp(f, 53));
    e -= 53;
    while ((c & 1u) == 0) {
        c >>= 1;
        ++e;
    }
    if (c >= (1u << 16) || e < -16 || e > 16) return std::nullopt;
    return BinaryFraction{c, e};
}

} // namespace plovan::exact
