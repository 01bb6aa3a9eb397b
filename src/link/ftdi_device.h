// The USB device of the unit, behind the operations the USB route uses: count
// the devices, describe device i, open one by its description, write, queue
// length, read with a time-out, close. Implemented on libftdi1 (real chips)
// and by the simulated unit's USB face.
//
// One device is open at a time, through a handle; a call with another handle
// gets InvalidHandle. Received bytes are kept in a receive buffer of our own
// (a chip has no queue-length call): fetch() moves what has arrived into it,
// and queueStatus() and read() work on it. read() waits against its own deadline and never spins:
// between fetches it hands the time to `idle`, which by default sleeps and
// which a window sets to run its event loop, so it stays live.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace plovan {

// Status codes, as the procedures print them ("FT_Read error ftStatus=4").
enum class FtStatus : int {
    Ok = 0,
    InvalidHandle = 1,
    DeviceNotFound = 2,  // no such device, or it went away (unplugged)
    DeviceNotOpened = 3, // the open failed (access denied, busy, ...)
    IoError = 4,
    InsufficientResources = 5,
    InvalidParameter = 6,
    OtherError = 18,
};

inline int statusCode(FtStatus s)
{
    return static_cast<int>(s);
}

using UsbHandle = std::uint32_t; // 0 is never a valid handle

// How the chip's serial side is started when a device is opened. The USB
// route sets the serial port's settings (the unit talks one line format on
// both routes: 9600 baud, 8 data bits, odd parity unless portset.txt or
// "Fast!!" say otherwise); these defaults are a freshly powered chip's.
struct FtLineSettings {
    int baud = 9600;
    int dataBits = 8;
    int parity = 0; // ParityCode: 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 1;
    bool flowControl = false; // RTS/CTS
    int latencyMs = 2;        // the chip's latency timer; 16 ms would cap a per-record exchange

    bool operator==(const FtLineSettings&) const = default;
};

class FtdiDevice {
public:
    virtual ~FtdiDevice() = default;

    // --- listing ---
    // Number of devices present.
    virtual FtStatus countDevices(int& count) = 0;
    // Description (product string) and serial number of device `index`.
    virtual FtStatus description(int index, QString& text) = 0;
    virtual FtStatus serialNumber(int index, QString& text) = 0;

    // --- the open device ---
    // Opens the first device whose description is exactly `description` and
    // starts its line with lineSettings(). DeviceNotOpened while one is open.
    FtStatus openByDescription(const QString& description, UsbHandle& handle);
    // Writes all of `bytes` (`written` says how many went).
    FtStatus write(UsbHandle handle, const QByteArray& bytes, qint64& written);
    FtStatus close(UsbHandle handle);
    bool isOpen() const { return handle_ != 0; }
    UsbHandle openHandle() const { return handle_; }

    // Bytes received and not yet read.
    FtStatus queueStatus(UsbHandle handle, qint64& waiting);
    // Reads up to `wanted` bytes into `out`: returns when `wanted` have
    // arrived or readTimeoutMs() has passed, with Ok and what there is
    // (possibly nothing): fewer bytes than wanted means it timed out. A
    // failing fetch (the device went away) ends it with that status and what
    // had arrived.
    FtStatus read(UsbHandle handle, qint64 wanted, QByteArray& out);

    // Read time-out of read(), in ms.
    int readTimeoutMs() const { return readTimeoutMs_; }
    void setReadTimeoutMs(int ms) { readTimeoutMs_ = ms < 0 ? 0 : ms; }
    const FtLineSettings& lineSettings() const { return lineSettings_; }
    void setLineSettings(const FtLineSettings& settings) { lineSettings_ = settings; }
    // Called with a number of ms while read() waits for bytes; returning
    // false ends the read with what has arrived (the operator cancelled).
    void setIdle(std::function<bool(int ms)> idle) { idle_ = std::move(idle); }

    // Why the last failing call failed, in words an operator can act on
    // ("access to USB device 0403:6001 denied: ..."); empty when it has none.
    QString lastError() const { return lastError_; }
    // What this device layer is, for messages: "libftdi1", "simulated USB device".
    virtual QString name() const = 0;

protected:
    // The device-specific halves of the operations above; the handle has been
    // checked. openDevice() also starts the line with lineSettings().
    virtual FtStatus openDevice(const QString& description) = 0;
    virtual FtStatus writeDevice(const QByteArray& bytes, qint64& written) = 0;
    virtual FtStatus closeDevice() = 0;
    // Appends what has arrived to `into`; may block for the chip's latency,
    // never longer than a few ms. Not Ok when the device cannot be read any
    // more (unplugged).
    virtual FtStatus fetch(QByteArray& into) = 0;

    FtStatus fail(FtStatus status, const QString& why)
    {
        lastError_ = why;
        return status;
    }
    void clearError() { lastError_.clear(); }

private:
    bool checkHandle(UsbHandle handle);

    UsbHandle handle_ = 0;
    UsbHandle nextHandle_ = 1;
    QByteArray received_;
    QString lastError_;
    std::function<bool(int ms)> idle_;
    FtLineSettings lineSettings_;
    int readTimeoutMs_ = 500;
};

// Which device layer the program uses for its USB route.
enum class UsbDeviceKind {
    Real, // libftdi1, the default
    Sim,  // the simulated unit's USB face
    None, // no USB at all
};

} // namespace plovan
