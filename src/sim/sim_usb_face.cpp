#include "sim_usb_face.h"

#include <QStringList>

#include <algorithm>
#include <string_view>

namespace plovan::sim {

namespace {

using Result = SimUsbFace::Result;

Result failed(FtStatus status, const QString& reason)
{
    return {status, reason};
}

} // namespace

QString usbFaultSummary(const UsbFaults& f)
{
    QStringList parts;
    if (f.noDevice) parts << QStringLiteral("no-device");
    if (f.openFails) parts << QStringLiteral("open-fails");
    if (f.writeFails) parts << QStringLiteral("write-fails");
    if (f.shortReads > 0) parts << QStringLiteral("short-read:%1").arg(f.shortReads);
    if (f.unplugAfter > 0) parts << QStringLiteral("unplug:%1").arg(f.unplugAfter);
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1Char(' '));
}

bool applyUsbFault(const QString& word, UsbFaults& faults)
{
    const QString name = word.section(QLatin1Char(':'), 0, 0);
    if (!word.contains(QLatin1Char(':'))) {
        if (name == QLatin1String("no-device"))
            faults.noDevice = true;
        else if (name == QLatin1String("open-fails"))
            faults.openFails = true;
        else if (name == QLatin1String("write-fails"))
            faults.writeFails = true;
        else
            return false;
        return true;
    }
    bool ok = false;
    const int n = word.section(QLatin1Char(':'), 1).toInt(&ok);
    if (!ok || n < 1) return false;
    if (name == QLatin1String("short-read"))
        faults.shortReads = n;
    else if (name == QLatin1String("unplug"))
        faults.unplugAfter = n;
    else
        return false;
    return true;
}

QString noUsbDeviceAt(int index)
{
    return QStringLiteral("no USB device %1 is listed").arg(index);
}

QString usbUnpluggedReason()
{
    return QStringLiteral("the USB device was unplugged");
}

SimUsbFace::SimUsbFace(std::shared_ptr<SimUnit> unit, const UsbFaults& faults)
    : unit_(std::move(unit)), faults_(faults)
{
}

void SimUsbFace::setFaults(const UsbFaults& faults)
{
    faults_ = faults;
    unplugged_ = false;
}

int SimUsbFace::deviceCount() const
{
    return present() ? 1 : 0;
}

Result SimUsbFace::describe(int index, QString* description, QString* serial) const
{
    if (index != 0 || !present()) return failed(FtStatus::DeviceNotFound, noUsbDeviceAt(index));
    if (description) *description = QString::fromLatin1(kSimUsbDescription);
    if (serial) *serial = QString::fromLatin1(kSimUsbSerial);
    return {};
}

Result SimUsbFace::open(const QString& description)
{
    if (!present() || description != QLatin1String(kSimUsbDescription))
        return failed(FtStatus::DeviceNotFound,
                      QStringLiteral("no USB device \"%1\" is attached").arg(description));
    if (faults_.openFails)
        return failed(FtStatus::DeviceNotOpened, QStringLiteral("the simulated device refused the open"));
    if (open_)
        return failed(FtStatus::DeviceNotOpened, QStringLiteral("the simulated USB device is open already"));
    open_ = true;
    writes_ = 0;
    lines_.clear();
    replies_.clear();
    return {};
}

Result SimUsbFace::write(const QByteArray& bytes)
{
    if (unplugged_) return failed(FtStatus::DeviceNotFound, usbUnpluggedReason());
    if (!open_) return failed(FtStatus::IoError, QStringLiteral("the simulated USB device is not open"));
    if (faults_.writeFails)
        return failed(FtStatus::IoError, QStringLiteral("the simulated USB device failed the write"));

    std::string reply = unit_->receive(
        lines_.take(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    if (faults_.shortReads > 0 && reply.size() > static_cast<std::size_t>(faults_.shortReads))
        reply.resize(static_cast<std::size_t>(faults_.shortReads));
    if (!reply.empty()) {
        // Never ahead of an earlier reply, even when the delay was shortened meanwhile.
        Clock::time_point due =
            Clock::now() + std::chrono::milliseconds(std::max(unit_->faults().replyDelayMs, 0));
        if (!replies_.empty()) due = std::max(due, replies_.back().due);
        replies_.push_back({due, QByteArray(reply.data(), static_cast<qsizetype>(reply.size()))});
    }
    if (faults_.unplugAfter > 0 && ++writes_ >= faults_.unplugAfter) {
        // What had not been read goes with the device.
        unplugged_ = true;
        replies_.clear();
    }
    return {};
}

Result SimUsbFace::fetch(QByteArray& into, Clock::time_point now)
{
    if (unplugged_) return failed(FtStatus::DeviceNotFound, usbUnpluggedReason());
    while (!replies_.empty() && replies_.front().due <= now) {
        into.append(replies_.front().bytes);
        replies_.pop_front();
    }
    return {};
}

void SimUsbFace::close()
{
    open_ = false;
    replies_.clear();
    lines_.clear();
}

std::optional<std::chrono::milliseconds> SimUsbFace::nextReplyIn(Clock::time_point now) const
{
    if (replies_.empty()) return std::nullopt;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(replies_.front().due - now);
    return std::max(left, std::chrono::milliseconds(0));
}

} // namespace plovan::sim
