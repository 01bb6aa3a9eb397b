// plovan-sim: the simulated unit served on a pseudo-terminal, with its USB
// device on a Unix socket beside it (usb_socket_protocol.h), as a program.
// `plovanctl sim` runs the same through runSimServer().
#pragma once

#include "crc16.h"
#include "sim_unit.h"
#include "sim_usb_face.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace plovan::sim {

struct ServerOptions {
    Faults faults;
    UsbFaults usbFaults;
    QString usbSocket; // absolute; empty: simUsbSocketFor() the pseudo-terminal
    Crc16Model crcModel = kUnitLineCrc;
    bool quiet = false; // no command log
    bool help = false;
};

// Parses the options (without the program name). Empty, with `error` set,
// when an option is unknown or its value is bad.
std::optional<ServerOptions> parseServerArgs(const QStringList& args, QString* error = nullptr);

QString serverUsage(const QString& program = QStringLiteral("plovan-sim"));

// Serves until SIGTERM or SIGINT (exit status 0), or until the hang-up fault
// has closed the line (0). Prints the device path alone on the first line of
// standard output, the USB socket's path alone on the second, then one line
// per command with its meaning. Bad options: message on standard error,
// status 2; no pseudo-terminal or USB socket: status 1.
// A QCoreApplication must exist; its event loop need not run.
int runSimServer(const QStringList& args, const QString& program = QStringLiteral("plovan-sim"));

} // namespace plovan::sim
