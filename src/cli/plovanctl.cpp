#include "plovanctl.h"

#include "app_signals.h"
#include "backend_factory.h"
#include "cli_checks.h"
#include "cli_commands.h"
#include "cli_completion.h"
#include "settings_files.h"
#include "sim_backend.h"

#include <csignal>
#include <cstdio>

namespace plovan::cli {

namespace {

const char* const kUsageHead = R"(Usage: plovanctl [OPTIONS] COMMAND [ARGS]

Drives a Velmar Plovan over its serial port, one operation per run.

Options:
  --port DEVICE        serial device of the unit (e.g. /dev/ttyUSB0)
  --sim                use a simulated unit inside plovanctl; its decoded
                       state is printed after the operation
  --baud N             baud rate (default: portset.txt, else 9600)
  --settings-dir DIR   settings folder (default as the window's)
  --no-ack             send without waiting for the unit's "@"
  --ack-timeout MS     how long to wait for a reply (default 3000; 0 = for ever)
  --save               store into the unit's flash ("Save to DDS")
  --channels LIST      channel boxes ticked, e.g. 1,2 (cumulative)
  --fixed              "Fixed enable": leave group 2 as it is
  --amp-tracking on|off  write the second amplitude with each amplitude (default on)
  --usb-device KIND    USB layer of the usb commands: real (libftdi1, default),
                       sim (with --sim the built-in unit's, else that of the
                       plovan-sim on --port), sim:SOCKET, or none
  -v, --verbose        print every line sent (> ) and every reply (< )
  -h, --help           this text; COMMAND --help for a command
  --version            the version
  --completion bash    the bash completion script for plovanctl

Commands:
)";

const char* const kUsageTail = R"(
Exit status: 0 done; 1 port not opened, no reply in time, a load that did not
end "Sent OK!", or connection lost; 2 bad input (nothing sent); 130 and 143
stopped by SIGINT (Ctrl-C) and SIGTERM (a load is stopped and the unit cleared,
then the port is closed and its settings put back; a second signal ends the
run at once). A load prints its result as the last line: file, route, records
sent, time and what the unit did.
)";

// The global options, each with whether it takes a value.
const OptionTable kGlobal{
    {"--port", "--baud", "--settings-dir", "--ack-timeout", "--channels", "--amp-tracking", "--usb-device"},
    {"--sim", "--no-ack", "--save", "--fixed", "-v", "--verbose", "-h", "--help", "--version"}};

OptionTable optionsFor(const CommandRow* row)
{
    OptionTable options = row ? row->options : OptionTable{};
    options.withValue += kGlobal.withValue;
    options.flags += kGlobal.flags;
    return options;
}

QStringList withoutCommandWords(const QStringList& args, const CommandWords& words)
{
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i)
        if (!words.at.contains(i)) rest << args[i];
    return rest;
}

bool helpAsked(const ParsedArgs& a)
{
    return a.has("-h") || a.has("--help");
}

// --version, --help, COMMAND --help, or no command at all: the exit status
// when one of them answers the run.
std::optional<int> answeredByHelp(const CommandTable& rows, const ParsedArgs& a, const CommandWords& words)
{
    if (a.has("--version")) {
        out(QStringLiteral("plovanctl 3.09"));
        return kDone;
    }
    if (!helpAsked(a) && !words.name.isEmpty()) return std::nullopt;
    if (const CommandRow* row = findRow(rows, words.name))
        out(commandHelp(*row));
    else if (!subCommands(rows, words.name).isEmpty())
        out(groupHelp(rows, words.name));
    else
        std::fputs(qPrintable(kUsageHead + commandList(rows) + kUsageTail), stdout);
    return helpAsked(a) ? kDone : kBadInput;
}

int unknownCommand(const CommandTable& rows, const QString& name)
{
    const QStringList subs = subCommands(rows, name);
    if (subs.isEmpty())
        err(QStringLiteral("unknown command \"%1\" (see plovanctl --help)").arg(name));
    else
        err(QStringLiteral("%1 takes one of: %2 (see plovanctl %1 --help)").arg(name, subs.join(", ")));
    return kBadInput;
}

bool operandCountFits(const CommandRow& row, const ParsedArgs& a)
{
    if (a.operands.size() >= row.minOperands && a.operands.size() <= row.maxOperands) return true;
    err(QStringLiteral("%1: wrong number of arguments (see plovanctl %1 --help)").arg(row.name));
    return false;
}

// Channel boxes ticked from the start: ticking n ticks every box below it.
bool applyChannels(const QString& list, SynthState& state)
{
    int highest = 0;
    for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto n = parseWhole(item);
        if (!n || *n < 1 || *n > 4) {
            err(QStringLiteral("--channels: \"%1\" is not a channel 1-4").arg(item));
            return false;
        }
        highest = std::max(highest, *n);
    }
    for (int i = 0; i < 4; ++i)
        state.channelBox[i] = i < highest;
    state.CtrlReg = (1 << highest) - 1;
    state.AmpMultFact = highest >= 2 ? 2 : 4;
    return true;
}

// A whole number of at least `low` from `option`, or `fallback` without it.
std::optional<int> wholeOption(const ParsedArgs& a, const char* option, int fallback, int low,
                               const char* what)
{
    if (!a.values.contains(option)) return fallback;
    const auto n = parseWhole(a.value(option));
    if (n && *n >= low) return n;
    err(QStringLiteral("%1: \"%2\" is not %3").arg(option, a.value(option), what));
    return std::nullopt;
}

// The port settings of the run: the settings folder's portset.txt, --baud, and --sim or --port.
std::optional<PortSettings> portSettings(const ParsedArgs& a, PortSettings port)
{
    const auto baud = wholeOption(a, "--baud", port.baud, 1, "a baud rate");
    if (!baud) return std::nullopt;
    port.baud = *baud;
    if (a.has("--sim"))
        port.device = QString::fromLatin1(kSimDevice);
    else if (a.values.contains("--port"))
        port = withDevice(port, a.value("--port"));
    return port;
}

// The global options that set the session's state and the link.
bool applyGlobalOptions(const ParsedArgs& a, Session& s, int timeout)
{
    if (a.values.contains("--channels") && !applyChannels(a.value("--channels"), s.state)) return false;
    const QString tracking = a.value("--amp-tracking", QStringLiteral("on"));
    if (tracking != QLatin1String("on") && tracking != QLatin1String("off")) {
        err(QStringLiteral("--amp-tracking takes on or off"));
        return false;
    }
    s.state.ampTracking = tracking == QLatin1String("on");
    s.state.fixedEnable = a.has("--fixed");
    s.link.saveToDds = a.has("--save");
    s.link.setTestMode(a.has("--no-ack"));
    s.link.setAckTimeoutMs(timeout);
    return true;
}

// Messages from the link and the controllers go to stderr; refusals inside
// the controllers are bad input too.
void reportTo(Session& s)
{
    s.hooks.error = [&s](const std::string& m) {
        s.inputError = true;
        err(QString::fromStdString(m));
    };
    s.hooks.warn = [](const std::string& m) { err(QString::fromStdString(m)); };
    // After a stop signal, the refusals of an operation winding down are no news.
    QObject::connect(&s.link, &Link::statusMessage, [&s](const QString& m) {
        if (s.stoppedBy == 0) err(m);
    });
}

void echoTraffic(Link& link)
{
    QObject::connect(&link, &Link::bytesSent, [](const QByteArray& b) {
        std::fprintf(stdout, "> %s\n", QByteArray(b).replace("\r\n", "").constData());
    });
    QObject::connect(&link, &Link::bytesReceived, [](const QByteArray& b) {
        std::fprintf(stdout, "< %s\n", QByteArray(b).replace("\r", "\\r").replace("\n", "\\n").constData());
    });
}

int exitStatus(const Session& s, bool ok)
{
    if (s.stoppedBy != 0) return 128 + s.stoppedBy;
    if (s.inputError) return kBadInput;
    return ok ? kDone : kLinkFailed;
}

int runOnUnit(Session& s, const PortSettings& port, const Operation& operation)
{
    // A backend made already (the simulated unit a USB face shares) is kept.
    useBackendFor(s.link, port);
    // Ctrl-C or SIGTERM: an operation that knows how to stop (a load, which
    // then clears the unit) is stopped; anything else has the port closed at
    // once, which ends every wait and puts back the line's settings as they
    // were before the run. A second signal ends the run at once.
    AppSignals stopSignals;
    if (!stopSignals.install()) err(stopSignals.errorString());
    QObject::connect(&stopSignals, &AppSignals::terminationRequested, [&s](int signo) {
        if (s.stoppedBy != 0) return;
        s.stoppedBy = signo;
        if (s.stop) {
            s.stop(signo);
            return;
        }
        s.link.closePort();
        err(QStringLiteral("stopped by %1; port closed").arg(signalName(signo)));
    });
    if (!s.link.openPort()) {
        err(QStringLiteral("cannot open %1: %2").arg(s.link.backend()->description(), s.link.openError()));
        return kLinkFailed;
    }
    s.link.Connected = true;
    const bool ok = operation();
    // A reply still on its way belongs to this run: let it arrive before closing.
    if (ok && !s.link.TestMode()) s.link.pause(0);
    if (const auto* sim = qobject_cast<sim::SimBackend*>(s.link.backend()))
        out(QString::fromStdString(sim->unit().describeState())); // before a load's result line
    s.link.closePort();
    if (!s.lastLine.isEmpty()) out(s.lastLine);
    return exitStatus(s, ok);
}

// A command of the table, its line parsed: the checks before anything is opened, then the run.
int runRow(const CommandRow& row, const ParsedArgs& a)
{
    if (row.needsUnit && a.has("--sim") == a.values.contains("--port")) {
        err(QStringLiteral("give either --port DEVICE or --sim"));
        return kBadInput;
    }
    Session s;
    // The window's start-up rule, limits included.
    const StartupSettings loaded = LoadSettings(a.value("--settings-dir", settingsDir()));
    s.state.MaxFrequency = loaded.MaxFrequency;
    s.state.MinFrequency = loaded.MinFrequency;
    const auto port = portSettings(a, loaded.port);
    if (!port) return kBadInput;
    const auto timeout = wholeOption(a, "--ack-timeout", Link::kDefaultAckTimeoutMs, 0, "a number of ms");
    if (!timeout || !applyGlobalOptions(a, s, *timeout)) return kBadInput;
    reportTo(s);
    if (!operandCountFits(row, a)) return kBadInput;
    const auto operation = row.prepare(s, a);
    if (!operation) return kBadInput;
    if (a.has("-v") || a.has("--verbose")) echoTraffic(s.link);
    return row.needsUnit ? runOnUnit(s, *port, *operation) : exitStatus(s, (*operation)());
}

} // namespace

int runCommandLine(const QStringList& args, const CommandTable& rows)
{
    if (args.value(0) == QLatin1String("--completion")) {
        if (args.size() != 2 || args[1] != QLatin1String("bash")) {
            err(QStringLiteral("--completion takes one word: bash"));
            return kBadInput;
        }
        std::fputs(qPrintable(bashCompletion(rows, kGlobal, QString::fromLatin1(kUsageHead))), stdout);
        return kDone;
    }
    const CommandWords words = findCommandWords(args, rows, kGlobal.withValue);
    const CommandRow* row = findRow(rows, words.name);
    if (row && row->runAlone) return row->runAlone(args.mid(words.at.last() + 1));

    QString error;
    const auto parsed = parseArgs(withoutCommandWords(args, words), optionsFor(row), &error);
    if (!parsed) {
        err(error);
        return kBadInput;
    }
    if (const auto status = answeredByHelp(rows, *parsed, words)) return *status;
    if (!row) return unknownCommand(rows, words.name);
    return runRow(*row, *parsed);
}

QString signalName(int signo)
{
    if (signo == SIGINT) return QStringLiteral("SIGINT");
    if (signo == SIGTERM) return QStringLiteral("SIGTERM");
    return QStringLiteral("signal %1").arg(signo);
}

int runPlovanctl(const QStringList& args)
{
    return runCommandLine(args, commandRows());
}

} // namespace plovan::cli
