// The frequency limits the operator sets in "F Limits": whole MHz bounding
// the main frequency slider and box.
#pragma once

#include <string>
#include <string_view>

namespace plovan {

// Neither limit may leave this band: below it the unit's output is not
// specified, above it the word nears the clock.
inline constexpr int kLowestLimit = 5;    // MHz
inline constexpr int kHighestLimit = 270; // MHz

struct LimitsCheck {
    enum class Verdict {
        Applied,         // MinFrequency/MaxFrequency hold the new limits
        UpperBelowLower, // nothing changes
        NotANumber,      // nothing changes; `message` says which box
    };
    Verdict verdict = Verdict::NotANumber;
    int MinFrequency = 0;
    int MaxFrequency = 0;
    std::string message;
};

// The limits as typed in the "Lower" and "Upper" boxes. Each is rounded to
// whole MHz (a half to the even neighbour, as the integer conversion does)
// and kept within kLowestLimit ... kHighestLimit; upper below lower is refused.
LimitsCheck checkLimits(std::string_view lower, std::string_view upper);

} // namespace plovan
