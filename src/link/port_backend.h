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

class PortBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PortBackend() override = default;

    const PortSettings& settings() const { return settings_; }
    virtual void setSettings(const PortSettings& settings) { settings_ = settings; }

    // Opens with the current settings: a handle of 1 or more, or below 1 on failure
    // (errorString() says why).
    virtual int open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // 2 or more while open, as the port component reported it.
    int state() const { return isOpen() ? 2 : 0; }

    // Writes the bytes unchanged, in one call; false when they could not be written.
    virtual bool writeText(const QByteArray& bytes) = 0;
    virtual qint64 bytesWaiting() const = 0;
    // The next received byte (0-255), or -1 when none is waiting.
    virtual int readByte() = 0;
    // Everything waiting, in one piece.
    virtual QByteArray readAll()
    {
        QByteArray out;
        for (int b = readByte(); b >= 0; b = readByte())
            out.append(static_cast<char>(b));
        return out;
    }
    // Reads what has already reached the operating system without waiting for the
    // event loop to notice it; true when bytes became available.
    virtual bool pollNow() { return bytesWaiting() > 0; }

    virtual QString errorString() const = 0;
    // Short human-readable name of what is connected ("/dev/ttyS0", "simulated unit").
    virtual QString description() const = 0;

signals:
    // Received data is waiting (the receive event).
    void dataReceived();
    // The port failed under us and has been closed; emitted once per failure.
    void connectionLost(const QString& reason);

private:
    PortSettings settings_;
};

} // namespace plovan
