#include "backend_factory.h"

#include "link.h"
#include "serial_backend.h"
#include "sim_backend.h"

namespace plovan {

void useBackendFor(Link& link, const PortSettings& settings)
{
    const bool wantSim = settings.device == QLatin1String(kSimDevice);
    PortBackend* current = link.backend();
    const bool haveSim = qobject_cast<sim::SimBackend*>(current) != nullptr;
    if (!current || wantSim != haveSim) {
        if (wantSim)
            link.setBackend(std::make_unique<sim::SimBackend>());
        else
            link.setBackend(std::make_unique<SerialBackend>());
    }
    link.backend()->setSettings(settings);
}

} // namespace plovan
