#include "ftdi_device.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <thread>

namespace plovan {

bool FtdiDevice::checkHandle(UsbHandle handle)
{
    if (handle != 0 && handle == handle_) return true;
    lastError_ = handle_ == 0 ? QStringLiteral("the USB device is not open")
                              : QStringLiteral("handle %1 is not the open device's").arg(handle);
    return false;
}

FtStatus FtdiDevice::openByDescription(const QString& description, UsbHandle& handle)
{
    handle = 0;
    if (handle_ != 0)
        return fail(FtStatus::DeviceNotOpened, QStringLiteral("the USB device is open already"));
    clearError();
    const FtStatus status = openDevice(description);
    if (status != FtStatus::Ok) return status;
    received_.clear();
    handle_ = nextHandle_++;
    if (nextHandle_ == 0) nextHandle_ = 1;
    handle = handle_;
    return status;
}

FtStatus FtdiDevice::write(UsbHandle handle, const QByteArray& bytes, qint64& written)
{
    written = 0;
    if (!checkHandle(handle)) return FtStatus::InvalidHandle;
    clearError();
    return writeDevice(bytes, written);
}

FtStatus FtdiDevice::close(UsbHandle handle)
{
    if (!checkHandle(handle)) return FtStatus::InvalidHandle;
    clearError();
    const FtStatus status = closeDevice();
    handle_ = 0;
    received_.clear();
    return status;
}

FtStatus FtdiDevice::queueStatus(UsbHandle handle, qint64& waiting)
{
    waiting = 0;
    if (!checkHandle(handle)) return FtStatus::InvalidHandle;
    clearError();
    const FtStatus status = fetch(received_);
    waiting = received_.size();
    return status;
}

FtStatus FtdiDevice::read(UsbHandle handle, qint64 wanted, QByteArray& out)
{
    out.clear();
    if (!checkHandle(handle)) return FtStatus::InvalidHandle;
    clearError();
    if (wanted <= 0) return FtStatus::Ok;
    QElapsedTimer clock;
    clock.start();
    FtStatus status = FtStatus::Ok;
    for (;;) {
        status = fetch(received_);
        if (status != FtStatus::Ok || received_.size() >= wanted) break;
        const qint64 left = readTimeoutMs_ - clock.elapsed();
        if (left <= 0) break;
        // A chip's fetch already waits its latency; the pause only keeps
        // a device that answers at once from being asked in a tight loop.
        const int ms = static_cast<int>(std::min<qint64>(left, 2));
        if (!idle_)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        else if (!idle_(ms))
            break;
    }
    const qint64 n = std::min<qint64>(wanted, received_.size());
    out = received_.left(n);
    received_.remove(0, n);
    return status;
}

} // namespace plovan
