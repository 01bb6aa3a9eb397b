// Where the Link's bytes come from and go to: a serial port, the simulated
// unit, and later the USB route, all behind the same operations.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace plovan {

// Parity codes as the settings file stores them.
enum ParityCode { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };

struct PortSettings {
    int portNumber = 2; // COM-style number; port n is /dev/ttyS(n-1) unless `device` is set
    int baud = 9600;
    int dataBits = 8;
    int parity = ParityOdd;
    // An explicit device path ("/dev/ttyUSB0", "/dev/pts/5"), or kSimDevice for
    // the in-process simulated unit; empty means: derived from portNumber.
    QString device;

    bool operator==(const PortSettings&) const = default;
};

// Device name that selects the simulated unit running inside the program.
inline constexpr char kSimDevice[] = "sim";

// The device a settings record opens: `device` when set, else /dev/ttyS(n-1).
QString devicePath(const PortSettings& settings);

// Settings that open `path`: a /dev/ttySn path becomes port number n+1 (kept
// in the settings file as before), anything else is kept as a device path.
PortSettings withDevice(PortSettings settings, const QString& path);

// What an open reports: opened, or why not.
struct OpenResult {
    bool ok = false;
    // Why it failed, in the port's own words ("No such file or directory");
    // when opened, a note on a setting the port could not take, or empty.
    QString reason;

    static OpenResult opened(const QString& note = {}) { return {true, note}; }
    static OpenResult failed(const QString& reason) { return {false, reason}; }
    explicit operator bool() const { return ok; }
};

class PortBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PortBackend() override = default;

    const PortSettings& settings() const { return settings_; }
    virtual void setSettings(const PortSettings& settings) { settings_ = settings; }

    // Opens with the current settings.
    virtual OpenResult open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes the bytes unchanged, in one call; false when they could not be written.
    virtual bool writeText(const QByteArray& bytes) = 0;
    // Hands over, through bytesReceived, what has already reached the operating
    // system, waiting up to `maxWaitMs` for the first byte when nothing has;
    // true when bytes were handed over. Lets a waiter take a fast reply without
    // a round of the event loop. A backend whose bytes only come as events
    // returns false at once.
    virtual bool receiveNow(int maxWaitMs)
    {
        Q_UNUSED(maxWaitMs);
        return false;
    }

    // The last failure (open, write or loss of the connection), for messages.
    virtual QString errorString() const = 0;
    // Short human-readable name of what is connected ("/dev/ttyS0", "simulated unit").
    virtual QString description() const = 0;

signals:
    // Bytes from the unit, each arrival in one piece and in order.
    void bytesReceived(const QByteArray& bytes);
    // The port failed under us and has been closed; emitted once per failure.
    void connectionLost(const QString& reason);

private:
    PortSettings settings_;
};

} // namespace plovan
