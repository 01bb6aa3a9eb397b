// The VSWR sweep's pure parts: the phase table, the unit's "=AV" reply and
// the VSWR file.
//
// The sweep steps from 48 MHz in 2 MHz steps to 94 MHz (24 steps); step n
// writes phase word kPhaseTable[n] before it tunes. The reply to "=AV" ends
// with eight fields of a separator and three hex digits, Fwd4 Rev4 Fwd3 Rev3
// Fwd2 Rev2 Fwd1 Rev1, then CR LF. The file has two header lines, then a
// line per step: the frequency and the eight readings, tab-separated, each
// number written with a space before and after it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::vswr {

inline constexpr int kStartMHz = 48;
inline constexpr int kStepMHz = 2;
inline constexpr int kEndMHz = 95; // the sweep ends once the next frequency reaches it
inline constexpr int kSteps = (kEndMHz - kStartMHz + kStepMHz - 1) / kStepMHz;

// Index 1 ... 25 are the table's entries; 0 and 26 are 0.
inline constexpr std::array<std::uint16_t, 27> kPhaseTable{
    0,    10865, 11158, 11492, 11868, 12286, 12746, 13248, 13791, 14377, 15004, 15673, 0, 752,
    1546, 2383,  3260,  4180,  5142,  6145,  7190,  8277,  9406,  10577, 11789, 13043, 0};

// The phase writes of step `count` (1-based): "=D" + high byte + "80", "=D" + low byte + "81".
std::vector<std::string> phaseLines(int count);

// Fwd4 Rev4 Fwd3 Rev3 Fwd2 Rev2 Fwd1 Rev1.
using Reading = std::array<std::uint16_t, 8>;
inline constexpr std::array<const char*, 8> kColumns{"Fwd4", "Rev4", "Fwd3", "Rev3",
                                                     "Fwd2", "Rev2", "Fwd1", "Rev1"};

// A reply line to "=AV" (its CR LF may be there or not; whatever comes
// before its last 32 characters, such as acknowledgements, is ignored).
// Empty with `error` saying why when it is too short or a field is not a
// separator and three hex digits.
std::optional<Reading> decodeReply(std::string_view line, std::string* error);

inline constexpr char kTitleLine[] = "Velmar Plovan VSWR";
std::string columnsLine();
std::string dataLine(int mhz, const Reading& values);

// A VSWR file read back for the plot.
struct Row {
    double mhz = 0;
    Reading values{};
};
struct FileRead {
    std::vector<Row> rows;
    std::vector<std::string> notes; // lines that are not a step's, with their numbers
};
// Empty, with `error` saying why, when the file cannot be read or is refused
// (not a regular file, too large).
std::optional<FileRead> readFile(const std::string& path, std::string* error = nullptr);

} // namespace plovan::vswr
