// Chooses the port route a settings record asks for. The window and
// plovanctl both choose here, so a route added later is offered by both.
#pragma once

#include "port_backend.h"

#include <memory>

namespace plovan {

class Link;

// True when `settings` select the simulated unit inside the program.
bool selectsSim(const PortSettings& settings);

// A new backend of the kind `settings` select (the simulated unit for
// kSimDevice, else the serial port), with the settings applied.
std::unique_ptr<PortBackend> makeBackend(const PortSettings& settings);

// Gives `link` a backend of the kind `settings` select, keeping the one it
// has when it is of that kind already, and applies the settings to it.
void useBackendFor(Link& link, const PortSettings& settings);

} // namespace plovan
