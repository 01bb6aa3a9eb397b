// Test set-up shared by the controller tests.
#pragma once

#include "sim_link.h"
#include "sim_unit.h"
#include "synth_state.h"

#include <string>
#include <vector>

// A connected Link on a fresh simulated unit, the synthesis state and hooks
// the procedures take, and what the procedures reported through the hooks.
// A test class derives from it and calls setUpUnit() in init() and
// tearDownUnit() in cleanup().
struct SimUnitFixture {
    std::unique_ptr<plovan::Link> link;
    plovan::sim::SimBackend* sim = nullptr;
    plovan::SynthState state;
    plovan::SynthHooks hooks;
    QStringList errors, warnings, echoes;
    std::vector<bool> busyReports;
    std::size_t seen = 0;

    void setUpUnit(int ackTimeoutMs = 2000)
    {
        link = makeSimLink(sim);
        link->Connected = true;
        link->setAckTimeoutMs(ackTimeoutMs);
        state = plovan::SynthState{};
        errors.clear();
        warnings.clear();
        echoes.clear();
        busyReports.clear();
        seen = 0;
        hooks = plovan::SynthHooks{};
        hooks.error = [this](const std::string& m) { errors << QString::fromStdString(m); };
        hooks.warn = [this](const std::string& m) { warnings << QString::fromStdString(m); };
        hooks.echo = [this](const std::string& line) { echoes << QString::fromStdString(line); };
        hooks.busy = [this](bool busy) { busyReports.push_back(busy); };
    }
    void tearDownUnit() { link.reset(); }

    plovan::sim::SimUnit& unit() { return sim->unit(); }
    // The lines the unit took since the last call.
    QStringList newLines() { return linesSince(sim, seen); }
    // A unit that never answers, and waits short enough for a test.
    void silence(int ackTimeoutMs = 50)
    {
        unit().setFaults(plovan::sim::Faults{.silent = true});
        link->setAckTimeoutMs(ackTimeoutMs);
    }
};
