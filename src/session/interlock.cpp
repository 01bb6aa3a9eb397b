#include "interlock.h"

#include <charconv>

#include <cstdio>

namespace plovan {

std::optional<double> ratioOf(const vswr::Reading& r, int output, int minForward)
{
    const int forward = forwardOf(r, output);
    if (forward <= 0 || forward < minForward) return std::nullopt;
    return double(reflectedOf(r, output)) / double(forward);
}

std::string tripLine(const InterlockTrip& trip, const std::string& time)
{
    // Written with a point whatever the locale.
    const auto twoPlaces = [](double value) {
        char buf[32];
        const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2).ptr;
        return std::string(buf, end);
    };
    return "Interlock: J" + std::to_string(trip.output) + " reflected/forward " + twoPlaces(trip.ratio) + " above " +
           twoPlaces(trip.level) + " at " + time + " - RF off";
}

std::optional<InterlockTrip> InterlockRule::take(const vswr::Reading& reading)
{
    if (latched_) return std::nullopt;
    std::optional<InterlockTrip> worst;
    for (int output = 1; output <= 4; ++output) {
        int& run = runs_[std::size_t(output - 1)];
        const auto ratio = ratioOf(reading, output, settings_.minForward);
        if (!ratio || *ratio <= settings_.tripRatio) {
            run = 0;
            continue;
        }
        if (++run >= settings_.count && (!worst || *ratio > worst->ratio))
            worst = InterlockTrip{output, *ratio, settings_.tripRatio};
    }
    if (worst) {
        latched_ = worst;
        runs_.fill(0);
    }
    return worst;
}

void InterlockRule::acknowledge()
{
    latched_.reset();
    runs_.fill(0);
}

} // namespace plovan
