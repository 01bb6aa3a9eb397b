#include "backend_factory.h"

#include "link.h"
#include "serial_backend.h"
#include "sim_backend.h"

namespace plovan {

bool selectsSim(const PortSettings& settings)
{
    return settings.device == QLatin1String(kSimDevice);
}

std::unique_ptr<PortBackend> makeBackend(const PortSettings& settings)
{
    std::unique_ptr<PortBackend> backend;
    if (selectsSim(settings))
        backend = std::make_unique<sim::SimBackend>();
    else
        backend = std::make_unique<SerialBackend>();
    backend->setSettings(settings);
    return backend;
}

void useBackendFor(Link& link, const PortSettings& settings)
{
    PortBackend* current = link.backend();
    const bool haveSim = qobject_cast<sim::SimBackend*>(current) != nullptr;
    if (!current || selectsSim(settings) != haveSim)
        link.setBackend(makeBackend(settings));
    else
        current->setSettings(settings);
}

} // namespace plovan
