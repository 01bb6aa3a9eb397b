// The simulated unit's USB device inside the program: an FtdiDevice over a
// SimUsbFace, sharing its SimUnit with the serial face (SimBackend).
#pragma once

#include "ftdi_device.h"
#include "sim_usb_face.h"

#include <memory>

namespace plovan::sim {

class SimFtdiDevice : public FtdiDevice {
public:
    explicit SimFtdiDevice(std::shared_ptr<SimUnit> unit, const UsbFaults& faults = {});

    const UsbFaults& usbFaults() const { return face_.faults(); }
    // Also plugs an unplugged device back in.
    void setUsbFaults(const UsbFaults& faults) { face_.setFaults(faults); }
    SimUnit& unit() const { return face_.unit(); }

    FtStatus countDevices(int& count) override;
    FtStatus description(int index, QString& text) override;
    FtStatus serialNumber(int index, QString& text) override;
    QString name() const override { return QStringLiteral("simulated USB device"); }

protected:
    FtStatus openDevice(const QString& description) override;
    FtStatus writeDevice(const QByteArray& bytes, qint64& written) override;
    FtStatus closeDevice() override;
    FtStatus fetch(QByteArray& into) override;

private:
    FtStatus take(const SimUsbFace::Result& result);

    SimUsbFace face_;
};

} // namespace plovan::sim
