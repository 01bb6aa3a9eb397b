// The power monitor's cost: a session polling the built-in unit at the
// default 1 s (or the interval given, in ms) for a stretch of seconds, with
// the CPU time the process used over that stretch as a share of one core.
// The built-in unit answers inside this process, so its work counts too:
// the figure is an upper bound of the program's own.
//   monitor_cpu [SECONDS] [INTERVAL_MS]
#include "power_monitor.h"
#include "sim_backend.h"
#include "unit_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const int intervalMs = argc > 2 ? atoi(argv[2]) : plovan::PowerMonitor::kDefaultIntervalMs;
    plovan::UnitSession session;
    session.link.setBackend(std::make_unique<plovan::sim::SimBackend>());
    if (!session.link.openPort()) return 1;
    (void)session.link.sendWait("=D0FE3");
    plovan::PowerMonitor monitor(session);
    monitor.setIntervalMs(intervalMs);
    quint64 readings = 0;
    QObject::connect(&monitor, &plovan::PowerMonitor::reading, [&readings] { ++readings; });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    monitor.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("interval %d ms, %.1f s, %llu readings, %llu skipped: CPU %.4f s = %.3f%% of a core\n",
                monitor.intervalMs(), elapsed, static_cast<unsigned long long>(readings),
                static_cast<unsigned long long>(monitor.skipped()), cpu, 100.0 * cpu / elapsed);
    return 0;
}
