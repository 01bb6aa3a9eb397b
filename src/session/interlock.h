// The RF interlock's rule, pure: readings in, a trip out.
//
// An output's ratio is its reflected reading over its forward reading, both
// raw detector counts as "=AV" reports them. The program does not know the
// detectors' law, so the ratio is a level to watch for change, not a
// reflection coefficient or a VSWR. An output whose forward reading is below
// `minForward` (RF off, amplitude near zero) is not judged: its ratio would
// be the detectors' offsets and says nothing about the load.
#pragma once

#include "vswr_file.h"

#include <array>
#include <optional>
#include <string>

namespace plovan {

struct InterlockSettings {
    double tripRatio = 0.3; // reflected / forward above this counts
    int count = 3;          // readings in a row above it trip
    int minForward = 16;    // forward readings below this are not judged
};

struct InterlockTrip {
    int output = 0; // 1-4, J1 ... J4
    double ratio = 0;
    double level = 0;
};

// Output `output` (1-4) of a reading: forward and reflected counts.
inline std::uint16_t forwardOf(const vswr::Reading& r, int output)
{
    return r[std::size_t(2 * (4 - output))];
}
inline std::uint16_t reflectedOf(const vswr::Reading& r, int output)
{
    return r[std::size_t(2 * (4 - output) + 1)];
}
// Reflected over forward; empty when the forward reading is below `minForward`.
std::optional<double> ratioOf(const vswr::Reading& r, int output, int minForward);

// "Interlock: J2 reflected/forward 0.52 above 0.30 at 01:02:03 - RF off"
std::string tripLine(const InterlockTrip& trip, const std::string& time);

class InterlockRule {
public:
    explicit InterlockRule(InterlockSettings settings = {}) : settings_(settings) {}
    const InterlockSettings& settings() const { return settings_; }

    // Takes one reading. Returns the trip when this reading trips the
    // interlock; it then stays latched (no further trips, no counting) until
    // acknowledge(). A reading at or below the level, or not judged, starts
    // that output's count again.
    std::optional<InterlockTrip> take(const vswr::Reading& reading);
    bool latched() const { return latched_.has_value(); }
    const std::optional<InterlockTrip>& trip() const { return latched_; }
    // The operator has seen it: counting starts afresh.
    void acknowledge();

private:
    InterlockSettings settings_;
    std::array<int, 4> runs_{};
    std::optional<InterlockTrip> latched_;
};

} // namespace plovan
