// plovan: the control program's window.
#include "app_signals.h"
#include "main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmar Plovan"));
    QApplication::setApplicationVersion(QStringLiteral("3.09"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Control program for the Velmar Plovan RF driver."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption portOption(QStringLiteral("port"),
                                  QStringLiteral("Serial device to use, e.g. /dev/ttyUSB0 or /dev/pts/3."),
                                  QStringLiteral("device"));
    QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("Use the built-in simulated unit."));
    QCommandLineOption timeoutOption(QStringLiteral("ack-timeout"),
                                     QStringLiteral("Reply time-out in ms (0 waits for ever; default 3000)."),
                                     QStringLiteral("ms"));
    parser.addOption(timeoutOption);
    parser.addOption(portOption);
    parser.addOption(simOption);
    parser.process(app);

    plovan::MainWindow window;
    plovan::PortSettings settings = window.portSettings();
    if (parser.isSet(simOption))
        settings.device = QString::fromLatin1(plovan::kSimDevice);
    else if (parser.isSet(portOption))
        settings = plovan::withDevice(settings, parser.value(portOption));
    window.setPortSettings(settings, false);
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        const int ms = parser.value(timeoutOption).toInt(&ok);
        if (!ok || ms < 0) {
            std::fprintf(stderr, "plovan: --ack-timeout takes a whole number of ms, 0 or more\n");
            return 2;
        }
        window.setAckTimeoutMs(ms);
    }
    window.show();

    // SIGTERM and SIGINT close the window as "Exit" does, so the settings are written.
    plovan::AppSignals appSignals;
    if (!appSignals.install()) std::fprintf(stderr, "plovan: %s\n", qPrintable(appSignals.errorString()));
    QObject::connect(&appSignals, &plovan::AppSignals::terminationRequested, &window,
                     &plovan::MainWindow::terminate);
    return app.exec();
}
