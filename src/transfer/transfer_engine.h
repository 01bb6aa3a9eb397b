// The machinery every table send shares, as a state machine that never
// touches a port: it is fed the bytes the unit sends and the ends of the
// pauses and reply time-outs it asked for, and it asks, through its hooks,
// for lines to be written, pauses to be taken and messages to be shown. So a
// test drives a whole send synchronously, and the window's driver keeps its
// event loop free (single-shot timers, no nested waits in a loop).
//
// A send: prepare() reads the file's header (or, for a file without one, its
// first line) before anything is written, so a file that cannot be sent is
// refused with nothing sent. Then the start commands (some waiting for their
// "@"), a pause, the header line in its sent form, a pause, and the header's
// reply: a wait for it where the unit always answers it (raw), else the
// "too big" test once the unit has had as long to refuse the header as it
// took to answer the start command. Then each record, waiting for its reply
// ("C" next or "K" CRC error; "@" on the multichirp route) and taking the
// sender's pause after it; on routes that do not wait, the unit's letters
// still stop the records. Then the verdict, awaited within the reply time-out
// (a unit still talking keeps it open), from the text received since the send
// began with the messages appended to it, never the terminal (which empties
// itself at 2001 characters):
//   1. it contains "K": "CRC Error. File send aborted", then the abort sequence;
//   2. it contains "E": "Error!";
//   3. it ends with the success letter: "Sent OK!".
// Every stop that leaves the unit mid-load (a line unanswered within the
// time-out, cancel, a failed write, a file that ends before its count)
// writes its message and, where the load has one, clears the unit with the
// abort sequence: a pause of 3.175 s, "=C", another pause, "=C", "=C".
//
// Every ending gives a result (result()): what was sent of what, and one
// line that says what the unit did, for a failure with its record and
// letter ("CRC error at record 500 of 2000 (the unit answered "K")").
#pragma once

#include "line_reader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan {

// What makes one sender out of the engine.
struct SenderConfig {
    // A reply a line waits for.
    enum class Wait {
        None,
        LineReply, // "C" or "K"
        Ack,       // "@"
    };
    struct Command {
        std::string line;
        bool awaitAck = false;
    };
    // What the result calls the send: "image", "raw", "multichirp", "LUT".
    std::string kind = "image";
    std::vector<Command> startCommands; // written before the header
    // The header line as written and the record count it announces; empty
    // when the count cannot be read (then the file is refused: nothing is sent).
    struct Header {
        std::string line;
        std::size_t records = 0;
    };
    // Unset: the file has no header (a LUT); every line is a record, sent
    // up to the end of the file, and progress counts up to progressTotal.
    std::function<std::optional<Header>(std::string_view firstLine)> header;
    std::size_t progressTotal = 0;
    int startPauseMs = 175; // after the start commands
    // After the header's pause: its reply awaited ("C", "K", or the unit's
    // refusal "E"); an "E" among the replies stops the send before the
    // records ("Error. File too big.").
    Wait headerWait = Wait::None;
    bool tooBigTest = true;
    std::function<std::string(std::string_view line)> record; // what is written of a record line
    // Records as exact bytes (the USB route's fixed counts, line end
    // included or cut) through writeBytes, rather than as lines.
    bool recordsAsBytes = false;
    Wait recordWait = Wait::LineReply;
    int recordPauseMs = 0; // after each record and its wait
    // The letters among "K", "E" and "L" that end the records, once the
    // record's wait has ended (or, on a route without waits, before the next).
    std::string stopLetters = "KLE";
    // Ends the records when it holds for the send's text: `stopMessage` is
    // said and the send ends as a CRC error, without the abort sequence.
    std::function<bool(std::string_view text)> stopWhen;
    std::string stopMessage;
    // The verdict's success letter; without one the verdict is noVerdict
    // (and, where records wait for "@", how many went unacknowledged).
    std::optional<char> successLetter = 'L';
    std::string noVerdict = "Sent (the unit gives no verdict on this route)";
    std::string crcVerdict = "CRC Error. File send aborted";
    std::string errorVerdict = "Error!";
    // The Part clears the unit ("=C" three times) after a CRC error; every
    // other stop mid-load does the same. LUT and multichirp loads have none.
    bool abortSequence = true;
    // A record not acknowledged within the time-out is counted and the send
    // goes on, as with "Wait for ack" unticked (multichirp).
    bool unansweredGoesOn = false;
    // Which part goes over USB when the send is given a USB route: the
    // whole send, or only the records (the preamble and header go over the
    // serial port first).
    enum class Usb { Whole, RecordsOnly };
    Usb usb = Usb::Whole;
};

enum class TransferOutcome {
    SentOk,         // the verdict found the success letter
    CrcError,       // "K": aborted
    Error,          // "E" after the records, no success letter, or a failed write
    TooBig,         // "E" to the header: nothing was sent
    TimedOut,       // a line went unanswered
    Cancelled,      // the operator (or a signal) ended the send
    FileEnded,      // the file ended before its count
    NoHeader,       // the file cannot be sent: nothing was written
    Lost,           // the connection to the unit was lost
    Completed,      // every record went out; the send has no verdict
    Unacknowledged, // every record went out, some without their "@"
};

// True for the outcomes that leave the unit loaded as the file says.
inline bool loadedWhole(TransferOutcome outcome)
{
    return outcome == TransferOutcome::SentOk || outcome == TransferOutcome::Completed;
}

// What an operator needs to know of a load once it has ended.
struct TransferResult {
    std::string file;  // its name
    std::string kind;  // "image", "raw", ...
    std::string route; // "serial", "USB", "serial + USB"
    std::size_t sent = 0;
    std::size_t total = 0;
    std::int64_t durationMs = 0;
    TransferOutcome outcome = TransferOutcome::Error;
    // One line: what the unit did ("Sent OK!", "CRC error at record 2 of 3
    // (the unit answered "K"); unit cleared").
    std::string verdict;
    std::size_t failedRecord = 0; // the record a failure came at; 0 for none
    char letter = 0;              // the unit's letter for it; 0 for none
};

// "image table.plv, serial, 64 of 64 records, 1.2 s: Sent OK!"
std::string resultLine(const TransferResult& result);

class TransferEngine {
public:
    static constexpr int kPawSMs = 175;
    static constexpr int kLongPawsMs = 3175;
    // Longer lines are not read whole (bounded memory) and are not sent.
    static constexpr std::size_t kMaxLineChars = 4096;

    struct Hooks {
        // The line, without its line end; returns why it could not be
        // written, empty when it was.
        std::function<std::string(const std::string& line)> write;
        // A record's bytes exactly as given; as write().
        std::function<std::string(const std::string& bytes)> writeBytes;
        // Take a pause of `ms`, then call pauseDone().
        std::function<void(int ms)> pause;
        // Start (true) or stop (false) the reply time-out of a line; on
        // expiry call replyTimedOut(). Starting it again restarts it.
        std::function<void(bool run)> replyTimer;
        // A message on a line of its own (terminal and status).
        std::function<void(const std::string& message)> message;
        std::function<void(std::size_t done, std::size_t total)> progress;
        // The abort sequence has begun (the unit is being cleared).
        std::function<void()> clearing;
        std::function<void(TransferOutcome outcome)> finished;
        // Milliseconds on a steady clock; unset: the system's.
        std::function<std::int64_t()> now;
    };

    TransferEngine(SenderConfig config, Hooks hooks);

    // Reads what the send needs before anything is written: the header and
    // its record count (or the first line of a file without a header). An
    // empty string when the send can start; else why the file cannot be
    // sent, and nothing will be. `file` must stay readable until finished.
    std::string prepare(std::istream& file);
    // Starts the prepared send.
    void start();
    // prepare() and start(); a file that cannot be sent ends at once
    // (NoHeader, its reason said). False then.
    bool start(std::istream& file);
    bool running() const { return state_ != State::Idle && state_ != State::Ready; }

    // --- events ---
    void received(std::string_view bytes);
    void pauseDone();
    void replyTimedOut();
    // Ends the send now: `why` + " at record n of N" is said and the unit
    // cleared where the load has an abort sequence. Nothing while the unit
    // is being cleared already.
    void cancel(const std::string& why = "File send cancelled");
    // The port is gone: the send ends at once, as nothing more can be written.
    void connectionLost();
    // The route failed under the send (a USB read): as a failed write.
    void routeFailed(const std::string& why);
    // "Wait for ack" unticked: records go out without waiting from now on.
    void setTestMode(bool on);

    // The send's text: everything received since it began, and its messages.
    const std::string& text() const { return text_; }
    // Records written, and the count the header announced.
    std::size_t recordsSent() const { return written_; }
    std::size_t recordsAnnounced() const { return total_; }
    bool clearing() const { return clearing_; }
    const SenderConfig& config() const { return config_; }
    // What the send came to; complete once finished.
    const TransferResult& result() const { return result_; }
    // The sender's kind: "image", "raw", "multichirp", "LUT", "test LUT".
    const std::string& kind() const { return config_.kind; }

private:
    enum class State {
        Idle,
        Ready, // prepared
        AwaitStart,
        StartPause,
        HeaderPause,
        AwaitStartReply, // the start command's "@", which times the unit
        HeaderSettle,    // as long again, for an "E" to the header
        AwaitHeader,
        AwaitRecord,
        RecordPause,
        AwaitVerdict,
        VerdictPause,
        AbortPause1,
        AbortPause2
    };

    std::int64_t now() const;
    // Writes a line or a record's bytes; false (the send ended) when it failed.
    bool writeLine(const std::string& line);
    bool writeRecord(const std::string& bytes);
    void writeFailed(const std::string& why);
    // Writes the start commands from the next one on, up to one that waits.
    void sendStartCommands();
    void sendHeader();
    void afterHeader();
    // The header's "E" has had its time: waits the rest of it, or goes on.
    void settleThenTest();
    void afterHeaderReply();
    // Starts the reply wait of the line just written.
    void await(State state);
    bool stopsOn(char letter) const;
    bool stopLetterSeen() const;
    // The LUT's counted lines are answered and its "F" has come after them.
    bool lutLoaded() const;
    // More records may follow the one just done.
    bool moreToCome() const;
    void progress();
    // Sends records while no wait is needed.
    void sendRecords();
    void afterRecords();
    // The verdict can be taken from what has come.
    bool settled() const;
    void verdict();
    void verdictAfterCrc();
    // What the unit sent since the last record went out, quoted.
    std::string lastReplies() const;
    std::string missingLetter() const;
    // A record's wait has ended ("C", "K", or acknowledgements switched off).
    void recordAnswered();
    std::string atRecord() const;
    void say(const std::string& message);
    void stopWith(const std::string& message, TransferOutcome outcome);
    // Ends a send stopped mid-load: the abort sequence where the load has one.
    void stopMidLoad(TransferOutcome outcome);
    // Says `message`, keeps it as the verdict and stops mid-load.
    void stopSaying(const std::string& message, TransferOutcome outcome);
    void abortThen(TransferOutcome outcome);
    void finish(TransferOutcome outcome);

    SenderConfig config_;
    Hooks hooks_;
    std::optional<LineReader> reader_;
    std::optional<FileLine> firstLine_; // of a file without a header, read by prepare()
    std::string headerLine_;
    State state_ = State::Idle;
    std::string text_;          // received, with the messages
    std::string received_;      // the unit's bytes alone
    std::size_t nextStart_ = 0; // the start command to write next
    bool answered_ = false;     // the line awaited has had its reply
    std::size_t done_ = 0;      // records whose wait has ended
    std::size_t written_ = 0;   // records written
    std::size_t total_ = 0;
    bool untilEnd_ = false; // no header: records up to the end of the file
    bool testMode_ = false;
    // Seen in the send ("K": since the last record went out).
    bool recK_ = false, recE_ = false, recL_ = false;
    bool recordsBegun_ = false;
    std::size_t answers_ = 0; // "C" and "K" letters since the records began
    std::size_t kAt_ = 0;     // the record the first "K" (or "k") answered
    char kLetter_ = 0;
    std::size_t eAt_ = 0; // records answered when the first "E" came
    bool eSeen_ = false;
    bool eToHeader_ = false;                   // it came before the records began
    std::size_t lAt_ = 0;                      // records answered when the first "L" came
    bool stoppedEarly_ = false;                // a letter ended the records before their count
    std::size_t fullMark_ = std::string::npos; // where the answer to the last counted LUT line ended
    std::size_t lastRecordMark_ = 0;           // received_ when the last record went out
    std::size_t headerMark_ = 0;               // received_ when the header went out
    std::size_t acks_ = 0;
    std::size_t unacked_ = 0; // records that went on without their "@"
    std::int64_t startWrittenAt_ = 0, headerWrittenAt_ = 0, firstAckAt_ = -1;
    TransferOutcome pending_ = TransferOutcome::Error; // what an abort sequence ends with
    bool crcVerdict_ = false; // the abort sequence belongs to a CRC verdict, which goes on after it
    bool clearing_ = false;
    bool cleared_ = false;
    bool midLoad_ = false; // the send stopped with the unit mid-load
    std::string verdict_;
    std::size_t failedRecord_ = 0;
    char failedLetter_ = 0;
    TransferResult result_;
};

} // namespace plovan
