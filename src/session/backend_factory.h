// Chooses the port route a settings record asks for.
#pragma once

#include "port_backend.h"

#include <memory>

namespace plovan {

class Link;

// Gives `link` a backend of the kind `settings` selects (the simulated unit
// for kSimDevice, else the serial port), keeping the one it has when it is
// of that kind already, and applies the settings to it.
void useBackendFor(Link& link, const PortSettings& settings);

} // namespace plovan
