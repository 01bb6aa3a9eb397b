// The frequency limits the operator sets in "F Limits" (whole MHz), and the
// one rule for what a typed frequency becomes under them.
#pragma once

#include <optional>
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

// What a frequency typed into the main box becomes under the limits. The
// window applies it on every change of the box (so it must let a half-typed
// number through), Tune applies it before it computes the word, and plovanctl
// refuses anything but Within.
//   above MaxFrequency + 2   Replaced: the box and the word take MaxFrequency
//   MaxFrequency + 0 ... 2   Tolerated: kept as typed; the slider stays at its top
//   MinFrequency ... Max     Within: kept; the slider follows the whole MHz,
//                            except at MinFrequency itself, where it stays
//   below MinFrequency       BelowLower: kept and sent as typed; the slider stays
// The lower limit bounds the slider only: a box may hold a lower frequency,
// as it does at start-up (75 MHz under a lower limit of 80).
inline constexpr int kUpperTolerance = 2; // MHz

struct TypedFrequency {
    enum class Verdict { Within, Tolerated, Replaced, BelowLower };
    Verdict verdict = Verdict::Within;
    double mhz = 0;            // what the box holds and Send tunes
    std::optional<int> slider; // where the coarse slider goes; empty: it stays
};

TypedFrequency typedFrequency(double mhz, int MinFrequency, int MaxFrequency);

} // namespace plovan
