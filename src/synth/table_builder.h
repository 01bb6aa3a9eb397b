// The files the single-tone panel records: the 63-entry image table of
// "Build Table" with its companion dummy calibration file, and the
// calibration recording that "Store" fills one frequency at a time.
//
// Nothing here asks the operator anything: choosing the file and confirming
// "Replace existing file" is the window's job.
#pragma once

#include "cal_file.h"
#include "line_file.h"
#include "synth_state.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

// --- "Build Table" ---

// One entry of the table: 4 hex digits of the frequency column (Text29, the
// upper half of the frequency word), the amplitude column (Text30) as 3 hex
// digits, the channel mask digit and "0". Empty when a column does not hold
// such a hex value.
std::optional<std::string> tableEntry(std::string_view frequencyColumn, std::string_view amplitudeColumn,
                                      int CtrlReg);
// What an unfilled location holds: the frequency, amplitude 0, the channels.
std::optional<std::string> tableFiller(std::string_view frequencyColumn, int CtrlReg);

// The dummy calibration file beside a table: its path with the last three
// characters replaced by "cal" ("x.plv" -> "x.cal").
QString companionCalPath(const QString& tablePath);
// Writes 256 lines "0FFF0000" (full amplitude, no phase) to companionCalPath.
// Refuses a table path whose companion would be the table itself.
FileStatus MakeDummyCalfile(const QString& tablePath);

enum class TableStep {
    Recorded,  // the entry is in the file; recording goes on
    Finished,  // all 63 locations written: table closed, dummy cal file written
    BadEntry,  // nothing written (a column is not a hex word); recording goes on
    FileError, // a write failed: the table file is closed, recording has ended
};

struct TableResult {
    TableStep step;
    QString error; // BadEntry, FileError: the text to show
};

class TableBuilder {
public:
    static constexpr int kLocations = 63;

    // Starts a table at `path` (replacing any file there) with its two header lines.
    FileStatus start(const QString& path);
    bool recording() const { return file_.isOpen(); }
    // Text31: the location the next entry goes to, 1..63.
    int location() const { return location_; }
    const QString& path() const { return file_.path(); }

    // "Next": the entry for the current location; the last one finishes the table.
    TableResult next(std::string_view frequencyColumn, std::string_view amplitudeColumn, int CtrlReg);
    // "Esc": fillers for every location left, then finishes the table.
    TableResult escape(std::string_view frequencyColumn, int CtrlReg);

private:
    TableResult writeEntry(const std::string& line);
    TableResult finish();

    LineFile file_;
    int location_ = 1;
};

// --- "Store": calibration recording ---

enum class StoreStep {
    Tuned,       // the line is recorded and the unit tuned one MHz up
    TuneStopped, // the line is recorded and Text1 advanced, but the tuning stopped
    Ended,       // Text1 reached 93: the file is completed and closed
    FileError,   // nothing more recorded; the file is closed (or was never open)
};

struct StoreResult {
    StoreStep step;
    QString error;
};

// Command6 "Store": records the words of Text3 and Text2 (Text4 and PhaseHex
// show them, as the panel does), moves Text1 one MHz up and tunes there
// through `tune`, or at 93 MHz completes the file.
StoreResult storeCalibrationStep(SynthState& state, CalibrationRecorder& file,
                                 const std::function<bool()>& tune);

} // namespace plovan
