// Which USB device layer a run uses: the chip through libftdi1 (the
// default), the simulated unit's USB face, or none. Both faces choose here.
#pragma once

#include "ftdi_device.h"
#include "port_backend.h"

#include <QString>
#include <memory>
#include <optional>

namespace plovan {

class Link;

// Names the environment variable that sets the default, as --usb-device does.
inline constexpr char kUsbDeviceVariable[] = "PLOVAN_USB_DEVICE";

struct UsbChoice {
    UsbDeviceKind kind = UsbDeviceKind::Real;
    // For Sim: the socket a plovan-sim serves its USB face on; empty means
    // the in-process unit with --sim, else the socket of the plovan-sim
    // whose pseudo-terminal is the serial port.
    QString socketPath;

    bool operator==(const UsbChoice&) const = default;
};

// "real", "sim", "sim:SOCKET" or "none"; empty with `error` set otherwise.
std::optional<UsbChoice> parseUsbChoice(const QString& text, QString* error = nullptr);
// From PLOVAN_USB_DEVICE when it is set, else real; a bad value is an error.
std::optional<UsbChoice> defaultUsbChoice(QString* error = nullptr);

// The device layer `choice` names. The in-process simulated device shares the
// unit of the link's simulated backend, so both faces act on one unit; a
// choice that cannot be met gives a NoFtdiDevice that says why.
std::unique_ptr<FtdiDevice> makeFtdiDevice(const UsbChoice& choice, Link& link, const PortSettings& port);

} // namespace plovan
