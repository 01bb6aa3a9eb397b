// The USB device layer for real chips, on libftdi1.
//
// Listing is fresh on every call, so a chip plugged in or pulled out shows at
// once. While a chip is open it is taken from the kernel's serial driver
// (its /dev/ttyUSB node goes away) and given back when it is closed.
#pragma once

#include "ftdi_device.h"

#include <memory>

struct ftdi_context;
struct libusb_device;

namespace plovan {

class LibFtdiDevice : public FtdiDevice {
public:
    LibFtdiDevice() = default;
    ~LibFtdiDevice() override;
    LibFtdiDevice(const LibFtdiDevice&) = delete;
    LibFtdiDevice& operator=(const LibFtdiDevice&) = delete;

    FtStatus countDevices(int& count) override;
    FtStatus description(int index, QString& text) override;
    FtStatus serialNumber(int index, QString& text) override;
    QString name() const override { return QStringLiteral("libftdi1"); }

protected:
    FtStatus openDevice(const QString& description) override;
    FtStatus writeDevice(const QByteArray& bytes, qint64& written) override;
    FtStatus closeDevice() override;
    FtStatus fetch(QByteArray& into) override;

private:
    enum class Field { Description, Serial };

    // Makes the libftdi1 context on first use (and again after it failed).
    FtStatus ensureContext();
    FtStatus stringOf(int index, Field field, QString& text);
    FtStatus openListed(libusb_device* device);
    FtStatus startLine();
    // A failed transfer on the open device: unplugged, or an I/O error.
    FtStatus transferFailed(int code, const QString& what, bool libusbCode);
    bool deviceGone();

    ftdi_context* ctx_ = nullptr;
    bool gone_ = false; // the open device was unplugged
    QString openId_;    // "0403:6001" of the open device, for messages
};

std::unique_ptr<FtdiDevice> makeLibFtdiDevice();

} // namespace plovan
