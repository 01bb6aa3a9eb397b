#include "sim_server.h"

#include "pty_server.h"
#include "usb_socket_protocol.h"
#include "usb_socket_server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace plovan::sim {

namespace {

void printLine(std::string_view text, FILE* to = stdout)
{
    std::fwrite(text.data(), 1, text.size(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

void printLine(const QString& text, FILE* to = stdout)
{
    printLine(text.toLocal8Bit().toStdString(), to);
}

std::optional<int> positiveNumber(const QString& text, bool allowZero)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0 || (v == 0 && !allowZero)) return std::nullopt;
    return v;
}

bool applyFault(const QString& faultText, Faults& faults)
{
    if (applyReflectFault(faultText.toStdString(), faults)) return true;
    const QString name = faultText.section(QLatin1Char(':'), 0, 0);
    const bool hasValue = faultText.contains(QLatin1Char(':'));
    const QString value = faultText.section(QLatin1Char(':'), 1);
    if (!hasValue) {
        if (name == QLatin1String("silent"))
            faults.silent = true;
        else if (name == QLatin1String("too-big"))
            faults.tooBig = true;
        else if (name == QLatin1String("garbage"))
            faults.garbage = true;
        else if (name == QLatin1String("bad-readback"))
            faults.badReadback = true;
        else
            return false;
        return true;
    }
    const auto n = positiveNumber(value, false);
    if (!n) return false;
    if (name == QLatin1String("crc-error"))
        faults.crcErrorAtLine = *n;
    else if (name == QLatin1String("hangup"))
        faults.hangUpAfter = *n;
    else if (name == QLatin1String("answer"))
        faults.answerLines = *n;
    else if (name == QLatin1String("flood"))
        faults.floodBytes = *n;
    else
        return false;
    return true;
}

QString faultSummary(const Faults& f)
{
    QStringList parts;
    if (f.silent) parts << QStringLiteral("silent");
    if (f.tooBig) parts << QStringLiteral("too-big");
    if (f.garbage) parts << QStringLiteral("garbage");
    if (f.badReadback) parts << QStringLiteral("bad-readback");
    if (f.crcErrorAtLine > 0) parts << QStringLiteral("crc-error:%1").arg(f.crcErrorAtLine);
    if (f.hangUpAfter > 0) parts << QStringLiteral("hangup:%1").arg(f.hangUpAfter);
    if (f.answerLines > 0) parts << QStringLiteral("answer:%1").arg(f.answerLines);
    if (f.floodBytes > 0) parts << QStringLiteral("flood:%1").arg(f.floodBytes);
    for (int i = 0; i < 4; ++i)
        if (f.reflect[std::size_t(i)] > 0)
            parts << QStringLiteral("reflect:J%1:%2").arg(i + 1).arg(f.reflect[std::size_t(i)]);
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1Char(' '));
}

// SIGTERM and SIGINT end the event loop through a pipe: a signal handler may
// do little more than write(2).
int signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

std::optional<ServerOptions> parseServerArgs(const QStringList& args, QString* error)
{
    ServerOptions options;
    auto fail = [error](const QString& message) -> std::optional<ServerOptions> {
        if (error) *error = message;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString option = args[i];
        QString value;
        bool inlineValue = false;
        if (option.startsWith(QLatin1String("--")) && option.contains(QLatin1Char('='))) {
            value = option.section(QLatin1Char('='), 1);
            option = option.section(QLatin1Char('='), 0, 0);
            inlineValue = true;
        }
        const bool takesValue = option == QLatin1String("--delay") || option == QLatin1String("--fault") ||
                                option == QLatin1String("--crc") || option == QLatin1String("--usb-fault") ||
                                option == QLatin1String("--usb-socket");
        if (takesValue && !inlineValue) {
            if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value").arg(option));
            value = args[++i];
        }
        else if (!takesValue && inlineValue) {
            return fail(QStringLiteral("%1 takes no value").arg(option));
        }

        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            options.help = true;
        }
        else if (option == QLatin1String("-q") || option == QLatin1String("--quiet")) {
            options.quiet = true;
        }
        else if (option == QLatin1String("--delay")) {
            const auto ms = positiveNumber(value, true);
            if (!ms)
                return fail(QStringLiteral("--delay needs a number of milliseconds, not \"%1\"").arg(value));
            options.faults.replyDelayMs = *ms;
        }
        else if (option == QLatin1String("--fault")) {
            if (!applyFault(value, options.faults))
                return fail(QStringLiteral("unknown fault \"%1\"").arg(value));
        }
        else if (option == QLatin1String("--usb-fault")) {
            if (!applyUsbFault(value, options.usbFaults))
                return fail(QStringLiteral("unknown USB fault \"%1\"").arg(value));
        }
        else if (option == QLatin1String("--usb-socket")) {
            if (value.isEmpty()) return fail(QStringLiteral("--usb-socket needs a path"));
            options.usbSocket = QFileInfo(value).absoluteFilePath();
        }
        else if (option == QLatin1String("--crc")) {
            const auto model = crc16ModelFromName(value.toStdString());
            if (!model) return fail(QStringLiteral("unknown CRC model \"%1\"").arg(value));
            options.crcModel = *model;
        }
        else {
            return fail(QStringLiteral("unknown option \"%1\"").arg(args[i]));
        }
    }
    return options;
}

QString serverUsage(const QString& program)
{
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "Serves a simulated Plovan unit on a pseudo-terminal, and its USB device on a\n"
               "Unix socket. Prints the device path on the first line, the socket path on the\n"
               "second, then every command with its meaning; stops on SIGTERM or Ctrl-C.\n"
               "\n"
               "  --delay MS          wait MS milliseconds before each reply\n"
               "  --fault FAULT       inject a fault (repeatable):\n"
               "                        silent       take commands, answer nothing\n"
               "                        crc-error:N  answer K to line N of every image, raw, LUT "
               "load\n"
               "                        too-big      answer E to every image and raw header\n"
               "                        garbage      put noise bytes before every reply\n"
               "                        bad-readback answer every read-back \"@??\"\n"
               "                        hangup:N     hang up the line after N lines, then exit\n"
               "                        answer:N     answer only the first N lines of a connection\n"
               "                        flood:N      send N bytes without a line end before the\n"
               "                                     first reply of a connection\n"
               "                        reflect:JN:R output JN (J1-J4) reflects the share R (0-1)\n"
               "                                     of its forward level in \"=AV\"\n"
               "  --usb-socket PATH   serve the USB device on PATH (default:\n"
               "                      $XDG_RUNTIME_DIR or /tmp, /plovan-sim-usb-pts-N)\n"
               "  --usb-fault FAULT   inject a USB fault (repeatable):\n"
               "                        no-device    list no device\n"
               "                        open-fails   list the device, refuse to open it\n"
               "                        write-fails  fail every write; nothing reaches the unit\n"
               "                        short-read:N let only the first N bytes of each reply arrive\n"
               "                        unplug:N     unplug the device after N writes of an open\n"
               "  --crc MODEL         CRC the unit checks LUT lines with: xmodem (default),\n"
               "                      ccitt-false, kermit, x25, arc, modbus\n"
               "  -q, --quiet         do not log commands\n"
               "  -h, --help          show this help\n")
        .arg(program);
}

int runSimServer(const QStringList& args, const QString& program)
{
    QString error;
    const auto options = parseServerArgs(args, &error);
    if (!options) {
        printLine(QStringLiteral("%1: %2 (see --help)").arg(program, error), stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(serverUsage(program).toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (!QCoreApplication::instance()) {
        printLine(QStringLiteral("%1: no application object").arg(program), stderr);
        return 1;
    }

    SimConfig config;
    config.crcModel = options->crcModel;
    const auto unit = std::make_shared<SimUnit>(config);
    unit->setFaults(options->faults);
    if (!options->quiet) unit->setLogSink([](std::string_view line) { printLine(line); });
    PtyServer server(unit);
    if (!server.start()) {
        printLine(QStringLiteral("%1: %2").arg(program, server.errorString()), stderr);
        return 1;
    }
    UsbSocketServer usb(unit, options->usbFaults);
    if (!options->quiet) usb.setLogSink([](const QString& line) { printLine(line); });
    if (!usb.start(options->usbSocket.isEmpty() ? simUsbSocketFor(server.slavePath()) : options->usbSocket)) {
        printLine(QStringLiteral("%1: %2").arg(program, usb.errorString()), stderr);
        return 1;
    }

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        printLine(QStringLiteral("%1: cannot watch for signals").arg(program), stderr);
        return 1;
    }
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{}, oldPipe{};
    ::sigaction(SIGINT, &stop, &oldInt);
    ::sigaction(SIGTERM, &stop, &oldTerm);
    // A reader that stops reading the log must not kill the server.
    ::sigaction(SIGPIPE, &ignore, &oldPipe);

    QEventLoop loop;
    int status = 0;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &loop, [&] {
        char buf[16];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) {
        }
        if (!options->quiet) printLine(QStringLiteral("%1: stopped").arg(program));
        loop.quit();
    });
    QObject::connect(&server, &PtyServer::hungUp, &loop, [&] {
        if (!options->quiet) printLine(QStringLiteral("%1: line hung up (fault), exiting").arg(program));
        loop.quit();
    });
    QObject::connect(&server, &PtyServer::failed, &loop, [&](const QString& reason) {
        printLine(QStringLiteral("%1: %2").arg(program, reason), stderr);
        status = 1;
        loop.quit();
    });

    printLine(server.slavePath());
    printLine(usb.path());
    if (!options->quiet)
        printLine(QStringLiteral("%1: serving, CRC %2, delay %3 ms, faults: %4, USB faults: %5")
                      .arg(program, QString::fromLatin1(crc16ModelName(options->crcModel)))
                      .arg(options->faults.replyDelayMs)
                      .arg(faultSummary(options->faults), usbFaultSummary(options->usbFaults)));
    loop.exec();

    usb.stop();
    server.stop();
    signalNotifier.setEnabled(false);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
    return status;
}

} // namespace plovan::sim
