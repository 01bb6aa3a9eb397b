// The link to the unit: the open port, command writes, the reply flags raised
// by the receive handler, the terminal text, and the waits that senders make
// for the unit's replies.
//
// Waiting never spins. A wait first gives the port a few milliseconds to
// bring a reply already on its way (a fast line answers within tens of
// microseconds), then runs a local event loop, so the window stays live and
// the receive handler keeps running; it ends when the awaited flag is raised,
// when acknowledgements are switched off (TestMode), when the operator
// cancels, when the connection is lost, or at the configured time-out. Only
// the first outcome lets a sequence go on.
#pragma once

#include "command_line.h"
#include "port_backend.h"
#include "terminal_buffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QEventLoop;

namespace plovan {

enum class WaitResult {
    Done,           // the awaited reply came
    TestMode,       // acknowledgements are off: go on without one
    Cancelled,      // the operator or the program ended the wait
    TimedOut,       // nothing within the time-out
    ConnectionLost, // the port closed or failed
};

// True when a sequence may go on after the wait.
inline bool proceeds(WaitResult r)
{
    return r == WaitResult::Done || r == WaitResult::TestMode;
}

class Link : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultAckTimeoutMs = 3000;
    // The pauses senders make between commands.
    static constexpr int kPawSMs = 175;
    static constexpr int kLongPawsMs = 3175;
    static constexpr int kNewDelyMs = 200;

    explicit Link(QObject* parent = nullptr);
    ~Link() override;

    // Takes ownership; any previous backend is closed and deleted.
    void setBackend(std::unique_ptr<PortBackend> backend);
    PortBackend* backend() const { return backend_.get(); }

    // --- state shared with the windows, under the names operators know ---
    bool saveToDds = false; // "Save to DDS" ticked: writes store into the unit's flash
    // Register-write head: "=D", or "=aD" while "Save to DDS" is ticked.
    std::string SavString() const { return std::string(saveToDds ? kRegisterStoreHead : kRegisterHead); }
    // Head of the chirp, control and "U" commands: "=", or "=a" to store to flash.
    std::string EQual() const { return saveToDds ? "=a" : "="; }
    bool RecATFlag = false; // "@" received
    // Every "@" received since the Link was made; a sequence that sends
    // without waiting counts its acknowledgements with it.
    quint64 acksReceived() const { return acksReceived_; }
    bool RecCFlag = false;  // "c"/"C" received
    bool RecKFlag = false;  // "k"/"K" received
    bool RecEFlag = false;  // "E" received
    bool RecLFlag = false;  // "L" received
    char InComeBuff = 0;    // the character being handled
    bool Connected = false; // the link is usable; SetButtons enables controls from it
    int PortHandle = 0;     // result of the last open: 1 or more = opened
    bool USBStatus = false; // a USB transfer holds the unit; the serial port stays shut
    // Replies to background work (the power monitor's readings) stay out of
    // the terminal text while set, so they never push away what the operator reads.
    bool quietTerminal = false;
    // Every command line passes this before it is written; a non-empty answer
    // refuses the line and is reported (the interlock refusing RF on).
    std::function<QString(std::string_view command)> lineGuard;

    // True = never wait for "@" ("Wait for ack" unticked). Switching it on
    // releases every wait in progress.
    bool TestMode() const { return testMode_; }
    void setTestMode(bool on);

    // Time-out of every reply wait in ms; 0 waits for ever.
    int ackTimeoutMs() const { return ackTimeoutMs_; }
    void setAckTimeoutMs(int ms) { ackTimeoutMs_ = ms < 0 ? 0 : ms; }

    // --- port ---
    // Opens the backend's port; PortHandle becomes 1 when it opened, else 0.
    // A setting the port could not take is reported (terminal and status),
    // unless `reportNote` is false (a reopen of a port already reported).
    bool openPort(bool reportNote = true);
    // Why the last openPort() failed, in the port's words; empty after a success.
    const QString& openError() const { return openError_; }
    void closePort();
    bool portOpen() const;
    // The link cannot be used any more: Connected is cleared, `message` is
    // reported, every wait ends and connectionLost is emitted.
    void connectionFailed(const QString& message);

    // --- the link held by one job ---
    // While a job (a load, a batch) holds the link, a write reaches the port
    // only from inside that job's JobWrite scope; any other writer is refused
    // with busyMessage(), so nothing typed or clicked lands inside a load.
    void hold(const QString& job) { holder_ = job; }
    void release() { holder_.clear(); }
    const QString& holder() const { return holder_; }
    // "Busy: image load running - cancel it first".
    static QString busyMessage(const QString& job);
    class JobWrite {
    public:
        explicit JobWrite(Link& link) : link_(link) { ++link_.jobWrites_; }
        ~JobWrite() { --link_.jobWrites_; }
        JobWrite(const JobWrite&) = delete;
        JobWrite& operator=(const JobWrite&) = delete;

    private:
        Link& link_;
    };

    // While a UsbBytes lives, bytesSent and bytesReceived carry the USB
    // route's bytes (the route announces them so that every listener sees
    // them); the traffic view names the route from usbBytes().
    class UsbBytes {
    public:
        explicit UsbBytes(Link& link) : link_(link), was_(link.usbBytes_) { link_.usbBytes_ = true; }
        ~UsbBytes() { link_.usbBytes_ = was_; }
        UsbBytes(const UsbBytes&) = delete;
        UsbBytes& operator=(const UsbBytes&) = delete;

    private:
        Link& link_;
        bool was_;
    };
    bool usbBytes() const { return usbBytes_; }

    // --- sending ---
    // Writes command + term in one write. Refused and reported when the port
    // is not open or the write fails.
    bool send(std::string_view command);
    // Clears RecATFlag, sends and waits for "@"; false when the sequence must stop.
    [[nodiscard]] bool sendWait(std::string_view command);
    // Each command in turn, each with its "@"; false when one did not get it.
    [[nodiscard]] bool sendWaitEach(std::span<const std::string> commands);
    // Bytes exactly as given (typed keys, raw lines).
    bool writeRaw(const QByteArray& bytes);

    // --- waiting ---
    // How long a wait may hold the window for a reply on its way before it
    // goes to the event loop. At 1 ms the kernel had to re-arm its nearest
    // timer for every command, which cost about a fifth of a round trip.
    static constexpr int kQuickWaitMs = 5;
    // The longest stretch of quick replies before pending events are let
    // through, so that the window, Cancel and "Wait for ack" stay live.
    static constexpr int kLiveIntervalMs = 10;

    // Waits for "@"; `command` names what was sent in the time-out message.
    WaitResult waitAck(std::string_view command);
    // Waits until `done` holds, re-tested after every received chunk.
    WaitResult waitUntil(const std::function<bool()>& done, std::string_view what);
    // Waits until every command of `sent` has its "@", counting from
    // `acksBefore` (acksReceived() before the first of them was written). A
    // time-out names the commands still without one, taking the "@"s in order.
    WaitResult waitAcks(quint64 acksBefore, std::span<const std::string> sent);
    // Sends a read-back command and returns the text line the unit answers
    // after its "@" (without CR LF); empty when the wait did not complete.
    std::optional<std::string> readBack(std::string_view command);
    // A pause that keeps the window live; ends early only on cancel.
    WaitResult pause(int ms);
    WaitResult PawS() { return pause(kPawSMs); }
    WaitResult LongPaws() { return pause(kLongPawsMs); }
    WaitResult NewDely() { return saveToDds ? pause(kNewDelyMs) : WaitResult::Done; }
    WaitResult DlaY() { return NewDely(); }
    // Ends every wait in progress with Cancelled.
    void cancelWaits();
    bool waiting() const { return !waits_.empty(); }

    // --- terminal text ---
    QString terminalText() const;
    void clearTerminal();
    void setTerminalText(const QString& text);
    // A message of the program's own, on a line of its own.
    void terminalLine(const QString& line);
    // The same, also as a status message (the window's status bar, plovanctl's
    // standard error): for what stopped an operation.
    void report(const QString& message);
    // A status message alone (the window's status bar): what a step that
    // went well did, so that no message of an earlier step outlives it.
    void status(const QString& message) { emit statusMessage(message); }
    // Text from the unit that came another way (the USB route), appended as it is.
    void terminalAppend(const QString& text);

    // The receive handler: takes one arrival from the port, raises the reply
    // flags and appends the characters to the terminal text.
    void MyPort_event16(const QByteArray& chunk);

    // The longest reply line kept whole. The unit's read-back lines are a few
    // dozen characters; of a longer line (a unit flooding without line ends)
    // only the last kMaxLineChars characters are kept, and the cut is said once.
    static constexpr std::size_t kMaxLineChars = 4096;

signals:
    void terminalChanged();
    void statusMessage(const QString& text);
    // A whole line, as written to the port (command + term, or raw bytes).
    void bytesSent(const QByteArray& bytes);
    void bytesReceived(const QByteArray& bytes);
    // A complete reply line (CR LF removed), after its chunk was handled.
    void lineReceived(const QString& line);
    // A receive event ended with a line feed as the terminal's last character.
    void receiveEndedWithLineFeed();
    // The port failed under us; it has been closed and reported.
    void connectionLost();
    // "Wait for ack" was ticked (false) or unticked (true).
    void testModeChanged(bool on);

private:
    // What a wait waits for: a plain function and its context, so that the
    // acknowledgement wait costs no std::function.
    struct Condition {
        bool (*test)(const void* context) = nullptr; // null for a pause
        const void* context = nullptr;
        bool operator()() const { return test && test(context); }
    };
    struct Wait;
    class Registration;
    using Clock = std::chrono::steady_clock;

    WaitResult waitFor(Condition done, std::string_view what);
    // waitFor without the time-out report.
    WaitResult await(Condition done);
    void reportNoReply(const QString& commands);
    static constexpr int kForEver = -1;
    // Runs the event loop of a registered wait until it finishes, or for `ms`
    // (kForEver: no limit), after which it finishes with `atTimeout`.
    void runLoop(Wait& wait, int ms, WaitResult atTimeout);
    void letEventsThroughIfDue();
    void finishWaits(WaitResult result);
    void checkWaits();
    void onConnectionLost(const QString& reason);

    std::unique_ptr<PortBackend> backend_;
    TerminalBuffer terminal_;
    QByteArray line_; // the line being written, reused from send to send
    std::string partialLine_;
    bool partialLineCut_ = false; // the line being received lost its head
    std::string lastLine_;
    quint64 linesCompleted_ = 0;
    quint64 acksReceived_ = 0;
    std::vector<Wait*> waits_;
    Clock::time_point eventsLetThrough_;
    QString openError_;
    bool testMode_ = false;
    int ackTimeoutMs_ = kDefaultAckTimeoutMs;
    QString holder_;
    int jobWrites_ = 0;
    bool usbBytes_ = false;
    // False (and said) when a job holds the link and this write is not its own.
    bool writeAllowed();
};

} // namespace plovan
