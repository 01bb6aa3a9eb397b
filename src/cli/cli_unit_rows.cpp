#include "cli_unit_rows.h"

#include "cli_checks.h"
#include "power_monitor.h"
#include "unit_report.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <memory>

namespace plovan::cli {

std::optional<Operation> prepareStatus(Session& s, const ParsedArgs&)
{
    return [&s] {
        out(reportText(unitReport(s.unit)).trimmed());
        return true;
    };
}

namespace {

QString readingText(const vswr::Reading& r, int minForward, QChar separator)
{
    QStringList fields;
    for (int output = 1; output <= 4; ++output) {
        const auto ratio = ratioOf(r, output, minForward);
        fields << QString::number(forwardOf(r, output)) << QString::number(reflectedOf(r, output))
               << (ratio ? QString::number(*ratio, 'f', 3) : QStringLiteral("-"));
    }
    return fields.join(separator);
}

} // namespace

std::optional<Operation> prepareMonitor(Session& s, const ParsedArgs& a)
{
    const auto interval =
        numberIn(a.value("--interval", QStringLiteral("1")), QStringLiteral("--interval"),
                 PowerMonitor::kMinIntervalMs / 1000.0, PowerMonitor::kMaxIntervalMs / 1000.0);
    const auto duration =
        numberIn(a.value("--duration", QStringLiteral("0")), QStringLiteral("--duration"), 0, 7 * 24 * 3600);
    const auto trip =
        numberIn(a.value("--trip", QStringLiteral("0.3")), QStringLiteral("--trip"), 0.001, 100);
    const auto count = numberIn(a.value("--count", QStringLiteral("3")), QStringLiteral("--count"), 1, 1000);
    if (!interval || !duration || !trip || !count) return std::nullopt;
    if (*count != int(*count)) {
        err(QStringLiteral("--count takes a whole number"));
        return std::nullopt;
    }
    auto csv = std::make_shared<QFile>(a.value("--csv"));
    if (!csv->fileName().isEmpty() &&
        !csv->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        err(QStringLiteral("cannot write %1: %2").arg(csv->fileName(), csv->errorString()));
        return std::nullopt;
    }
    const InterlockSettings rule{.tripRatio = *trip, .count = int(*count)};
    const int intervalMs = int(*interval * 1000);
    const int durationMs = int(*duration * 1000);
    return [&s, csv, rule, intervalMs, durationMs] {
        PowerMonitor monitor(s.unit);
        monitor.setIntervalMs(intervalMs);
        monitor.setInterlock(rule);
        if (csv->isOpen()) {
            QStringList head{QStringLiteral("time")};
            for (int output = 1; output <= 4; ++output)
                head << QStringLiteral("J%1 forward").arg(output)
                     << QStringLiteral("J%1 reflected").arg(output)
                     << QStringLiteral("J%1 ratio").arg(output);
            csv->write(head.join(QLatin1Char(',')).toUtf8() + '\n');
            csv->flush();
        }
        QEventLoop loop;
        bool ok = true;
        QObject::connect(
            &monitor, &PowerMonitor::reading, [&](const QDateTime& when, const vswr::Reading& r) {
                out(when.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char('\t') +
                    readingText(r, rule.minForward, QLatin1Char('\t')));
                if (!csv->isOpen()) return;
                // Each line reaches the disk at once: an interrupted run keeps what it read.
                csv->write((when.toString(Qt::ISODateWithMs) + QLatin1Char(',') +
                            readingText(r, rule.minForward, QLatin1Char(',')))
                               .toUtf8() +
                           '\n');
                if (!csv->flush()) {
                    err(QStringLiteral("cannot write %1: %2").arg(csv->fileName(), csv->errorString()));
                    csv->close();
                }
            });
        QObject::connect(&monitor, &PowerMonitor::pollFailed, [](const QString& why) { err(why); });
        QObject::connect(&monitor, &PowerMonitor::tripped, &loop, [&](const QString& line) {
            out(line);
            ok = false;
            loop.quit();
        });
        QTimer watch; // a stop signal or a lost line closes the port
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (!s.link.portOpen()) {
                ok = false;
                loop.quit();
            }
        });
        watch.start(100);
        if (durationMs > 0) QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
        monitor.pollNow();
        monitor.start();
        loop.exec();
        monitor.stop();
        // A trip's writes are acknowledged before the port is closed.
        if (s.link.portOpen()) s.link.pause(200);
        if (csv->isOpen()) csv->close();
        return ok;
    };
}

} // namespace plovan::cli
