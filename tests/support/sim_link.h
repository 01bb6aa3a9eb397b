// A Link whose port is a fresh in-process simulated unit, already open.
#pragma once

#include "link.h"
#include "sim_backend.h"

#include <QString>
#include <QStringList>
#include <memory>

inline std::unique_ptr<plovan::Link> makeSimLink(plovan::sim::SimBackend*& backend)
{
    auto link = std::make_unique<plovan::Link>();
    auto sim = std::make_unique<plovan::sim::SimBackend>();
    backend = sim.get();
    link->setBackend(std::move(sim));
    link->openPort();
    return link;
}

// The command lines the unit took after the first `seen`; moves `seen` past them.
inline QStringList linesSince(const plovan::sim::SimBackend* backend, std::size_t& seen)
{
    QStringList out;
    const auto& all = backend->unit().commands();
    for (; seen < all.size(); ++seen)
        out << QString::fromStdString(all[seen]);
    return out;
}
