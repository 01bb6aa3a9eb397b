// The calibration file: 256 lines, one per location, each the amplitude word
// and the phase word as four hex digits apiece ("0FFF0000" is full
// amplitude, no phase), ended by CR LF.
#pragma once

#include "line_file.h"

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan {

inline constexpr int kCalLocations = 256;
inline constexpr std::string_view kDummyCalLine = "0FFF0000"; // full amplitude, no phase
inline constexpr std::string_view kEmptyCalLine = "00000000";

// A number typed into a box (digits and "." only, as the boxes filter them),
// kept exact. Like the ordinary text-to-number conversion it reads up to the
// first other character, and an empty text is 0.
struct BoxNumber {
    static constexpr std::uint64_t kMaxWhole = 1'000'000'000;
    static constexpr int kMaxFractionDigits = 9; // far below any word's resolution

    std::uint64_t whole = 0;    // saturates at kMaxWhole
    std::uint64_t fraction = 0; // the first kMaxFractionDigits digits after the point
    std::uint64_t scale = 1;    // 10 ^ digits in `fraction`
    std::string fractionText;   // every fraction digit as typed
};
BoxNumber readBoxNumber(std::string_view text);

// The two words of one calibration line, 4 hex digits each: amplitude
// min(amplitude x 4, 4095), phase Int(degrees x 16383 / 360), computed
// exactly from the boxes' texts.
struct CalWords {
    std::string amplitude;
    std::string phase;
    std::string line() const { return amplitude + phase; }
};
CalWords calWords(std::string_view amplitude, std::string_view degrees);

// One row of the table as the file gives it: the line's first four
// characters are the amplitude, its last four the phase.
struct CalRow {
    std::string amplitude = "0000";
    std::string phase = "0000";
    // Both words are four hex digits.
    bool hex() const;
    std::string line() const { return amplitude + phase; }
};
using CalRows = std::array<CalRow, kCalLocations>;

struct CalRead {
    CalRows rows;
    std::size_t lines = 0;          // lines in the file (read before a stop)
    std::vector<std::string> notes; // what the file lacks or has too much of, rows that are not hex
    std::vector<int> badRows;       // rows that are not two words of four hex digits
    bool stopped = false;           // a line too long or a read error ended the reading
};
CalRead readCalTable(std::istream& in);
// Empty, with `error` saying why, when the file cannot be read or is refused
// (not a regular file, too large).
std::optional<CalRead> readCalFile(const std::string& path, std::string* error = nullptr);
// The rows, a line each, replacing the file whole (a new file, then renamed
// over the old one).
FileStatus writeCalFile(const QString& path, const CalRows& rows);
// One row's amplitude and/or phase word (four hex digits each) changed in
// the file, every other byte kept. A file that does not read cleanly (too
// few or many lines, a row other than `row` not hex, a byte-order mark, a
// line too long) is refused with `findings` saying why, and left alone; so
// is a target row whose other word is not four hex digits. The file is
// replaced whole or not at all.
FileStatus setCalRow(const QString& path, int row, const std::optional<std::string>& amplitude,
                     const std::optional<std::string>& phase, std::vector<std::string>* findings);

// The frequency a location stands for, i x 312.5 / 512 MHz, rounded to two
// places (a half to even) and shown without trailing zeros: "48.83", "0".
std::string locationMHzText(int location);
// The phase word in whole degrees as the editor shows it: Int(word / 45.51).
std::int64_t phaseDegrees(std::int64_t word);
// Four upper-case hex digits, or more for a larger value.
std::string hex4(std::int64_t value);

// Writes kCalLocations lines of kDummyCalLine to `path`.
FileStatus writeDummyCalFile(const QString& path);

// A calibration file recorded one frequency at a time, as "Store" does.
class CalibrationRecorder {
public:
    // Locations the recording never reaches are written empty when it ends.
    static constexpr int kFirstEmptyLocation = 168;
    static constexpr int kLastEmptyLocation = kCalLocations;

    FileStatus open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    const QString& path() const { return file_.path(); }
    // One recorded frequency fills two locations.
    FileStatus writeStep(const CalWords& words);
    // Writes kEmptyCalLine for the remaining locations and closes the file.
    FileStatus NewCloselut();

private:
    LineFile file_;
};

} // namespace plovan
