// The machinery every table send shares, as a state machine that never
// touches a port: it is fed the bytes the unit sends and the ends of the
// pauses and reply time-outs it asked for, and it asks, through its hooks,
// for lines to be written, pauses to be taken and messages to be shown. So a
// test drives a whole send synchronously, and the window's driver keeps its
// event loop free (single-shot timers, no nested waits in a loop).
//
// A send: the start commands, a pause, the header line, a pause, the "too
// big" test, then each record, waiting on the serial route for "C" (next)
// or "K" (CRC error) after each, then the verdict. The verdict reads the text
// received since the send began, with the messages appended to it, never the
// terminal (which empties itself at 2001 characters). The unit sends its
// success letter just after the last record's "C", so unless it is there
// already the verdict waits one pause for it:
//   1. it contains "K": "CRC Error. File send aborted", then the abort sequence;
//   2. it contains "E": "Error!";
//   3. it ends with the success letter: "Sent OK!".
// Every stop that leaves the unit mid-load (a record unanswered within the
// time-out, cancel, a file that ends before its count) writes its message and
// clears the unit with the abort sequence: a pause of 3.175 s, "=C", another
// pause, "=C", "=C".
#pragma once

#include "line_reader.h"

#include <cstddef>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan {

// What makes one sender out of the engine.
struct SenderConfig {
    std::vector<std::string> startCommands; // written before the header, without a wait
    // The header line as written and the record count it announces; empty
    // when the count cannot be read (then no record is sent).
    struct Header {
        std::string line;
        std::size_t records = 0;
    };
    std::function<std::optional<Header>(std::string_view firstLine)> header;
    std::function<std::string(std::string_view line)> record; // what is written of a record line
    char successLetter = 'L';
    // The USB route: each record is written as record() gives it (a fixed
    // byte count, line end included or cut), then a pause of recordPauseMs,
    // with no reply awaited; the replies are collected once, for the "too
    // big" test after the header; there is no verdict.
    bool usbRoute = false;
    int recordPauseMs = 1;
};

enum class TransferOutcome {
    SentOk,    // the verdict found the success letter
    CrcError,  // "K": aborted
    Error,     // "E" after the records, or no success letter
    TooBig,    // "E" to the header: nothing was sent
    TimedOut,  // a record went unanswered
    Cancelled, // the operator ended the send
    FileEnded, // the file ended before its count
    NoHeader,  // the file has no header line
    Lost,      // the connection to the unit was lost
    Completed, // a USB send wrote every record; it has no verdict
};

class TransferEngine {
public:
    static constexpr int kPawSMs = 175;
    static constexpr int kLongPawsMs = 3175;

    struct Hooks {
        std::function<void(const std::string& line)> write; // the line, without its line end
        // USB route: a record's bytes exactly as given; and what the unit
        // has sent so far, collected for the "too big" test.
        std::function<void(const std::string& bytes)> writeBytes;
        std::function<std::string()> collect;
        // Take a pause of `ms`, then call pauseDone().
        std::function<void(int ms)> pause;
        // Start (true) or stop (false) the reply time-out of a record; on
        // expiry call replyTimedOut().
        std::function<void(bool run)> replyTimer;
        // A message on a line of its own (terminal and status).
        std::function<void(const std::string& message)> message;
        std::function<void(std::size_t done, std::size_t total)> progress;
        std::function<void(TransferOutcome outcome)> finished;
    };

    TransferEngine(SenderConfig config, Hooks hooks);

    // Starts a send of `file`, which must stay readable until finished.
    void start(std::istream& file);
    bool running() const { return state_ != State::Idle; }

    // --- events ---
    void received(std::string_view bytes);
    void pauseDone();
    void replyTimedOut();
    // Ends the send after the current line.
    void cancel();
    // The port is gone: the send ends at once, as nothing more can be written.
    void connectionLost();
    // "Wait for ack" unticked: records go out without waiting from now on.
    void setTestMode(bool on);

    // The send's text: everything received since it began, and its messages.
    const std::string& text() const { return text_; }
    std::size_t recordsSent() const { return done_; }
    std::size_t recordsAnnounced() const { return total_; }

private:
    enum class State {
        Idle,
        StartPause,
        HeaderPause,
        AwaitRecord,
        RecordPause,
        VerdictPause,
        AbortPause1,
        AbortPause2
    };

    void sendHeader();
    void afterHeader();
    // Sends records while no wait is needed.
    void sendRecords();
    void afterRecords();
    void verdict();
    // A record's wait has ended ("C", "K", or acknowledgements switched off).
    void recordAnswered();
    void say(const std::string& message);
    void stopWith(const std::string& message, TransferOutcome outcome);
    void abortThen(TransferOutcome outcome);
    void finish(TransferOutcome outcome);
    void verdictAfterCrc();

    SenderConfig config_;
    Hooks hooks_;
    std::optional<LineReader> reader_;
    State state_ = State::Idle;
    std::string text_;
    std::size_t done_ = 0;
    std::size_t total_ = 0;
    bool testMode_ = false;
    bool cancelled_ = false;
    bool recK_ = false, recE_ = false,
         recL_ = false; // seen in the send ("K": since the last record went out)
    TransferOutcome pending_ = TransferOutcome::Error; // what an abort sequence ends with
    bool crcVerdict_ = false; // the abort sequence belongs to a CRC verdict, which goes on after it
};

} // namespace plovan
