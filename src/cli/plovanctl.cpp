#include "plovanctl.h"

#include "channel_controller.h"
#include "chirp_programmer.h"
#include "cli_args.h"
#include "connect_sequence.h"
#include "direct_commands.h"
#include "link.h"
#include "offset_controller.h"
#include "poll_loop.h"
#include "serial_backend.h"
#include "settings_files.h"
#include "sim_backend.h"
#include "sim_server.h"
#include "synth_state.h"
#include "tone_controller.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>
#include <functional>
#include <map>

namespace plovan::cli {

namespace {

void out(const QString& text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
}
void err(const QString& text)
{
    // Some of the window's messages start with a blank.
    std::fprintf(stderr, "plovanctl: %s\n", qPrintable(text.trimmed()));
}

const char* const kUsage = R"(Usage: plovanctl [OPTIONS] COMMAND [ARGS]

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
  -v, --verbose        print every line sent (> ) and every reply (< )
  -h, --help           this text; COMMAND --help for a command
  --version            the version

Commands:
  connect                       the start-up sequence of "Connect"
  tune MHZ [--hires N]          frequency (N: hundredths of a MHz, 0-99)
  phase DEGREES                 phase, 0-360
  amplitude A                   amplitude, 0-1024
  send MHZ DEGREES AMPLITUDE    all three, then trigger and update ("Send")
  channels 1|2|3|4|all|none     one channel, all or none
  command TEXT                  "=" + TEXT, acknowledged
  raw TEXT                      TEXT + CR LF exactly as typed
  int-clock [WORD]              internal clock word (default 0001)
  chirp START STOP RAMP [--unit us|ms|s] [--dwell N] [--amplitude A]
        [--inverse-sinc] [--ext-rf] [--laser] [--ext-trig] [--no-update]
                                calculate and program a chirp ("CHIRP")
  chirp-calc START STOP RAMP [--unit us|ms|s] [--dwell N]
                                the chirp calculation only; needs no unit
  offset KHZ --frequency MHZ [--amplitude A]
                                group 1 at MHZ + KHZ ("Frequency offset")
  poll FILE [--loop N]          send a poll list, N times (default once)
  sim [--delay MS] [--fault F]  run a simulated unit on a pseudo-terminal

Exit status: 0 done; 1 port not opened, no reply in time or connection lost;
2 bad input (nothing sent).
)";

struct CommandHelp {
    const char* synopsis;
    const char* description;
};

const std::map<QString, CommandHelp>& commandHelp()
{
    static const std::map<QString, CommandHelp> help{
        {"connect",
         {"plovanctl [OPTIONS] connect",
          "Sends the start-up sequence of the window's \"Connect\": =r, =p and =D00DF, then\n"
          "the second amplitude into registers E1 and E2, each acknowledged."}},
        {"tune",
         {"plovanctl [OPTIONS] tune MHZ [--hires N]",
          "Writes the frequency word of MHZ (within the limits of maxmin.txt) into both\n"
          "register groups (group 1 only with --fixed), then updates. --hires adds N\n"
          "hundredths of a MHz (0-99)."}},
        {"phase",
         {"plovanctl [OPTIONS] phase DEGREES", "Writes the phase word of DEGREES (0-360), then updates."}},
        {"amplitude",
         {"plovanctl [OPTIONS] amplitude A",
          "Writes the amplitude word of A (0-1024) scaled by the channel count, then updates."}},
        {"send",
         {"plovanctl [OPTIONS] send MHZ DEGREES AMPLITUDE",
          "As the window's \"Send\": frequency, amplitude and phase, then =I and =U."}},
        {"channels",
         {"plovanctl [OPTIONS] channels 1|2|3|4|all|none",
          "Switches on one channel (1-4), all or none: register 30, then =I and =U."}},
        {"command",
         {"plovanctl [OPTIONS] command TEXT",
          "Sends \"=\" + TEXT and waits for the acknowledgement, e.g. command dA3."}},
        {"raw", {"plovanctl [OPTIONS] raw TEXT", "Sends TEXT and CR LF exactly as given, without waiting."}},
        {"int-clock",
         {"plovanctl [OPTIONS] int-clock [WORD]",
          "As \"Int Clock\": =K + WORD (up to four hex digits, padded; default 0001), =k,\n"
          "then the control byte. The \"Loop\" box counts as unticked."}},
        {"chirp",
         {"plovanctl [OPTIONS] chirp START STOP RAMP [--unit us|ms|s] [--dwell N] [--amplitude A]\n"
          "          [--inverse-sinc] [--ext-rf] [--laser] [--ext-trig] [--no-update]",
          "As \"Calculate DeltaF\" then \"CHIRP\": a ramp from START to STOP MHz (neither\n"
          "above the upper limit of maxmin.txt) over RAMP microseconds (--unit ms or s for\n"
          "milliseconds or seconds), with dwell multiplier N (--dwell, default 1). A ramp\n"
          "the calculation refuses is bad input and nothing is sent. Otherwise: =r, =C,\n"
          "the configuration and channel commands, the ramp registers (C4-C5, CA-CB,\n"
          "D0-D2, DA-DC), the amplitude A (0-1024 as the slider; default 512), inverse\n"
          "sinc (register E0), =U, and the status byte from --ext-rf, --laser and\n"
          "--ext-trig. --no-update is \"Chirp no U\": without =r, =C, the channel command\n"
          "and =U. With --save the ramp is stored in flash.\n"
          "Example: plovanctl --port /dev/ttyUSB0 chirp 75 140 20 --ext-trig"}},
        {"chirp-calc",
         {"plovanctl chirp-calc START STOP RAMP [--unit us|ms|s] [--dwell N]",
          "The calculation of \"Calculate DeltaF\" alone, without a unit: prints the dwell\n"
          "time, the number of steps, the step and the stop frequency the ramp reaches:\n"
          "  Dwell Time uS: 0.0064\n"
          "  N Steps: 3125\n"
          "  Delta F (KHz): 20.8\n"
          "  Stop Freq: 140\n"
          "for chirp-calc 75 140 20. A ramp the calculation refuses is bad input."}},
        {"offset",
         {"plovanctl [OPTIONS] offset KHZ --frequency MHZ [--amplitude A]",
          "As \"Send\" in the \"Frequency offset\" window: group 1 (registers 44-47) at MHZ\n"
          "plus KHZ (0-5000 in steps of 0.1), then =U and =E0C; with --amplitude, group\n"
          "1's own amplitude A (0-1024) into registers 63 and 64. MHZ lies within the\n"
          "limits, and so must MHZ + KHZ: above the upper limit nothing is sent.\n"
          "Example: plovanctl --port /dev/ttyUSB0 offset 1000 --frequency 100"}},
        {"poll",
         {"plovanctl [OPTIONS] poll FILE [--loop N]",
          "As \"Go\" in the polling window: sends the commands of FILE (laid out as\n"
          "poll.txt: one command a line without its \"=\", \"*\" ends the list), each\n"
          "acknowledged; --loop N runs the list N times (default 1), reading it afresh on\n"
          "each pass. A missing or malformed list sends nothing."}},
        {"sim",
         {"plovanctl sim [--delay MS] [--fault FAULT]... [--crc MODEL]",
          "Runs a simulated unit on a pseudo-terminal, as plovan-sim does: prints the\n"
          "device path on the first line, then every command it receives."}},
    };
    return help;
}

struct Session {
    Link link;
    SynthState state;
    SynthHooks hooks;
    bool inputError = false;
    sim::SimBackend* sim = nullptr;
};

// The global options, each with whether it takes a value.
const OptionTable kGlobal{
    {"--port", "--baud", "--settings-dir", "--ack-timeout", "--channels", "--amp-tracking"},
    {"--sim", "--no-ack", "--save", "--fixed", "-v", "--verbose", "-h", "--help", "--version"}};

OptionTable withGlobal(OptionTable options)
{
    options.withValue += kGlobal.withValue;
    options.flags += kGlobal.flags;
    return options;
}

// The per-command options.
OptionTable commandOptions(const QString& command)
{
    if (command == QLatin1String("tune")) return withGlobal({{"--hires"}, {}});
    if (command == QLatin1String("chirp"))
        return withGlobal({{"--unit", "--dwell", "--amplitude"},
                           {"--inverse-sinc", "--ext-rf", "--laser", "--ext-trig", "--no-update"}});
    if (command == QLatin1String("chirp-calc")) return withGlobal({{"--unit", "--dwell"}, {}});
    if (command == QLatin1String("offset")) return withGlobal({{"--frequency", "--amplitude"}, {}});
    if (command == QLatin1String("poll")) return withGlobal({{"--loop"}, {}});
    return withGlobal({});
}

// Checks a number operand against a range; reports and returns empty when it fails.
std::optional<double> numberIn(const QString& text, const QString& what, double low, double high)
{
    const auto v = parseNumber(text);
    if (!v) {
        err(QStringLiteral("%1: \"%2\" is not a number").arg(what, text));
        return std::nullopt;
    }
    if (*v < low || *v > high) {
        err(QStringLiteral("%1 %2 is outside %3 to %4").arg(what, text).arg(low).arg(high));
        return std::nullopt;
    }
    return v;
}

// --unit: the ramp time's unit, as the window's options "uS", "mS", "S".
std::optional<RampUnit> rampUnit(const QString& text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("us")) return RampUnit::uS;
    if (t == QLatin1String("ms")) return RampUnit::mS;
    if (t == QLatin1String("s")) return RampUnit::S;
    err(QStringLiteral("--unit takes us, ms or s, not \"%1\"").arg(text));
    return std::nullopt;
}

// The offset in tenths of a kHz, within the offset slider's span: the
// window steps it by 0.1 kHz, so a finer offset is refused, not rounded.
std::optional<int> offsetTenths(const QString& text)
{
    const auto d = parseDecimal(text.toStdString());
    if (!d) {
        if (text.trimmed().startsWith(QLatin1Char('-')))
            err(QStringLiteral("offset: %1 kHz is negative; the offset is 0 to %2 kHz")
                    .arg(text)
                    .arg(OffsetController::SliderSpan));
        else
            err(QStringLiteral("offset: \"%1\" is not a number of kHz").arg(text));
        return std::nullopt;
    }
    // Trailing zeros say nothing: "1000.10" is 1000.1.
    Decimal t = *d;
    while (t.scale > 1 && t.mantissa % 10 == 0) {
        t.mantissa /= 10;
        --t.scale;
    }
    if (t.scale > 1) {
        err(QStringLiteral("offset: %1 kHz is finer than the window's steps of 0.1 kHz").arg(text));
        return std::nullopt;
    }
    const std::uint64_t tenths = t.scale == 1 ? t.mantissa : t.mantissa * 10;
    if (tenths > std::uint64_t{OffsetController::SliderSpan} * 10) {
        err(QStringLiteral("offset: %1 kHz is outside 0 to %2 kHz")
                .arg(text)
                .arg(OffsetController::SliderSpan));
        return std::nullopt;
    }
    return static_cast<int>(tenths);
}

bool wantOperands(const QString& command, const QStringList& operands, qsizetype low, qsizetype high)
{
    if (operands.size() >= low && operands.size() <= high) return true;
    err(QStringLiteral("%1: wrong number of arguments (see plovanctl %1 --help)").arg(command));
    return false;
}

// The limits the window would start with: maxmin.txt, else 140/80.
void loadLimits(const QString& dir, SynthState& state)
{
    if (!QFile::exists(QDir(dir).filePath(QString::fromLatin1(kMaxminFile)))) return;
    const StartupSettings s = LoadSettings(dir);
    state.MaxFrequency = s.MaxFrequency;
    state.MinFrequency = s.MinFrequency;
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

int runSimCommand(const QStringList& rest)
{
    return sim::runSimServer(rest, QStringLiteral("plovanctl sim"));
}

} // namespace

int runPlovanctl(const QStringList& args)
{
    // The command is the first word that is neither an option nor an option's value.
    QString command;
    qsizetype commandAt = -1;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& w = args[i];
        if (!w.startsWith(QLatin1Char('-'))) {
            command = w;
            commandAt = i;
            break;
        }
        if (kGlobal.withValue.contains(w)) ++i;
    }
    if (command == QLatin1String("sim")) return runSimCommand(args.mid(commandAt + 1));

    QString error;
    const auto parsed = parseArgs(command.isEmpty() ? args : args.mid(0, commandAt) + args.mid(commandAt + 1),
                                  commandOptions(command), &error);
    if (!parsed) {
        err(error);
        return kBadInput;
    }
    const ParsedArgs& a = *parsed;
    if (a.has("--version")) {
        out(QStringLiteral("plovanctl 3.09"));
        return kDone;
    }
    if (a.has("-h") || a.has("--help") || command.isEmpty()) {
        const auto it = commandHelp().find(command);
        if (it != commandHelp().end())
            out(QStringLiteral("Usage: %1\n\n%2")
                    .arg(QString::fromLatin1(it->second.synopsis),
                         QString::fromLatin1(it->second.description)));
        else
            std::fputs(kUsage, stdout);
        return command.isEmpty() && !a.has("-h") && !a.has("--help") ? kBadInput : kDone;
    }
    if (!commandHelp().count(command)) {
        err(QStringLiteral("unknown command \"%1\" (see plovanctl --help)").arg(command));
        return kBadInput;
    }
    // The calculation alone talks to no unit.
    const bool usesUnit = command != QLatin1String("chirp-calc");
    if (usesUnit && a.has("--sim") == a.values.contains("--port")) {
        err(QStringLiteral("give either --port DEVICE or --sim"));
        return kBadInput;
    }

    Session s;
    const QString dir = a.value("--settings-dir", settingsDir());
    loadLimits(dir, s.state);
    PortSettings port = LoadSettings(dir).port;
    if (a.values.contains("--baud")) {
        const auto baud = parseWhole(a.value("--baud"));
        if (!baud || *baud <= 0) {
            err(QStringLiteral("--baud: \"%1\" is not a baud rate").arg(a.value("--baud")));
            return kBadInput;
        }
        port.baud = *baud;
    }
    int timeout = Link::kDefaultAckTimeoutMs;
    if (a.values.contains("--ack-timeout")) {
        const auto ms = parseWhole(a.value("--ack-timeout"));
        if (!ms || *ms < 0) {
            err(QStringLiteral("--ack-timeout: \"%1\" is not a number of ms").arg(a.value("--ack-timeout")));
            return kBadInput;
        }
        timeout = *ms;
    }
    if (a.values.contains("--channels") && !applyChannels(a.value("--channels"), s.state)) return kBadInput;
    const QString tracking = a.value("--amp-tracking", QStringLiteral("on"));
    if (tracking != QLatin1String("on") && tracking != QLatin1String("off")) {
        err(QStringLiteral("--amp-tracking takes on or off"));
        return kBadInput;
    }
    s.state.ampTracking = tracking == QLatin1String("on");
    s.state.fixedEnable = a.has("--fixed");
    s.link.saveToDds = a.has("--save");
    s.link.setTestMode(a.has("--no-ack"));
    s.link.setAckTimeoutMs(timeout);

    // Refusals inside the controllers are bad input too.
    s.hooks.error = [&s](const std::string& m) {
        s.inputError = true;
        err(QString::fromStdString(m));
    };
    s.hooks.warn = [](const std::string& m) { err(QString::fromStdString(m)); };
    QObject::connect(&s.link, &Link::statusMessage, [](const QString& m) { err(m); });

    // Check the operands before the port is touched: bad input sends nothing.
    const QStringList& ops = a.operands;
    std::function<bool()> operation;
    ToneController tone(s.link, s.state, s.hooks);
    ChannelController channels(s.link, s.state, s.hooks);
    DirectCommands direct(s.link, s.state);
    ChirpProgrammer chirp(s.link, s.state, s.hooks, tone);
    OffsetController offset(s.link, s.state, s.hooks);
    std::unique_ptr<PollLoop> poll;
    const double maxF = s.state.MaxFrequency, minF = s.state.MinFrequency;
    auto frequencyOk = [&](const QString& text) {
        return numberIn(text, "frequency", minF, maxF).has_value();
    };
    if (command == QLatin1String("connect")) {
        if (!wantOperands(command, ops, 0, 0)) return kBadInput;
        operation = [&] { return connectSequence(s.link, s.state.Amp2FixeD); };
    }
    else if (command == QLatin1String("tune")) {
        if (!wantOperands(command, ops, 1, 1) || !frequencyOk(ops[0])) return kBadInput;
        s.state.Text1 = ops[0].toStdString();
        if (a.values.contains("--hires")) {
            const auto h = parseWhole(a.value("--hires"));
            if (!h || *h < 0 || *h > 99) {
                err(QStringLiteral("--hires takes 0 to 99 hundredths of a MHz"));
                return kBadInput;
            }
            s.state.hiresF = true;
            s.state.Text5 = QString::number(*h).rightJustified(2, QLatin1Char('0')).toStdString();
        }
        operation = [&] { return tone.Tune(); };
    }
    else if (command == QLatin1String("phase")) {
        if (!wantOperands(command, ops, 1, 1) || !numberIn(ops[0], "phase", 0, 360)) return kBadInput;
        s.state.Text2 = ops[0].toStdString();
        operation = [&] { return tone.Phase(); };
    }
    else if (command == QLatin1String("amplitude")) {
        if (!wantOperands(command, ops, 1, 1) || !numberIn(ops[0], "amplitude", 0, 1024)) return kBadInput;
        s.state.Text3 = ops[0].toStdString();
        operation = [&] { return tone.Amplit(); };
    }
    else if (command == QLatin1String("send")) {
        if (!wantOperands(command, ops, 3, 3) || !frequencyOk(ops[0]) || !numberIn(ops[1], "phase", 0, 360) ||
            !numberIn(ops[2], "amplitude", 0, 1024))
            return kBadInput;
        s.state.Text1 = ops[0].toStdString();
        s.state.Text2 = ops[1].toStdString();
        s.state.Text3 = ops[2].toStdString();
        operation = [&] { return tone.Tune() && tone.Amplit() && tone.Phase() && tone.triggerAndUpdate(); };
    }
    else if (command == QLatin1String("channels")) {
        if (!wantOperands(command, ops, 1, 1)) return kBadInput;
        const QString which = ops[0].toLower();
        const auto n = parseWhole(which);
        if (which == QLatin1String("all"))
            operation = [&] { return channels.allChannels(); };
        else if (which == QLatin1String("none"))
            operation = [&] { return channels.noChannels(); };
        else if (n && *n >= 1 && *n <= 4)
            operation = [&, n] { return channels.selectOneChannel(*n); };
        else {
            err(QStringLiteral("channels takes 1, 2, 3, 4, all or none"));
            return kBadInput;
        }
    }
    else if (command == QLatin1String("command")) {
        if (!wantOperands(command, ops, 1, 1)) return kBadInput;
        const std::string text = "=" + ops[0].toStdString();
        operation = [&, text] { return s.link.sendWait(text); };
    }
    else if (command == QLatin1String("raw")) {
        if (!wantOperands(command, ops, 1, 1)) return kBadInput;
        const QByteArray bytes = ops[0].toLatin1() + "\r\n";
        operation = [&, bytes] { return s.link.writeRaw(bytes); };
    }
    else if (command == QLatin1String("int-clock")) {
        if (!wantOperands(command, ops, 0, 1)) return kBadInput;
        QString word = ops.isEmpty() ? QStringLiteral("0001") : ops[0].toUpper().left(4);
        static const QRegularExpression hex(QStringLiteral("^[0-9A-F]{1,4}$"));
        if (!hex.match(word).hasMatch()) {
            err(QStringLiteral("int-clock: \"%1\" is not a hex word of up to four digits").arg(ops.value(0)));
            return kBadInput;
        }
        s.state.IntClkWrd = word.rightJustified(4, QLatin1Char('0')).toStdString();
        operation = [&] { return direct.Command5_Click(); };
    }
    else if (command == QLatin1String("chirp") || command == QLatin1String("chirp-calc")) {
        // Held to the upper limit, as the window caps the stop box; the window
        // sets no lower limit on a chirp (its own default start, 75 MHz, lies
        // below the default lower limit).
        if (!wantOperands(command, ops, 3, 3) || !numberIn(ops[0], "start frequency", 0, maxF) ||
            !numberIn(ops[1], "stop frequency", 0, maxF))
            return kBadInput;
        // The fields as the chirp panel fills them; the calculation checks
        // the ramp time and the dwell multiplier as it does in the window.
        s.state.Text1 = ops[0].toStdString();
        s.state.Text2 = ops[1].toStdString();
        chirp.chirp.Text25 = ops[2].toStdString();
        if (a.values.contains("--unit")) {
            const auto unit = rampUnit(a.value("--unit"));
            if (!unit) return kBadInput;
            chirp.chirp.Option5 = *unit;
        }
        if (a.values.contains("--dwell")) chirp.chirp.Text23 = a.value("--dwell").toStdString();
        chirp.chirp.Slider3 = 512;
        if (a.values.contains("--amplitude")) {
            // The slider moves in whole steps.
            const auto amplitude = parseWhole(a.value("--amplitude"));
            if (!amplitude || *amplitude < 0 || *amplitude > 1024) {
                err(QStringLiteral("--amplitude takes a whole number 0 to 1024"));
                return kBadInput;
            }
            chirp.chirp.Slider3 = *amplitude;
        }
        // "Calculate DeltaF": a ramp it refuses is bad input, and nothing is sent.
        if (!chirp.Command17_Click()) return kBadInput;
        if (command == QLatin1String("chirp-calc")) {
            out(QStringLiteral("Dwell Time uS: %1").arg(QString::fromStdString(chirp.chirp.Text27)));
            out(QStringLiteral("N Steps: %1").arg(QString::fromStdString(chirp.chirp.Text26)));
            out(QStringLiteral("Delta F (KHz): %1").arg(QString::fromStdString(chirp.chirp.Text22)));
            out(QStringLiteral("Stop Freq: %1").arg(QString::fromStdString(s.state.Text2)));
            return kDone;
        }
        chirp.chirp.inverseSinc = a.has("--inverse-sinc");
        chirp.chirp.extRfOn = a.has("--ext-rf");
        chirp.chirp.laserOn = a.has("--laser");
        chirp.chirp.extTrig = a.has("--ext-trig");
        chirp.setSaveToDds(a.has("--save"));
        if (a.has("--no-update"))
            operation = [&] { return chirp.ChirpNoU(); };
        else
            operation = [&] { return chirp.CHIRP(); };
    }
    else if (command == QLatin1String("offset")) {
        if (!wantOperands(command, ops, 1, 1)) return kBadInput;
        if (!a.values.contains("--frequency")) {
            err(QStringLiteral("offset needs --frequency MHZ, the main frequency"));
            return kBadInput;
        }
        const QString mhz = a.value("--frequency");
        const auto tenths = offsetTenths(ops[0]);
        if (!tenths || !frequencyOk(mhz)) return kBadInput;
        const bool withAmplitude = a.values.contains("--amplitude");
        if (withAmplitude && !numberIn(a.value("--amplitude"), "amplitude", 0, 1024)) return kBadInput;
        s.state.Text1 = mhz.trimmed().toStdString();
        // The sum is checked here too, so that a refused offset never opens the port.
        const auto mainMHz = parseDecimal(s.state.Text1);
        if (!mainMHz || aboveLimit(*mainMHz, *tenths, s.state.MaxFrequency)) {
            const double sum = mainMHz ? frequencyMHz(*mainMHz, offsetHundredths(*tenths)) : 0;
            err(QStringLiteral("Outside Frequency Limits! %1 MHz + %2 kHz = %3 MHz is above %4 MHz; "
                               "nothing was sent")
                    .arg(mhz.trimmed(), ops[0].trimmed())
                    .arg(sum, 0, 'g', 15)
                    .arg(s.state.MaxFrequency));
            return kBadInput;
        }
        offset.setOffsetTenths(*tenths);
        if (withAmplitude) offset.Text3 = a.value("--amplitude").trimmed().toStdString();
        operation = [&, withAmplitude] {
            const OffsetController::Outcome sent = offset.offsetFrequencySend();
            if (sent == OffsetController::Outcome::OutsideLimits) s.inputError = true;
            if (sent != OffsetController::Outcome::Sent) return false;
            return !withAmplitude || offset.offsetAmplitudeSend();
        };
    }
    else if (command == QLatin1String("poll")) {
        if (!wantOperands(command, ops, 1, 1)) return kBadInput;
        const auto passes = parseWhole(a.value("--loop", QStringLiteral("1")));
        if (!passes || *passes < 1) {
            err(QStringLiteral("--loop takes a number of passes, 1 or more"));
            return kBadInput;
        }
        poll = std::make_unique<PollLoop>(s.link, ops[0]);
        QObject::connect(poll.get(), &PollLoop::problem, [&s](const QString& m) {
            s.inputError = true;
            err(m);
        });
        if (!poll->checkList()) return kBadInput;
        poll->Loop = true;
        poll->passLimit = *passes;
        operation = [&] { return poll->Go() == PollLoop::End::Finished; };
    }

    if (a.has("-v") || a.has("--verbose")) {
        QObject::connect(&s.link, &Link::bytesSent, [](const QByteArray& b) {
            std::fprintf(stdout, "> %s\n", QByteArray(b).replace("\r\n", "").constData());
        });
        QObject::connect(&s.link, &Link::bytesReceived, [](const QByteArray& b) {
            std::fprintf(stdout, "< %s\n",
                         QByteArray(b).replace("\r", "\\r").replace("\n", "\\n").constData());
        });
    }

    if (a.has("--sim")) {
        auto backend = std::make_unique<sim::SimBackend>();
        s.sim = backend.get();
        s.link.setBackend(std::move(backend));
    }
    else {
        port = withDevice(port, a.value("--port"));
        auto backend = std::make_unique<SerialBackend>();
        backend->setSettings(port);
        s.link.setBackend(std::move(backend));
    }
    if (s.link.openPort() < 1) {
        err(QStringLiteral("cannot open %1: %2")
                .arg(s.link.backend()->description(), s.link.backend()->errorString()));
        return kLinkFailed;
    }
    s.link.Connected = true;
    const bool ok = operation();
    // A reply still on its way belongs to this run: let it arrive before closing.
    if (ok && !s.link.TestMode()) s.link.pause(0);
    if (s.sim) out(QString::fromStdString(s.sim->unit().describeState()));
    s.link.closePort();
    if (s.inputError) return kBadInput;
    return ok ? kDone : kLinkFailed;
}

} // namespace plovan::cli
