// Flattening a device's response with the calibration table: the measured
// response read from a CSV file, and the new amplitude words that bring every
// location to a target level, with the level they are predicted to give.
//
// The rule. With one measured column (taken with the table in force), level
// goes as the amplitude word squared: new word = old word x sqrt(target /
// level), the level interpolated linearly in frequency at each location
// (location i stands for i x 312.5/512 MHz). With two or more columns, each
// taken at a stated amplitude word, the level-versus-word curve at the
// location's frequency is inverted by monotone interpolation through the
// measured points and zero (no drive, no output), so saturation is followed
// as measured; a curve that does not rise with the word keeps the old word.
// Locations outside the measured band keep their words, words above 0FFF are
// clipped to 0FFF, and phase words are never changed.
#pragma once

#include "cal_file.h"

#include <array>
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace plovan::flatten {

// A measured response, or a target shape: levels per frequency, linear.
struct Response {
    std::vector<double> mhz; // strictly ascending
    // The amplitude word each level column was taken at ("A=0800"); empty for
    // one column taken with the calibration table in force ("level").
    std::vector<int> words;
    std::vector<std::vector<double>> levels; // levels[frequency][column]
    int columns() const { return levels.empty() ? 0 : int(levels.front().size()); }
};

struct ResponseRead {
    Response response;
    // "line 4: ...": what is wrong with the file; nothing is computed from a
    // file with findings.
    std::vector<std::string> findings;
};

// A CSV file: comma, semicolon or tab separated (the first line with data
// says which), "." the decimal point whatever the locale, an optional header
// ("MHz,A=0FFF,A=0800" or "MHz,level"), "#" starting a comment. `db`: the
// levels are in dB (dBm, dB of anything) and are read as 10^(x/10).
ResponseRead readResponse(std::istream& in, bool db);
// Empty, with `error` saying why, when the file cannot be read at all.
std::optional<ResponseRead> readResponseFile(const std::string& path, bool db, std::string* error = nullptr);
// What makes a response unfit as a target shape: more than one column, a
// level not above zero.
std::vector<std::string> shapeFindings(const Response& shape);

struct Target {
    enum Kind {
        Max,   // flat at the highest level every measured location can reach
        Level, // flat at `level`
        Shape, // `shape`'s form, raised as high as every measured location can reach
    };
    Kind kind = Max;
    double level = 0;
    Response shape;
};

// What happened to a location's amplitude word.
enum class Fate {
    Changed,
    Same,        // within the band, the word already right
    OutOfRange,  // outside the measured band (or the shape's): kept
    Clipped,     // the target needs more than 0FFF: 0FFF
    NotMonotone, // the measured curve does not rise with the word here: kept
    NotScalable, // one column, and the old word or the measured level is 0: kept
    NotHex,      // the old row is not two hex words: kept
};

struct Plan {
    CalRows rows; // the new table
    std::array<Fate, kCalLocations> fate{};
    // Per location, NaN where not computed: the level measured with the old
    // word, the target, and the level predicted with the new word.
    std::array<double, kCalLocations> measured{};
    std::array<double, kCalLocations> target{};
    std::array<double, kCalLocations> predicted{};
    double bandLow = 0, bandHigh = 0; // the measured band, MHz
    double flatLevel = 0;             // the flat target, or the shape's scale
    // Over the locations inside the band: the largest over the smallest
    // level divided by its target (1 for a perfect result); 0 when none.
    double measuredSpread = 0;
    double predictedSpread = 0;
    // The locations of `fate`, ascending.
    std::vector<int> rowsWith(Fate fate) const;
};

// Location i's frequency, i x 312.5 / 512 MHz.
double locationMHz(int location);

// Findings of `measured` (from readResponse) must be empty.
Plan flatten(const CalRows& old, const Response& measured, const Target& target);

// The plan in words, a line each: the rows changed, clipped and kept, the
// target and the predicted flatness.
std::vector<std::string> summary(const Plan& plan, const Target& target);

// What plovanctl and the window read before they flatten: the measured
// response, the old table and the shape, each file's findings prefixed with
// its path. Nothing is to be computed while `findings` is not empty.
struct Inputs {
    std::string measured, cal, shape; // shape: empty unless the target is Shape
    bool db = false;                  // the measured (and shape) levels are in dB
    Target::Kind kind = Target::Max;
    double level = 0; // Level
};
struct Loaded {
    CalRows old;
    Response measured;
    Target target;
    std::vector<std::string> findings;
};
Loaded load(const Inputs& inputs);

// "1.0031 (0.013 dB)": a max/min ratio and its value in dB.
std::string spreadText(double spread);
// Locations as ranges: "0-97, 165-255".
std::string rowRanges(const std::vector<int>& rows);
// `value` with `digits` significant digits, "." the decimal point.
std::string numberText(double value, int digits = 6);

} // namespace plovan::flatten
