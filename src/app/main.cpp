// plovan: the control program's window.
#include "app_signals.h"
#include "main_window.h"
#include "remote_control.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmar Plovan"));
    QApplication::setApplicationVersion(QStringLiteral("3.09"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Control program for the Velmar Plovan RF driver.\n\n"
        "Settings (portset.txt, maxmin.txt, the poll list) are kept in $PLOVAN_SETTINGS_DIR,\n"
        "else $XDG_CONFIG_HOME/velmar (usually ~/.config/velmar); a port given with\n"
        "--port or --sim is used for this session only. plovanctl drives the same unit\n"
        "from scripts; plovan-sim is a simulated unit on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption portOption(QStringLiteral("port"),
                                  QStringLiteral("Serial device to use, e.g. /dev/ttyUSB0 or /dev/pts/3."),
                                  QStringLiteral("device"));
    QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("Use the built-in simulated unit."));
    QCommandLineOption timeoutOption(QStringLiteral("ack-timeout"),
                                     QStringLiteral("Reply time-out in ms (0 waits for ever; default 3000)."),
                                     QStringLiteral("ms"));
    QCommandLineOption usbOption(
        QStringLiteral("usb-device"),
        QStringLiteral(
            "USB device layer: real (the chip through libftdi1, the default), sim (the simulated "
            "unit's USB face: with --sim the built-in one, else that of the plovan-sim on --port), "
            "sim:SOCKET, or none. PLOVAN_USB_DEVICE sets the default."),
        QStringLiteral("kind"));
    QCommandLineOption remoteOption(
        QStringLiteral("remote"),
        QStringLiteral("Serve remote SCPI clients on [ADDRESS:]PORT for this session "
                       "(address 127.0.0.1 when left out)."),
        QStringLiteral("[address:]port"));
    parser.addOption(remoteOption);
    parser.addOption(usbOption);
    parser.addOption(timeoutOption);
    parser.addOption(portOption);
    parser.addOption(simOption);
    parser.process(app);

    plovan::LaunchOptions launch;
    if (parser.isSet(simOption))
        launch.port = QString::fromLatin1(plovan::kSimDevice);
    else if (parser.isSet(portOption))
        launch.port = parser.value(portOption);
    if (parser.isSet(usbOption)) {
        QString error;
        launch.usb = plovan::parseUsbChoice(parser.value(usbOption), &error);
        if (!launch.usb) {
            std::fprintf(stderr, "plovan: --usb-device: %s\n", qPrintable(error));
            return 2;
        }
    }
    plovan::MainWindow window(nullptr, launch);
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        const int ms = parser.value(timeoutOption).toInt(&ok);
        if (!ok || ms < 0) {
            std::fprintf(stderr, "plovan: --ack-timeout takes a whole number of ms, 0 or more\n");
            return 2;
        }
        window.setAckTimeoutMs(ms);
    }
    if (parser.isSet(remoteOption)) {
        QString error;
        const auto listen = plovan::remote::parseListen(parser.value(remoteOption), &error);
        auto* remote = plovan::remote::RemoteControl::of(window);
        if (!listen || !remote) {
            std::fprintf(stderr, "plovan: --remote: %s\n", qPrintable(error));
            return 2;
        }
        if (!listen->first.isLoopback())
            std::fprintf(stderr, "plovan: warning: anyone who can reach %s can drive the RF source\n",
                         qPrintable(listen->first.toString()));
        remote->start(listen->first, listen->second, false);
    }
    window.show();

    // SIGTERM and SIGINT close the window as "Exit" does, so the settings are written.
    plovan::AppSignals appSignals;
    if (!appSignals.install()) std::fprintf(stderr, "plovan: %s\n", qPrintable(appSignals.errorString()));
    QObject::connect(&appSignals, &plovan::AppSignals::terminationRequested, &window,
                     &plovan::MainWindow::terminate);
    return app.exec();
}
