// The unit's USB device as the simulated unit shows it: one device, listed
// with kSimUsbDescription and kSimUsbSerial, whose writes go to the same
// SimUnit as the serial face's (a register written over USB is what "=d"
// reads over serial). Both USB transports use it: SimFtdiDevice in-process
// and UsbSocketServer for plovan-sim.
//
// Replies become readable after the unit's reply delay, kept in a queue with
// due times that fetch() looks at (no timers). Lines are assembled per face
// (LineAssembler), so a partial line left by the serial face does not reach
// a USB command nor the other way round. Opening does not call
// SimUnit::connectionOpened(): that restarts the serial connection's fault
// counts (hangup:N, answer:N, flood:N) and is the serial face's business.
#pragma once

#include "ftdi_device.h"
#include "line_assembler.h"
#include "sim_unit.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace plovan::sim {

inline constexpr char kSimUsbDescription[] = "Velmar Plovan USB";
inline constexpr char kSimUsbSerial[] = "PLV-SIM-0001";

// Failures of the USB device; may be changed at any time.
struct UsbFaults {
    bool noDevice = false;   // nothing listed; open finds nothing
    bool openFails = false;  // listed, but the open is refused
    bool writeFails = false; // every write fails and nothing reaches the unit
    int shortReads = 0;      // of each reply only the first this many bytes arrive; 0 = all
    int unplugAfter = 0;     // the device goes away after this many writes of an open; 0 = never

    bool operator==(const UsbFaults&) const = default;
};

// The faults in plovan-sim's option words ("no-device short-read:3"), "none" when there are none.
QString usbFaultSummary(const UsbFaults& faults);
// Sets the fault named by one option word; false when the word is not one.
bool applyUsbFault(const QString& word, UsbFaults& faults);

// Why a listing index names no device; the same words on every transport.
QString noUsbDeviceAt(int index);
QString usbUnpluggedReason();

class SimUsbFace {
public:
    using Clock = std::chrono::steady_clock;

    struct Result {
        FtStatus status = FtStatus::Ok;
        QString reason; // empty when Ok
        bool ok() const { return status == FtStatus::Ok; }
    };

    explicit SimUsbFace(std::shared_ptr<SimUnit> unit, const UsbFaults& faults = {});

    SimUnit& unit() const { return *unit_; }
    const std::shared_ptr<SimUnit>& sharedUnit() const { return unit_; }
    const UsbFaults& faults() const { return faults_; }
    // Also plugs an unplugged device back in.
    void setFaults(const UsbFaults& faults);

    // --- listing ---
    int deviceCount() const;
    Result describe(int index, QString* description, QString* serial) const;

    // --- the device ---
    Result open(const QString& description);
    // Hands `bytes` to the unit and queues its replies.
    Result write(const QByteArray& bytes);
    // Appends the replies due by `now`.
    Result fetch(QByteArray& into, Clock::time_point now = Clock::now());
    void close();
    bool isOpen() const { return open_; }
    bool isUnplugged() const { return unplugged_; }
    // How long until the next queued reply is due (zero when it is due); empty when none is queued.
    std::optional<std::chrono::milliseconds> nextReplyIn(Clock::time_point now = Clock::now()) const;

private:
    struct Reply {
        Clock::time_point due;
        QByteArray bytes;
    };
    bool present() const { return !faults_.noDevice && !unplugged_; }

    std::shared_ptr<SimUnit> unit_;
    UsbFaults faults_;
    LineAssembler lines_;
    std::deque<Reply> replies_;
    bool open_ = false;
    bool unplugged_ = false;
    int writes_ = 0; // of this open, for the unplug fault
};

} // namespace plovan::sim
