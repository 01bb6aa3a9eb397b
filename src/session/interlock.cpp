#include "interlock.h"

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
    char text[160];
    std::snprintf(text, sizeof text, "Interlock: J%d reflected/forward %.2f above %.2f at %s - RF off",
                  trip.output, trip.ratio, trip.level, time.c_str());
    return text;
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
