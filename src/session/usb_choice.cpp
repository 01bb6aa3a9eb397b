#include "usb_choice.h"

#include "backend_factory.h"
#include "libftdi_device.h"
#include "link.h"
#include "sim_backend.h"
#include "sim_ftdi_device.h"
#include "socket_ftdi_device.h"
#include "usb_route.h"
#include "usb_socket_protocol.h"

namespace plovan {

std::optional<UsbChoice> parseUsbChoice(const QString& text, QString* error)
{
    if (text == QLatin1String("real")) return UsbChoice{UsbDeviceKind::Real, {}};
    if (text == QLatin1String("none")) return UsbChoice{UsbDeviceKind::None, {}};
    if (text == QLatin1String("sim")) return UsbChoice{UsbDeviceKind::Sim, {}};
    if (text.startsWith(QLatin1String("sim:")) && text.size() > 4)
        return UsbChoice{UsbDeviceKind::Sim, text.mid(4)};
    if (error)
        *error = QStringLiteral("the USB device is real, sim, sim:SOCKET or none, not \"%1\"").arg(text);
    return std::nullopt;
}

std::optional<UsbChoice> defaultUsbChoice(QString* error)
{
    const QString value = qEnvironmentVariable(kUsbDeviceVariable);
    if (value.isEmpty()) return UsbChoice{};
    QString why;
    auto choice = parseUsbChoice(value, &why);
    if (!choice && error) *error = QStringLiteral("%1: %2").arg(QLatin1String(kUsbDeviceVariable), why);
    return choice;
}

std::unique_ptr<FtdiDevice> makeFtdiDevice(const UsbChoice& choice, Link& link, const PortSettings& port)
{
    switch (choice.kind) {
    case UsbDeviceKind::None: return std::make_unique<NoFtdiDevice>();
    case UsbDeviceKind::Real: return makeLibFtdiDevice();
    case UsbDeviceKind::Sim: break;
    }
    if (!choice.socketPath.isEmpty()) return std::make_unique<sim::SocketFtdiDevice>(choice.socketPath);
    if (selectsSim(port)) {
        useBackendFor(link, port);
        if (auto* backend = qobject_cast<sim::SimBackend*>(link.backend()))
            return std::make_unique<sim::SimFtdiDevice>(backend->sharedUnit());
    }
    if (!port.device.isEmpty())
        return std::make_unique<sim::SocketFtdiDevice>(sim::simUsbSocketFor(port.device));
    return std::make_unique<NoFtdiDevice>(
        QStringLiteral("the simulated USB device needs the simulated unit (--sim), the port of a "
                       "plovan-sim, or sim:SOCKET"));
}

} // namespace plovan
