// A USB device layer that passes everything through to another and tells a
// tap every byte written and read, so the traffic view and the
// communications log see the USB route as they see the serial one.
#pragma once

#include "ftdi_device.h"

#include <functional>
#include <memory>

namespace plovan {

class TappedFtdiDevice : public FtdiDevice {
public:
    using Tap = std::function<void(bool sent, const QByteArray& bytes)>;
    TappedFtdiDevice(std::unique_ptr<FtdiDevice> inner, Tap tap)
        : inner_(std::move(inner)), tap_(std::move(tap))
    {
    }

    FtStatus countDevices(int& count) override { return result(inner_->countDevices(count)); }
    FtStatus description(int index, QString& text) override
    {
        return result(inner_->description(index, text));
    }
    FtStatus serialNumber(int index, QString& text) override
    {
        return result(inner_->serialNumber(index, text));
    }
    QString name() const override { return inner_->name(); }

protected:
    FtStatus openDevice(const QString& description) override
    {
        inner_->setLineSettings(lineSettings());
        inner_->setReadTimeoutMs(0);
        return result(inner_->openByDescription(description, handle_));
    }
    FtStatus writeDevice(const QByteArray& bytes, qint64& written) override
    {
        const FtStatus status = inner_->write(handle_, bytes, written);
        if (written > 0) tap_(true, bytes.left(written));
        return result(status);
    }
    FtStatus closeDevice() override
    {
        const FtStatus status = inner_->close(handle_);
        handle_ = 0;
        return result(status);
    }
    FtStatus fetch(QByteArray& into) override
    {
        qint64 waiting = 0;
        FtStatus status = inner_->queueStatus(handle_, waiting);
        if (status == FtStatus::Ok && waiting > 0) {
            QByteArray chunk;
            status = inner_->read(handle_, waiting, chunk);
            if (!chunk.isEmpty()) tap_(false, chunk);
            into.append(chunk);
        }
        return result(status);
    }

private:
    FtStatus result(FtStatus status)
    {
        if (status == FtStatus::Ok) {
            clearError();
            return status;
        }
        return fail(status, inner_->lastError());
    }

    std::unique_ptr<FtdiDevice> inner_;
    Tap tap_;
    UsbHandle handle_ = 0;
};

} // namespace plovan
