#include "usb_probe.h"

namespace plovan {

std::unique_ptr<UsbProbe> makeUsbProbe()
{
    return std::make_unique<NoUsbProbe>();
}

QString FtGetDescrp(UsbProbe& probe)
{
    const std::optional<QString> description = probe.deviceDescription(0);
    return description ? QStringLiteral("Device Description ") + *description
                       : QStringLiteral("ListDevices failed");
}

UsbStartup probeUsbAtStartup(UsbProbe& probe)
{
    UsbStartup startup;
    const std::optional<QString> description = probe.deviceDescription(0);
    startup.FtdiMode = description.has_value();
    startup.VerSion = QString::fromLatin1(kPlovanVersion);
    if (startup.FtdiMode) {
        startup.UsbDescBuf = *description;
        startup.descriptionLine = FtGetDescrp(probe);
        startup.VerSion += QStringLiteral(" usb");
    }
    else {
        startup.captionNote = QString::fromLatin1(kNoUsbCaptionNote);
    }
    return startup;
}

} // namespace plovan
