// The link to the unit: the open port, command writes, the reply flags raised
// by the receive handler, the terminal text, and the waits that senders make
// for the unit's replies.
//
// Waiting never spins. A wait runs a local event loop, so the window stays
// live and the receive handler keeps running; it ends when the awaited flag
// is raised, when acknowledgements are switched off (TestMode), when the
// operator cancels, when the connection is lost, or at the configured
// time-out. Only the first outcome lets a sequence go on.
#pragma once

#include "command_line.h"
#include "port_backend.h"
#include "terminal_buffer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
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
    bool RecATFlag = false;       // "@" received
    bool RecCFlag = false;        // "c"/"C" received
    bool RecKFlag = false;        // "k"/"K" received
    bool RecEFlag = false;        // "E" received
    bool RecLFlag = false;        // "L" received
    char InComeBuff = 0;          // the character being handled
    bool Connected = false;       // the link is usable; SetButtons enables controls from it
    int PortHandle = 0;           // result of the last open: 1 or more = opened
    bool USBStatus = false;       // a USB transfer holds the unit; the serial port stays shut

    // True = never wait for "@" ("Wait for ack" unticked). Switching it on
    // releases every wait in progress.
    bool TestMode() const { return testMode_; }
    void setTestMode(bool on);

    // Time-out of every reply wait in ms; 0 waits for ever.
    int ackTimeoutMs() const { return ackTimeoutMs_; }
    void setAckTimeoutMs(int ms) { ackTimeoutMs_ = ms < 0 ? 0 : ms; }

    // --- port ---
    int openPort(); // stores the result in PortHandle
    void closePort();
    bool portOpen() const;

    // --- sending ---
    // Writes command + term in one write. Refused and reported when the port
    // is not open or the write fails.
    bool send(std::string_view command);
    // Clears RecATFlag, sends and waits for "@"; false when the sequence must stop.
    [[nodiscard]] bool sendWait(std::string_view command);
    // Bytes exactly as given (typed keys, raw lines).
    bool writeRaw(const QByteArray& bytes);

    // --- waiting ---
    // Waits for "@"; `command` names what was sent in the time-out message.
    WaitResult waitAck(std::string_view command);
    // Waits until `done` holds, re-tested after every received chunk.
    WaitResult waitUntil(const std::function<bool()>& done, std::string_view what);
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

    // The receive handler: drains every waiting byte, raises the reply flags
    // and appends the characters to the terminal text.
    void MyPort_event16();

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

private:
    struct Wait;
    WaitResult runWait(Wait& wait);
    void finishWaits(WaitResult result);
    void checkWaits();
    void report(const QString& message);
    void onConnectionLost(const QString& reason);

    std::unique_ptr<PortBackend> backend_;
    TerminalBuffer terminal_;
    std::string partialLine_;
    std::string lastLine_;
    quint64 linesCompleted_ = 0;
    std::vector<Wait*> waits_;
    bool testMode_ = false;
    int ackTimeoutMs_ = kDefaultAckTimeoutMs;
};

} // namespace plovan
