// Exact integer arithmetic behind the words: 128-bit products of typed
// decimals and the clock, and the floor of their quotients. No double
// arithmetic decides a word.
#pragma once

#include "words.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace plovan::exact {

// Decimals of up to 20 places times a 53-bit clock mantissa stay well under 2^127.
__extension__ typedef unsigned __int128 u128;

inline u128 pow10(int n)
{
    u128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

// Decimals as parseDecimal makes them; the words' products are sized for these.
inline bool exactRange(const Decimal& d)
{
    return d.scale >= 0 && d.scale <= Decimal::kMaxScale && d.mantissa <= Decimal::kMaxMantissa;
}

// A positive double is exactly odd * 2^exp, odd < 2^53.
struct BinaryValue {
    std::uint64_t odd;
    int exp;
};

// nullopt for zero, negative, infinite and not-a-number.
inline std::optional<BinaryValue> binaryValue(double x)
{
    if (!std::isfinite(x) || x <= 0.0) return std::nullopt;
    int e = 0;
    const double f = std::frexp(x, &e); // x = f * 2^e, 0.5 <= f < 1, subnormals too
    auto c = static_cast<std::uint64_t>(std::ldexp(f, 53));
    e -= 53;
    while ((c & 1u) == 0) {
        c >>= 1;
        ++e;
    }
    return BinaryValue{c, e};
}

// floor(num * 2^shift / den), nullopt above `limit`. den < 2^127.
// A negative shift divides the whole quotient (floor of a floor is the
// floor); a positive one is binary long division, one quotient bit per step,
// so nothing overflows whatever the shift, and it stops once the quotient is
// past the limit.
inline std::optional<std::uint64_t> floorShifted(u128 num, int shift, u128 den, std::uint64_t limit)
{
    u128 q = num / den;
    if (shift < 0) {
        q = -shift < 128 ? q >> -shift : 0;
    }
    else {
        u128 r = num % den;
        for (; shift > 0 && q <= limit; --shift) {
            q <<= 1;
            r <<= 1;
            if (r >= den) {
                r -= den;
                ++q;
            }
        }
    }
    if (q > limit) return std::nullopt;
    return static_cast<std::uint64_t>(q);
}

} // namespace plovan::exact
