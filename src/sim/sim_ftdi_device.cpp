#include "sim_ftdi_device.h"

namespace plovan::sim {

SimFtdiDevice::SimFtdiDevice(std::shared_ptr<SimUnit> unit, const UsbFaults& faults)
    : face_(std::move(unit), faults)
{
}

FtStatus SimFtdiDevice::take(const SimUsbFace::Result& result)
{
    if (!result.ok()) return fail(result.status, result.reason);
    clearError();
    return FtStatus::Ok;
}

FtStatus SimFtdiDevice::countDevices(int& count)
{
    clearError();
    count = face_.deviceCount();
    return FtStatus::Ok;
}

FtStatus SimFtdiDevice::description(int index, QString& text)
{
    text.clear();
    return take(face_.describe(index, &text, nullptr));
}

FtStatus SimFtdiDevice::serialNumber(int index, QString& text)
{
    text.clear();
    return take(face_.describe(index, nullptr, &text));
}

FtStatus SimFtdiDevice::openDevice(const QString& description)
{
    return take(face_.open(description));
}

FtStatus SimFtdiDevice::writeDevice(const QByteArray& bytes, qint64& written)
{
    const FtStatus status = take(face_.write(bytes));
    written = status == FtStatus::Ok ? bytes.size() : 0;
    return status;
}

FtStatus SimFtdiDevice::closeDevice()
{
    face_.close();
    return FtStatus::Ok;
}

FtStatus SimFtdiDevice::fetch(QByteArray& into)
{
    return take(face_.fetch(into));
}

} // namespace plovan::sim
