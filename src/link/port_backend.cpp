#include "port_backend.h"

namespace plovan {

QString devicePath(const PortSettings& settings)
{
    if (!settings.device.isEmpty()) return settings.device;
    return QStringLiteral("/dev/ttyS%1").arg(settings.portNumber > 0 ? settings.portNumber - 1 : 0);
}

PortSettings withDevice(PortSettings settings, const QString& path)
{
    static const QString prefix = QStringLiteral("/dev/ttyS");
    bool ok = false;
    const int n = path.startsWith(prefix) ? path.mid(prefix.size()).toInt(&ok) : -1;
    if (ok && n >= 0 && path.mid(prefix.size()) == QString::number(n)) {
        settings.portNumber = n + 1;
        settings.device.clear();
    }
    else {
        settings.device = path;
    }
    return settings;
}

} // namespace plovan
