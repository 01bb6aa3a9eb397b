// The machinery every table send shares, as a state machine that never
// touches a port: it is fed the bytes the unit sends and the ends of the
// pauses and reply time-outs it asked for, and it asks, through its hooks,
// for lines to be written, pauses to be taken and messages to be shown. So a
// test drives a whole send synchronously, and the window's driver keeps its
// event loop free (single-shot timers, no nested waits in a loop).
//
// A send: the start commands (some waiting for their "@"), a pause, the
// header line, a pause (and on some routes a wait for the header's reply),
// the "too big" test, then each record, waiting for its reply ("C" next or
// "K" CRC error; "@" on the multichirp route) and taking the sender's pause
// after it, then the verdict. The verdict reads the text received since the
// send began, with the messages appended to it, never the terminal (which
// empties itself at 2001 characters). The unit sends its success letter
// just after the last record's "C", so unless it is there already the
// verdict waits one pause for it:
//   1. it contains "K": "CRC Error. File send aborted", then the abort sequence;
//   2. it contains "E": "Error!";
//   3. it ends with the success letter: "Sent OK!".
// Every stop that leaves the unit mid-load (a line unanswered within the
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
    std::vector<Command> startCommands; // written before the header
    // The header line as written and the record count it announces; empty
    // when the count cannot be read (then no record is sent).
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
    // refusal "E"); what the unit sent collected (the USB route, where the
    // port delivers nothing by itself); an "E" among the replies stops the
    // send before the records ("Error. File too big.").
    Wait headerWait = Wait::None;
    bool collectAfterHeader = false;
    bool tooBigTest = true;
    std::function<std::string(std::string_view line)> record; // what is written of a record line
    // Records as exact bytes (the USB route's fixed counts, line end
    // included or cut) through writeBytes, rather than as lines.
    bool recordsAsBytes = false;
    Wait recordWait = Wait::LineReply;
    int recordPauseMs = 0; // after each record and its wait
    // The letters among "K", "E" and "L" that end the records, once the
    // record's wait has ended.
    std::string stopLetters = "KLE";
    // Ends the records when it holds for the send's text: `stopMessage` is
    // said and the send ends as a CRC error, without the abort sequence.
    std::function<bool(std::string_view text)> stopWhen;
    std::string stopMessage;
    // The verdict's success letter; without one there is no verdict.
    std::optional<char> successLetter = 'L';
    std::string crcVerdict = "CRC Error. File send aborted";
    std::string errorVerdict = "Error!";
    bool abortOnCrc = true; // the CRC verdict clears the unit
    // Which part goes over USB when the send is given a USB route: the
    // whole send, or only the records (the preamble and header go over the
    // serial port first).
    enum class Usb { Whole, RecordsOnly };
    Usb usb = Usb::Whole;
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
    Completed, // every record went out; the send has no verdict
};

class TransferEngine {
public:
    static constexpr int kPawSMs = 175;
    static constexpr int kLongPawsMs = 3175;

    struct Hooks {
        std::function<void(const std::string& line)> write; // the line, without its line end
        // A record's bytes exactly as given; false when the route for them
        // could not be opened (the send then stops). And what the unit has
        // sent so far, collected for the "too big" test.
        std::function<bool(const std::string& bytes)> writeBytes;
        std::function<std::string()> collect;
        // Take a pause of `ms`, then call pauseDone().
        std::function<void(int ms)> pause;
        // Start (true) or stop (false) the reply time-out of a line; on
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
        AwaitStart,
        StartPause,
        HeaderPause,
        AwaitHeader,
        AwaitRecord,
        RecordPause,
        VerdictPause,
        AbortPause1,
        AbortPause2
    };

    // Writes the start commands from the next one on, up to one that waits.
    void sendStartCommands();
    void sendHeader();
    void afterHeader();
    void afterHeaderReply();
    // Starts the reply wait of the line just written.
    void await(State state);
    bool stopsOn(char letter) const;
    // More records may follow the one just done.
    bool moreToCome() const;
    void progress();
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
    std::size_t nextStart_ = 0; // the start command to write next
    bool answered_ = false;     // the line awaited has had its reply
    std::size_t done_ = 0;
    std::size_t total_ = 0;
    bool untilEnd_ = false; // no header: records up to the end of the file
    bool testMode_ = false;
    bool cancelled_ = false;
    // Seen in the send ("K": since the last record went out).
    bool recK_ = false, recE_ = false, recL_ = false;
    TransferOutcome pending_ = TransferOutcome::Error; // what an abort sequence ends with
    bool crcVerdict_ = false; // the abort sequence belongs to a CRC verdict, which goes on after it
};

} // namespace plovan
