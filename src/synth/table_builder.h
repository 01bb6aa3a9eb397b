// The files the single-tone panel records: the 63-entry image table of
// "Build Table" with its companion dummy calibration file, and the
// calibration recording file that "Store" fills one frequency at a time.
//
// Nothing here asks the operator anything: choosing the file and confirming
// "Replace existing file" is the window's job. Every line is flushed and
// checked as it is written, so a failure shows at the step that caused it;
// the file is then closed and the error text (with the system's message) is
// handed back for the window to show.
#pragma once

#include "synth_state.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QFile;

namespace plovan {

// Empty error = success.
struct FileStatus {
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// A text file written line by line, each line ended by CR LF.
class LineFile {
public:
    LineFile();
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Creates or empties the file.
    FileStatus open(const QString& path);
    // On failure the file is closed.
    FileStatus writeLine(std::string_view line);
    FileStatus close();
    bool isOpen() const;
    const QString& path() const { return path_; }

private:
    FileStatus failAndClose(const QString& what);

    std::unique_ptr<QFile> file_;
    QString path_;
};

// --- "Build Table" ---

// One entry of the table: 4 hex digits of the frequency column (Text29, the
// upper half of the frequency word), the amplitude column (Text30) as 3 hex
// digits, the channel mask digit and "0". Empty when a column does not hold
// such a hex value.
std::optional<std::string> tableEntry(std::string_view Text29, std::string_view Text30, int CtrlReg);
// What an unfilled location holds: the frequency, amplitude 0, the channels.
std::optional<std::string> tableFiller(std::string_view Text29, int CtrlReg);

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
    int Text31() const { return location_; }
    const QString& path() const { return file_.path(); }

    // "Next": the entry for the current location; the last one finishes the table.
    TableResult next(std::string_view Text29, std::string_view Text30, int CtrlReg);
    // "Esc": fillers for every location left, then finishes the table.
    TableResult escape(std::string_view Text29, int CtrlReg);

private:
    TableResult writeEntry(const std::string& line);
    TableResult finish();

    LineFile file_;
    int location_ = 1;
};

// --- "Store": calibration recording ---

// The two words of one calibration line, 4 hex digits each: amplitude
// min(Text3 x 4, 4095), phase Int(Text2 x 16383 / 360), both from the
// boxes' texts and computed exactly.
struct StoreWords {
    std::string amplitude;
    std::string phase;
    std::string line() const { return amplitude + phase; }
};
StoreWords storeWords(std::string_view Text3, std::string_view Text2);

class CalibrationRecorder {
public:
    // Locations the recording never reaches are written empty when it ends.
    static constexpr int kFirstEmptyLocation = 168;
    static constexpr int kLastEmptyLocation = 256;

    FileStatus open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    const QString& path() const { return file_.path(); }
    // One recorded frequency fills two locations.
    FileStatus writeStep(const StoreWords& words);
    // Writes "00000000" for the remaining locations and closes the file.
    FileStatus NewCloselut();

private:
    LineFile file_;
};

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
