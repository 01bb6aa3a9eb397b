// The Link of a benchmark: the serial backend on a responder's pseudo-terminal.
#pragma once

#include "link.h"
#include "serial_backend.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace bench {

inline void openLink(plovan::Link& link, const std::string& slavePath)
{
    auto backend = std::make_unique<plovan::SerialBackend>();
    plovan::PortSettings ps;
    ps.device = QString::fromStdString(slavePath);
    ps.parity = plovan::ParityNone;
    backend->setSettings(ps);
    link.setBackend(std::move(backend));
    if (!link.openPort()) {
        std::fprintf(stderr, "open %s failed: %s\n", slavePath.c_str(), qPrintable(link.openError()));
        std::exit(1);
    }
}

} // namespace bench
