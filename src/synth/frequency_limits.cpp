#include "frequency_limits.h"

#include "words.h"

#include <algorithm>
#include <cmath>

namespace plovan {

LimitsCheck checkLimits(std::string_view lower, std::string_view upper)
{
    LimitsCheck out;
    const auto L = parseDecimal(lower);
    const auto U = parseDecimal(upper);
    if (!L || !U) {
        const bool lowerBad = !L;
        const std::string_view text = lowerBad ? lower : upper;
        out.message = std::string(lowerBad ? "Lower" : "Upper") + " limit: \"" + std::string(text) +
                      "\" is not a number of MHz";
        return out;
    }
    if (U->value() < L->value()) {
        out.verdict = LimitsCheck::Verdict::UpperBelowLower;
        return out;
    }
    // Clamped before the conversion, so no typed size can overflow it.
    const auto whole = [](const Decimal& d) {
        const double v = std::clamp(d.value(), double(kLowestLimit), double(kHighestLimit));
        return static_cast<int>(std::nearbyint(v));
    };
    out.verdict = LimitsCheck::Verdict::Applied;
    out.MinFrequency = whole(*L);
    out.MaxFrequency = whole(*U);
    return out;
}

TypedFrequency typedFrequency(double mhz, int MinFrequency, int MaxFrequency)
{
    using Verdict = TypedFrequency::Verdict;
    TypedFrequency out;
    out.mhz = mhz;
    if (mhz > MaxFrequency + kUpperTolerance) {
        out.verdict = Verdict::Replaced;
        out.mhz = MaxFrequency;
    }
    else if (mhz > MaxFrequency) {
        out.verdict = Verdict::Tolerated;
    }
    else if (!(mhz >= MinFrequency)) { // also what is not a number
        out.verdict = Verdict::BelowLower;
    }
    // At or below the lower limit the slider stays where it is.
    if (out.mhz > MinFrequency) out.slider = std::min(static_cast<int>(std::floor(out.mhz)), MaxFrequency);
    return out;
}

} // namespace plovan
