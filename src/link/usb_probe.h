// Start-up question to the USB library: is a device there, and what does it
// call itself? File transfers go over USB only when the answer is yes.
#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace plovan {

inline constexpr char kPlovanVersion[] = "3.09";
inline constexpr char kNoUsbCaptionNote[] = " No usb found RS232 only";

class UsbProbe {
public:
    virtual ~UsbProbe() = default;
    // Description of the device the library lists at `index`; nullopt when the
    // listing fails, which is how "no device" shows.
    virtual std::optional<QString> deviceDescription(int index) = 0;
};

// For builds without a USB library: never finds a device.
class NoUsbProbe : public UsbProbe {
public:
    std::optional<QString> deviceDescription(int) override { return std::nullopt; }
};

// The probe this build offers.
std::unique_ptr<UsbProbe> makeUsbProbe();

// What Form_Load takes from the probe.
struct UsbStartup {
    bool FtdiMode = false;
    QString UsbDescBuf;  // description of device 0; the USB route opens the device by it
    QString VerSion;     // "3.09", or "3.09 usb" with a device
    QString captionNote; // appended to the window caption; empty with a device
    // FtGetDescrp's line for Text28 (without line end); empty without a device,
    // as FtGetDescrp is only asked when the first listing succeeded.
    QString descriptionLine;
};

// Asks for the description of device 0 again and says what it got:
// "Device Description " + description, or "ListDevices failed".
QString FtGetDescrp(UsbProbe& probe);

UsbStartup probeUsbAtStartup(UsbProbe& probe);

} // namespace plovan
