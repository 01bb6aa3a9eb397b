#include "libftdi_device.h"

#include <ftdi.h>
#include <libusb.h>

#include <QFileInfo>
#include <algorithm>
#include <optional>
#include <vector>

namespace plovan {

namespace {

const QString kUnplugged = QStringLiteral("the USB device was unplugged");

QString ftdiError(ftdi_context* ctx)
{
    const char* text = ctx ? ftdi_get_error_string(ctx) : nullptr;
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

QString usbError(int code)
{
    return QString::fromUtf8(libusb_strerror(code));
}

QString usbId(libusb_device* device)
{
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(device, &desc) < 0) return QStringLiteral("?");
    return QString::asprintf("%04x:%04x", desc.idVendor, desc.idProduct);
}

QString accessDenied(const QString& id)
{
    return QStringLiteral("access to USB device %1 denied: add the udev rule from the README (or join the "
                          "group it names) and plug the device in again")
        .arg(id);
}

QString inUse(const QString& id)
{
    return QStringLiteral("USB device %1 is in use by another program").arg(id);
}

// The chips ftdi_usb_find_all knows with vendor and product 0: vendor 0403
// with products 6001, 6010, 6011, 6014 and 6015.
class FoundDevices {
public:
    FoundDevices() = default;
    FoundDevices(const FoundDevices&) = delete;
    FoundDevices& operator=(const FoundDevices&) = delete;
    ~FoundDevices() { ftdi_list_free(&list_); }

    // Number found, or libftdi1's negative code.
    int find(ftdi_context* ctx)
    {
        const int n = ftdi_usb_find_all(ctx, &list_, 0, 0);
        for (ftdi_device_list* d = list_; d != nullptr; d = d->next)
            devices.push_back(d->dev);
        return n;
    }

    std::vector<libusb_device*> devices;

private:
    ftdi_device_list* list_ = nullptr;
};

// Reads product and serial strings through a libusb handle of our own:
// ftdi_usb_get_strings would borrow, and then close, the context's handle of
// the open device, and it drops libusb's code, which is what tells "access
// denied" from the rest. Returns 0 or a libusb error code.
int readStrings(libusb_device* device, QString* description, QString* serial)
{
    libusb_device_descriptor desc{};
    int rc = libusb_get_device_descriptor(device, &desc);
    if (rc < 0) return rc;
    libusb_device_handle* handle = nullptr;
    rc = libusb_open(device, &handle);
    if (rc < 0) return rc;
    const auto get = [handle](std::uint8_t index, QString* out) {
        if (out == nullptr) return 0;
        out->clear();
        if (index == 0) return 0; // the chip has no such string
        unsigned char buf[256];
        const int n = libusb_get_string_descriptor_ascii(handle, index, buf, sizeof buf);
        if (n < 0) return n;
        *out = QString::fromLatin1(reinterpret_cast<const char*>(buf), n);
        return 0;
    };
    rc = get(desc.iProduct, description);
    if (rc == 0) rc = get(desc.iSerialNumber, serial);
    libusb_close(handle);
    return rc;
}

struct Failure {
    FtStatus status;
    QString why;
};

// What a libusb code from opening or reading a device means to an operator.
Failure usbFailure(int code, const QString& id, FtStatus otherwise, const QString& doing)
{
    switch (code) {
    case LIBUSB_ERROR_ACCESS: return {FtStatus::DeviceNotOpened, accessDenied(id)};
    case LIBUSB_ERROR_BUSY: return {FtStatus::DeviceNotOpened, inUse(id)};
    case LIBUSB_ERROR_NO_DEVICE: return {FtStatus::DeviceNotFound, kUnplugged};
    default: return {otherwise, QStringLiteral("%1 USB device %2 failed: %3").arg(doing, id, usbError(code))};
    }
}

QString checkLine(const FtLineSettings& s)
{
    if (s.baud <= 0) return QStringLiteral("%1 baud is not a baud rate").arg(s.baud);
    if (s.dataBits != 7 && s.dataBits != 8)
        return QStringLiteral("the chip sends 7 or 8 data bits, not %1").arg(s.dataBits);
    if (s.stopBits != 1 && s.stopBits != 2)
        return QStringLiteral("the chip sends 1 or 2 stop bits, not %1").arg(s.stopBits);
    if (s.parity < 0 || s.parity > 4) return QStringLiteral("parity code %1 is not 0 to 4").arg(s.parity);
    if (s.latencyMs < 1 || s.latencyMs > 255)
        return QStringLiteral("a latency of %1 ms is not 1 to 255 ms").arg(s.latencyMs);
    return {};
}

} // namespace

LibFtdiDevice::~LibFtdiDevice()
{
    if (isOpen()) close(openHandle());
    if (ctx_ != nullptr) ftdi_free(ctx_);
}

FtStatus LibFtdiDevice::ensureContext()
{
    if (ctx_ != nullptr) return FtStatus::Ok;
    ctx_ = ftdi_new();
    if (ctx_ != nullptr) {
        // libusb takes the chip from ftdi_sio when it claims it and gives it
        // back on release, so /dev/ttyUSB returns after a transfer.
        ctx_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        return FtStatus::Ok;
    }
    // ftdi_new keeps no reason; libusb_init, the step that fails, gives one.
    libusb_context* probe = nullptr;
    const int rc = libusb_init(&probe);
    if (probe != nullptr) libusb_exit(probe);
    QString why = rc < 0 ? usbError(rc) : QStringLiteral("libftdi1 cannot start");
    if (!QFileInfo::exists(QStringLiteral("/dev/bus/usb")))
        why += QStringLiteral(" (there is no /dev/bus/usb)");
    return fail(FtStatus::OtherError, QStringLiteral("cannot use USB: %1").arg(why));
}

FtStatus LibFtdiDevice::countDevices(int& count)
{
    count = 0;
    clearError();
    if (const FtStatus s = ensureContext(); s != FtStatus::Ok) return s;
    FoundDevices found;
    const int n = found.find(ctx_);
    if (n < 0)
        return fail(FtStatus::OtherError, QStringLiteral("cannot list USB devices: %1").arg(ftdiError(ctx_)));
    count = n;
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::description(int index, QString& text)
{
    return stringOf(index, Field::Description, text);
}

FtStatus LibFtdiDevice::serialNumber(int index, QString& text)
{
    return stringOf(index, Field::Serial, text);
}

FtStatus LibFtdiDevice::stringOf(int index, Field field, QString& text)
{
    text.clear();
    clearError();
    if (const FtStatus s = ensureContext(); s != FtStatus::Ok) return s;
    FoundDevices found;
    if (found.find(ctx_) < 0)
        return fail(FtStatus::OtherError, QStringLiteral("cannot list USB devices: %1").arg(ftdiError(ctx_)));
    if (index < 0 || index >= static_cast<int>(found.devices.size()))
        return fail(FtStatus::DeviceNotFound, QStringLiteral("no USB device %1").arg(index));
    libusb_device* device = found.devices[static_cast<std::size_t>(index)];
    const int rc = field == Field::Description ? readStrings(device, &text, nullptr)
                                               : readStrings(device, nullptr, &text);
    if (rc == 0) return FtStatus::Ok;
    const Failure f = usbFailure(rc, usbId(device), FtStatus::IoError, QStringLiteral("reading"));
    return fail(f.status, f.why);
}

FtStatus LibFtdiDevice::openDevice(const QString& description)
{
    if (const QString bad = checkLine(lineSettings()); !bad.isEmpty())
        return fail(FtStatus::InvalidParameter, QStringLiteral("cannot start the USB line: %1").arg(bad));
    if (const FtStatus s = ensureContext(); s != FtStatus::Ok) return s;
    FoundDevices found;
    if (found.find(ctx_) < 0)
        return fail(FtStatus::OtherError, QStringLiteral("cannot list USB devices: %1").arg(ftdiError(ctx_)));
    if (found.devices.empty())
        return fail(FtStatus::DeviceNotFound, QStringLiteral("no USB device is plugged in"));

    // A device whose description cannot be read may be the one asked for,
    // so when none matches, its reason is the answer.
    std::optional<Failure> unreadable;
    for (libusb_device* device : found.devices) {
        QString text;
        if (const int rc = readStrings(device, &text, nullptr); rc != 0) {
            if (!unreadable)
                unreadable =
                    usbFailure(rc, usbId(device), FtStatus::DeviceNotOpened, QStringLiteral("opening"));
            continue;
        }
        if (text == description) return openListed(device);
    }
    if (unreadable) return fail(unreadable->status, unreadable->why);
    return fail(FtStatus::DeviceNotFound,
                QStringLiteral("no USB device is described as \"%1\"").arg(description));
}

FtStatus LibFtdiDevice::openListed(libusb_device* device)
{
    const QString id = usbId(device);
    ctx_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    const int rc = ftdi_usb_open_dev(ctx_, device);
    if (rc < 0) {
        const QString why = ftdiError(ctx_);
        ftdi_usb_close(ctx_); // some failures leave libusb's handle open
        switch (rc) {
        case -8: return fail(FtStatus::DeviceNotOpened, accessDenied(id));
        case -3: // setting the configuration or
        case -5: // claiming the interface failed: a driver or program holds it
            return fail(FtStatus::DeviceNotOpened, inUse(id));
        case -4: {
            // libftdi1 drops libusb's code; a second try shows it.
            libusb_device_handle* handle = nullptr;
            const int again = libusb_open(device, &handle);
            if (handle != nullptr) libusb_close(handle);
            if (again < 0) {
                const Failure f = usbFailure(again, id, FtStatus::DeviceNotOpened, QStringLiteral("opening"));
                return fail(f.status, f.why);
            }
            break;
        }
        default: break;
        }
        return fail(FtStatus::DeviceNotOpened,
                    QStringLiteral("opening USB device %1 failed: %2").arg(id, why));
    }
    openId_ = id;
    gone_ = false;
    if (const FtStatus s = startLine(); s != FtStatus::Ok) {
        ftdi_usb_close(ctx_);
        return s;
    }
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::startLine()
{
    const FtLineSettings& s = lineSettings();
    const auto failed = [this](const QString& step) {
        return fail(FtStatus::DeviceNotOpened,
                    QStringLiteral("USB device %1: cannot %2: %3").arg(openId_, step, ftdiError(ctx_)));
    };
    // The default 16 ms would cap a per-record exchange at about 60 a second.
    if (ftdi_set_latency_timer(ctx_, static_cast<unsigned char>(s.latencyMs)) < 0)
        return failed(QStringLiteral("set the latency timer to %1 ms").arg(s.latencyMs));
    if (ftdi_set_baudrate(ctx_, s.baud) < 0) return failed(QStringLiteral("set %1 baud").arg(s.baud));
    const auto bits = s.dataBits == 7 ? BITS_7 : BITS_8;
    const auto stop = s.stopBits == 2 ? STOP_BIT_2 : STOP_BIT_1;
    const auto parity = static_cast<ftdi_parity_type>(s.parity); // our codes are libftdi1's
    if (ftdi_set_line_property(ctx_, bits, stop, parity) < 0)
        return failed(QStringLiteral("set %1 data bits, parity %2, %3 stop bits")
                          .arg(s.dataBits)
                          .arg(s.parity)
                          .arg(s.stopBits));
    if (ftdi_setflowctrl(ctx_, s.flowControl ? SIO_RTS_CTS_HS : SIO_DISABLE_FLOW_CTRL) < 0)
        return failed(QStringLiteral("set the flow control"));
    // The chip's buffers are left as they are: a reply the unit sent while
    // the serial port handed the chip over is still to be read.
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::writeDevice(const QByteArray& bytes, qint64& written)
{
    written = 0;
    if (gone_) return fail(FtStatus::DeviceNotFound, kUnplugged);
    // In chunks, so that `written` counts what went before a failure:
    // ftdi_write_data reports only the failure.
    const qint64 chunk = std::max<qint64>(1, ctx_->writebuffer_chunksize);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    while (written < bytes.size()) {
        const int n = static_cast<int>(std::min<qint64>(chunk, bytes.size() - written));
        const int rc = ftdi_write_data(ctx_, data + written, n);
        if (rc < 0) return transferFailed(rc, QStringLiteral("writing to"), false);
        if (rc == 0)
            return fail(FtStatus::IoError, QStringLiteral("USB device %1 took no bytes").arg(openId_));
        written += rc;
    }
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::fetch(QByteArray& into)
{
    if (gone_) return fail(FtStatus::DeviceNotFound, kUnplugged);
    // ftdi_read_data goes on reading while bytes keep coming, which would hold
    // us for as long as the unit talks. Asked for one byte it makes a single
    // transfer; the rest of that transfer then comes from libftdi1's buffer.
    unsigned char buf[4096];
    const int rc = ftdi_read_data(ctx_, buf, 1);
    if (rc < 0) return transferFailed(rc, QStringLiteral("reading from"), rc != -666);
    if (rc == 0) return FtStatus::Ok;
    into.append(reinterpret_cast<const char*>(buf), rc);
    while (ctx_->readbuffer_remaining > 0) {
        const int want = static_cast<int>(std::min<unsigned>(ctx_->readbuffer_remaining, sizeof buf));
        const int n = ftdi_read_data(ctx_, buf, want);
        if (n <= 0) break;
        into.append(reinterpret_cast<const char*>(buf), n);
    }
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::closeDevice()
{
    const bool wasGone = gone_;
    gone_ = false;
    // Releasing the interface gives the chip back to ftdi_sio.
    const int rc = ftdi_usb_close(ctx_);
    if (rc < 0 && !wasGone)
        return fail(FtStatus::IoError,
                    QStringLiteral("closing USB device %1 failed: %2").arg(openId_, ftdiError(ctx_)));
    return FtStatus::Ok;
}

FtStatus LibFtdiDevice::transferFailed(int code, const QString& what, bool libusbCode)
{
    if (code == -666 || (libusbCode && code == LIBUSB_ERROR_NO_DEVICE) || deviceGone()) {
        gone_ = true;
        return fail(FtStatus::DeviceNotFound, kUnplugged);
    }
    QString why = ftdiError(ctx_);
    if (libusbCode) why += QStringLiteral(" (%1)").arg(usbError(code));
    return fail(FtStatus::IoError, QStringLiteral("%1 USB device %2 failed: %3").arg(what, openId_, why));
}

bool LibFtdiDevice::deviceGone()
{
    constexpr auto kGetStatusRequestType =
        static_cast<std::uint8_t>(unsigned{LIBUSB_ENDPOINT_IN} | unsigned{LIBUSB_REQUEST_TYPE_STANDARD} |
                                  unsigned{LIBUSB_RECIPIENT_DEVICE});
    if (ctx_ == nullptr || ctx_->usb_dev == nullptr) return true;
    // ftdi_write_data keeps no libusb code, so ask the device itself.
    unsigned char status[2];
    const int rc = libusb_control_transfer(ctx_->usb_dev, kGetStatusRequestType, LIBUSB_REQUEST_GET_STATUS, 0,
                                           0, status, sizeof status, 100);
    return rc == LIBUSB_ERROR_NO_DEVICE;
}

std::unique_ptr<FtdiDevice> makeLibFtdiDevice()
{
    return std::make_unique<LibFtdiDevice>();
}

} // namespace plovan
