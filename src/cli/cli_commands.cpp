#include "cli_commands.h"

#include "batch_folder.h"
#include "cal_file.h"
#include "cal_flatten.h"
#include "cal_player.h"
#include "hex_text.h"

#include "channel_controller.h"
#include "chirp_programmer.h"
#include "cli_checks.h"
#include "cli_serve.h"
#include "cli_unit_rows.h"
#include "clock_word.h"
#include "connect_sequence.h"
#include "direct_commands.h"
#include "frequency_limits.h"
#include "header_words.h"
#include "offset_controller.h"
#include "plovanctl.h"
#include "poll_loop.h"
#include "settings_files.h"
#include "sim_server.h"
#include "table_file.h"
#include "table_send.h"
#include "tone_controller.h"
#include "transfer_runner.h"
#include "usb_choice.h"
#include "usb_route.h"
#include "vswr_sweep.h"
#include "words.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <fstream>
#include <unistd.h>

#include <memory>

// Each prepare function may assume the operand count its row gives. The
// controllers an operation needs are made here and kept alive by it.

namespace plovan::cli {

namespace {

using Prepared = std::optional<Operation>;

// The window's rule for a typed frequency, but where the window would replace
// the frequency, keep it above the upper limit or send it below the lower one,
// plovanctl refuses it (the tune and send help say so).
std::optional<double> frequencyIn(const QString& text, const SynthState& state)
{
    const auto v = parseNumber(text);
    if (!v) return numberIn(text, QStringLiteral("frequency"), 0, 0); // says why
    using Verdict = TypedFrequency::Verdict;
    const Verdict verdict = typedFrequency(*v, state.MinFrequency, state.MaxFrequency).verdict;
    if (verdict == Verdict::Within) return v;
    const QString window =
        verdict == Verdict::Replaced
            ? QStringLiteral("would put %1 in its place").arg(state.MaxFrequency)
            : QString::fromLatin1(verdict == Verdict::Tolerated ? "would keep it" : "would send it");
    err(QStringLiteral("frequency %1 is outside %2 to %3; nothing sent (the window %4)")
            .arg(text)
            .arg(state.MinFrequency)
            .arg(state.MaxFrequency)
            .arg(window));
    return std::nullopt;
}

std::optional<double> amplitudeIn(const QString& text)
{
    return numberIn(text, QStringLiteral("amplitude"), 0, 1024);
}

std::optional<double> phaseIn(const QString& text)
{
    return numberIn(text, QStringLiteral("phase"), 0, 360);
}

std::shared_ptr<ToneController> toneFor(Session& s)
{
    return std::make_shared<ToneController>(s.link, s.state, s.hooks);
}

// --- single tone and channels ---

Prepared prepareConnect(Session& s, const ParsedArgs&)
{
    return [&s] { return connectSequence(s.link, s.state.Amp2FixeD); };
}

Prepared prepareTune(Session& s, const ParsedArgs& a)
{
    if (!frequencyIn(a.operands[0], s.state)) return std::nullopt;
    s.state.frequencyText = a.operands[0].toStdString();
    if (a.values.contains("--hires")) {
        const auto h = parseWhole(a.value("--hires"));
        if (!h || *h < 0 || *h > 99) {
            err(QStringLiteral("--hires takes 0 to 99 hundredths of a MHz"));
            return std::nullopt;
        }
        s.state.hiresF = true;
        s.state.fineFrequencyText = QString::number(*h).rightJustified(2, QLatin1Char('0')).toStdString();
    }
    return [tone = toneFor(s)] { return tone->Tune(); };
}

Prepared preparePhase(Session& s, const ParsedArgs& a)
{
    if (!phaseIn(a.operands[0])) return std::nullopt;
    s.state.phaseText = a.operands[0].toStdString();
    return [tone = toneFor(s)] { return tone->Phase(); };
}

Prepared prepareAmplitude(Session& s, const ParsedArgs& a)
{
    if (!amplitudeIn(a.operands[0])) return std::nullopt;
    s.state.amplitudeText = a.operands[0].toStdString();
    return [tone = toneFor(s)] { return tone->Amplit(); };
}

Prepared prepareSend(Session& s, const ParsedArgs& a)
{
    const QStringList& ops = a.operands;
    if (!frequencyIn(ops[0], s.state) || !phaseIn(ops[1]) || !amplitudeIn(ops[2])) return std::nullopt;
    s.state.frequencyText = ops[0].toStdString();
    s.state.phaseText = ops[1].toStdString();
    s.state.amplitudeText = ops[2].toStdString();
    return [tone = toneFor(s)] {
        return tone->Tune() && tone->Amplit() && tone->Phase() && tone->triggerAndUpdate();
    };
}

Prepared prepareChannels(Session& s, const ParsedArgs& a)
{
    const QString which = a.operands[0].toLower();
    const auto n = parseWhole(which);
    auto channels = std::make_shared<ChannelController>(s.link, s.state, s.hooks);
    if (which == QLatin1String("all")) return [channels] { return channels->allChannels(); };
    if (which == QLatin1String("none")) return [channels] { return channels->noChannels(); };
    if (n && *n >= 1 && *n <= 4) return [channels, n = *n] { return channels->selectOneChannel(n); };
    err(QStringLiteral("channels takes 1, 2, 3, 4, all or none"));
    return std::nullopt;
}

// --- direct commands ---

Prepared prepareCommand(Session& s, const ParsedArgs& a)
{
    return [&s, text = "=" + a.operands[0].toStdString()] { return s.link.sendWait(text); };
}

Prepared prepareRaw(Session& s, const ParsedArgs& a)
{
    return [&s, bytes = a.operands[0].toLatin1() + "\r\n"] { return s.link.writeRaw(bytes); };
}

Prepared prepareIntClock(Session& s, const ParsedArgs& a)
{
    // The whole operand is checked before the window's padding rule, which
    // would cut a longer one to its first four digits.
    const QString typed = a.operands.isEmpty() ? QStringLiteral("0001") : a.operands[0];
    const auto word = !typed.isEmpty() && typed.size() <= qsizetype(kIntClkDigits)
                          ? intClkWord(typed.toStdString())
                          : std::nullopt;
    if (!word) {
        err(QStringLiteral("int-clock: \"%1\" is not a hex word of one to four digits").arg(typed));
        return std::nullopt;
    }
    s.state.IntClkWrd = *word;
    return [direct = std::make_shared<DirectCommands>(s.link, s.state)] { return direct->Command5_Click(); };
}

// --- chirp ---

// The chirp programmer and the tone controller it writes the amplitude through.
struct ChirpParts {
    ToneController tone;
    ChirpProgrammer chirp;
    explicit ChirpParts(Session& s) : tone(s.link, s.state, s.hooks), chirp(s.link, s.state, s.hooks, tone) {}
};

// --amplitude: the slider moves in whole steps; 512 when not given.
std::optional<int> chirpAmplitude(const ParsedArgs& a)
{
    const auto amplitude = parseWhole(a.value("--amplitude", QStringLiteral("512")));
    if (amplitude && *amplitude >= 0 && *amplitude <= 1024) return amplitude;
    err(QStringLiteral("--amplitude takes a whole number 0 to 1024"));
    return std::nullopt;
}

// Fills the fields as the chirp panel does; the calculation checks the ramp
// time and the dwell multiplier as it does in the window.
bool fillChirpFields(Session& s, const ParsedArgs& a, ChirpState& c)
{
    // Held to the upper limit, as the window caps the stop box; the window
    // sets no lower limit on a chirp (its own default start, 75 MHz, lies
    // below the default lower limit).
    const QStringList& ops = a.operands;
    const double maxF = s.state.MaxFrequency;
    if (!numberIn(ops[0], QStringLiteral("start frequency"), 0, maxF) ||
        !numberIn(ops[1], QStringLiteral("stop frequency"), 0, maxF))
        return false;
    s.state.frequencyText = ops[0].toStdString();
    s.state.phaseText = ops[1].toStdString();
    c.rampTimeText = ops[2].toStdString();
    if (a.values.contains("--unit")) {
        const auto unit = rampUnit(a.value("--unit"));
        if (!unit) return false;
        c.rampUnit = *unit;
    }
    if (a.values.contains("--dwell")) c.dwellMultiplierText = a.value("--dwell").toStdString();
    const auto amplitude = chirpAmplitude(a);
    if (!amplitude) return false;
    c.amplitudeSlider = *amplitude;
    return true;
}

// "Calculate DeltaF" on the operands: a ramp it refuses is bad input.
std::shared_ptr<ChirpParts> calculatedChirp(Session& s, const ParsedArgs& a)
{
    auto parts = std::make_shared<ChirpParts>(s);
    if (!fillChirpFields(s, a, parts->chirp.chirp) || !parts->chirp.Command17_Click()) return nullptr;
    return parts;
}

Prepared prepareChirp(Session& s, const ParsedArgs& a)
{
    auto parts = calculatedChirp(s, a);
    if (!parts) return std::nullopt;
    ChirpState& c = parts->chirp.chirp;
    c.inverseSinc = a.has("--inverse-sinc");
    c.extRfOn = a.has("--ext-rf");
    c.laserOn = a.has("--laser");
    c.extTrig = a.has("--ext-trig");
    if (a.has("--no-update")) return [parts] { return parts->chirp.ChirpNoU(); };
    return [parts] { return parts->chirp.CHIRP(); };
}

Prepared prepareChirpCalc(Session& s, const ParsedArgs& a)
{
    auto parts = calculatedChirp(s, a);
    if (!parts) return std::nullopt;
    return [parts, &s] {
        const ChirpState& c = parts->chirp.chirp;
        out(QStringLiteral("Dwell Time uS: %1").arg(QString::fromStdString(c.dwellTimeText)));
        out(QStringLiteral("N Steps: %1").arg(QString::fromStdString(c.nStepsText)));
        out(QStringLiteral("Delta F (KHz): %1").arg(QString::fromStdString(c.deltaFText)));
        out(QStringLiteral("Stop Freq: %1").arg(QString::fromStdString(s.state.phaseText)));
        return true;
    };
}

// --- frequency offset ---

// The sum is checked here too, so that a refused offset never opens the port.
bool offsetSumWithinLimit(const QString& mhz, const QString& khz, int tenths, const SynthState& state)
{
    const auto mainMHz = parseDecimal(mhz.trimmed().toStdString());
    if (mainMHz && !aboveLimit(*mainMHz, tenths, state.MaxFrequency)) return true;
    const double sum = mainMHz ? frequencyMHz(*mainMHz, offsetHundredths(tenths)) : 0;
    err(QStringLiteral("Outside Frequency Limits! %1 MHz + %2 kHz = %3 MHz is above %4 MHz; nothing was sent")
            .arg(mhz.trimmed(), khz.trimmed())
            .arg(sum, 0, 'g', 15)
            .arg(state.MaxFrequency));
    return false;
}

Prepared prepareOffset(Session& s, const ParsedArgs& a)
{
    if (!a.values.contains("--frequency")) {
        err(QStringLiteral("offset needs --frequency MHZ, the main frequency"));
        return std::nullopt;
    }
    const QString mhz = a.value("--frequency");
    const auto tenths = offsetTenths(a.operands[0]);
    if (!tenths || !frequencyIn(mhz, s.state)) return std::nullopt;
    const bool withAmplitude = a.values.contains("--amplitude");
    if (withAmplitude && !amplitudeIn(a.value("--amplitude"))) return std::nullopt;
    if (!offsetSumWithinLimit(mhz, a.operands[0], *tenths, s.state)) return std::nullopt;
    s.state.frequencyText = mhz.trimmed().toStdString();
    auto offset = std::make_shared<OffsetController>(s.link, s.state, s.hooks);
    offset->setOffsetTenths(*tenths);
    if (withAmplitude) offset->group1AmplitudeText = a.value("--amplitude").trimmed().toStdString();
    return [offset, withAmplitude, &s] {
        const OffsetController::Outcome sent = offset->offsetFrequencySend();
        if (sent == OffsetController::Outcome::OutsideLimits) s.inputError = true;
        if (sent != OffsetController::Outcome::Sent) return false;
        return !withAmplitude || offset->offsetAmplitudeSend();
    };
}

// --- polling ---

Prepared preparePoll(Session& s, const ParsedArgs& a)
{
    const auto passes = parseWhole(a.value("--loop", QStringLiteral("1")));
    if (!passes || *passes < 1) {
        err(QStringLiteral("--loop takes a number of passes, 1 or more"));
        return std::nullopt;
    }
    auto poll = std::make_shared<PollLoop>(s.link, a.operands[0]);
    QObject::connect(poll.get(), &PollLoop::problem, [&s](const QString& m) {
        s.inputError = true;
        err(m);
    });
    if (!poll->checkList()) return std::nullopt;
    poll->Loop = true;
    poll->passLimit = *passes;
    return [poll] { return poll->Go() == PollLoop::End::Finished; };
}

// --- the USB route ---

// The route over the device layer --usb-device names; the simulated one
// shares the unit of --sim, or belongs to the plovan-sim on --port.
std::shared_ptr<UsbRoute> usbRouteFor(Session& s, const ParsedArgs& a, bool echo = true)
{
    if (a.has("--sim") && a.values.contains("--port")) {
        err(QStringLiteral("give --port DEVICE or --sim, not both"));
        return nullptr;
    }
    QString error;
    const auto choice = a.values.contains("--usb-device") ? parseUsbChoice(a.value("--usb-device"), &error)
                        : a.has("--sim")                  ? UsbChoice{UsbDeviceKind::Sim, {}}
                                                          : defaultUsbChoice(&error);
    if (!choice) {
        err(error);
        return nullptr;
    }
    PortSettings port;
    if (a.has("--sim"))
        port.device = QString::fromLatin1(kSimDevice);
    else if (a.values.contains("--port"))
        port = withDevice(port, a.value("--port"));
    auto route = std::make_shared<UsbRoute>(s.link);
    route->setDevice(makeFtdiDevice(*choice, s.link, port));
    // The bench tests print what they write to the terminal; a load says
    // what happened in its own lines.
    if (echo) {
        QObject::connect(route.get(), &UsbRoute::output, [](const QString& text) {
            std::fputs(qPrintable(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))),
                       stdout);
            std::fflush(stdout);
        });
    }
    return route;
}

Prepared prepareUsbList(Session& s, const ParsedArgs& a)
{
    auto route = usbRouteFor(s, a);
    if (!route) return std::nullopt;
    return [route] {
        FtdiDevice& device = route->device();
        int count = 0;
        if (device.countDevices(count) != FtStatus::Ok) {
            err(QStringLiteral("cannot list USB devices: ") + device.lastError());
            return false;
        }
        if (count == 0) err(QStringLiteral("no USB device found"));
        bool ok = true;
        for (int i = 0; i < count; ++i) {
            QString description, serial;
            if (device.description(i, description) != FtStatus::Ok ||
                device.serialNumber(i, serial) != FtStatus::Ok) {
                err(QStringLiteral("USB device %1: %2").arg(i).arg(device.lastError()));
                ok = false;
                continue;
            }
            out(QStringLiteral("%1\t%2\t%3").arg(i).arg(description, serial));
        }
        return ok;
    };
}

Prepared prepareUsbTest(Session& s, const ParsedArgs& a)
{
    auto route = usbRouteFor(s, a);
    if (!route) return std::nullopt;
    return [route] {
        route->Command55_Click();
        return route->failures() == 0;
    };
}

Prepared prepareUsbSend(Session& s, const ParsedArgs& a)
{
    const QString command = a.operands[0];
    static const QRegularExpression printable(QStringLiteral("^[ -~]+$"));
    if (!printable.match(command).hasMatch()) {
        err(QStringLiteral("usb send: the command is printable ASCII text, e.g. =v"));
        return std::nullopt;
    }
    auto route = usbRouteFor(s, a);
    if (!route) return std::nullopt;
    return [route, command] {
        route->FtSend(command);
        return route->failures() == 0;
    };
}

// --- header registers ---

// Puts each --word N=HHHH into `words` (N from 1); false on a bad one, said.
template <std::size_t Count> bool applyWords(const ParsedArgs& a, std::array<std::string, Count>& words)
{
    for (const QString& item : a.every.value("--word")) {
        const auto n = parseWhole(item.section(QLatin1Char('='), 0, 0));
        const QString word = item.section(QLatin1Char('='), 1);
        if (!item.contains(QLatin1Char('=')) || !n || *n < 1 || *n > int(Count) ||
            !header::isWord(word.toStdString())) {
            err(QStringLiteral("--word \"%1\": give N=HHHH, N 1-%2 and four hex digits")
                    .arg(item)
                    .arg(Count));
            return false;
        }
        words[std::size_t(*n - 1)] = word.toUpper().toStdString();
    }
    return true;
}

Operation sendAcknowledged(Session& s, std::vector<std::string> lines)
{
    return [&s, lines] { return s.link.sendWaitEach(lines); };
}

Prepared prepareHeader(Session& s, const ParsedArgs& a)
{
    header::PanelWords words = header::panelDefaults();
    if (!applyWords(a, words)) return std::nullopt;
    return sendAcknowledged(s, header::panelLines(words));
}

Prepared prepareExtraHeader(Session& s, const ParsedArgs& a)
{
    header::ExtraWords words = header::extraDefaults();
    if (!applyWords(a, words)) return std::nullopt;
    return sendAcknowledged(s, header::extraLines(words));
}

Prepared prepareHeaderBlocks(Session& s, const ParsedArgs& a)
{
    header::PanelWords words = header::blockDefaults();
    if (!applyWords(a, words)) return std::nullopt;
    std::string error;
    const auto range = header::blockRange(a.operands[0].toStdString(), a.operands[1].toStdString(), &error);
    if (!range) {
        err(QString::fromStdString(error));
        return std::nullopt;
    }
    return sendAcknowledged(s, header::blockLines(*range, words));
}

// --- table files ---

// The findings of the pre-flight check of a table file; empty (and said)
// when the file cannot be read.
std::optional<QStringList> findingLines(const QString& path,
                                        const std::optional<std::vector<table::Finding>>& findings,
                                        const std::string& error)
{
    if (!findings) {
        err(QStringLiteral("%1: cannot be read: %2").arg(path, QString::fromLocal8Bit(error.c_str())));
        return std::nullopt;
    }
    QStringList lines;
    for (const table::Finding& f : *findings)
        lines << path + QStringLiteral(": ") + QString::fromStdString(table::describe(f));
    return lines;
}

std::optional<QStringList> tableFindings(const QString& path, const table::Layout& layout)
{
    std::string error;
    const auto findings = table::checkFile(QFile::encodeName(path).toStdString(), layout, &error);
    return findingLines(path, findings, error);
}

// A calibration file as the LUT send takes it.
std::optional<QStringList> lutFindings(const QString& path)
{
    std::string error;
    const auto findings = table::checkLutFile(QFile::encodeName(path).toStdString(), &error);
    return findingLines(path, findings, error);
}

// A calibration file as the editor reads it, with what it lacks or has too
// much of, each line naming the file; empty (and said) when it cannot be read.
std::optional<std::pair<CalRead, QStringList>> readCal(const QString& path)
{
    std::string error;
    std::optional<CalRead> read = readCalFile(QFile::encodeName(path).toStdString(), &error);
    if (!read) {
        err(QStringLiteral("%1: cannot be read: %2").arg(path, QString::fromLocal8Bit(error.c_str())));
        return std::nullopt;
    }
    QStringList notes;
    for (const std::string& note : read->notes)
        notes << path + QStringLiteral(": ") + QString::fromStdString(note);
    return std::pair{std::move(*read), notes};
}

bool isLut(const QString& kindOrPath)
{
    return kindOrPath == QLatin1String("lut") ||
           kindOrPath.endsWith(QLatin1String(".cal"), Qt::CaseInsensitive);
}

Prepared prepareCheck(Session& s, const ParsedArgs& a)
{
    const QString path = a.operands[0];
    const bool named = a.values.contains("--kind");
    const QString kind = named ? a.value("--kind") : path;
    std::optional<table::Layout> layout;
    if (!isLut(kind)) {
        layout = named ? table::layoutNamed(kind.toStdString()) : table::layoutForPath(path.toStdString());
        if (!layout) {
            err(named ? QStringLiteral("--kind %1: not image, raw, multichirp or lut").arg(kind)
                      : QStringLiteral("%1: the kind of file is not known from its name (.plv, .ird, .mcp, "
                                       ".cal); give --kind")
                            .arg(path));
            return std::nullopt;
        }
    }
    return [&s, path, layout] {
        const auto findings = layout ? tableFindings(path, *layout) : lutFindings(path);
        for (const QString& line : findings.value_or(QStringList{}))
            out(line);
        s.inputError = !findings || !findings->isEmpty();
        return !s.inputError;
    };
}

// A load made ready before the port is opened: its file open and its
// header read. The route outlives the runner that uses it.
struct Load {
    std::shared_ptr<UsbRoute> usb;
    std::unique_ptr<TransferRunner> runner;
};

// A load of `path` with `config`, opened; empty (said) when the file cannot be sent.
std::shared_ptr<Load> openLoad(Session& s, SenderConfig config, const QString& path,
                               std::shared_ptr<UsbRoute> usb = nullptr)
{
    auto load = std::make_shared<Load>();
    load->usb = std::move(usb);
    load->runner = std::make_unique<TransferRunner>(s.link, std::move(config), load->usb.get());
    QString error;
    if (!load->runner->open(path, &error)) {
        err(error);
        return nullptr;
    }
    return load;
}

// Runs an opened load to its end; its messages on stdout, its result held
// as the run's last line. A stop signal stops it and clears the unit. The
// outcome; Error when it could not start (no USB device).
TransferOutcome runLoad(Session& s, TransferRunner& runner)
{
    QObject::connect(&runner, &TransferRunner::message, [&s](const QString& m) { s.print(m); });
    if (::isatty(STDERR_FILENO)) {
        QObject::connect(&runner, &TransferRunner::progress, [&runner](qulonglong done, qulonglong total) {
            std::fprintf(stderr, "\rrecord %llu of %llu, %.0f records/s ", done, total,
                         runner.recordsPerSecond());
            if (done == total) std::fputc('\n', stderr);
        });
        QObject::connect(&runner, &TransferRunner::clearing,
                         [] { std::fputs("\nClearing the unit...\n", stderr); });
    }
    // A signal that came before the load began stops it before anything is sent.
    if (s.stoppedBy != 0) return TransferOutcome::Cancelled;
    QEventLoop loop;
    TransferOutcome outcome = TransferOutcome::Error;
    QObject::connect(&runner, &TransferRunner::finished, &loop, [&](TransferOutcome o) {
        outcome = o;
        loop.quit();
    });
    // The load holds the link: its lines are the only ones the unit gets.
    const Job job = loadJob(runner.kind());
    if (!s.unit.begin(job)) return TransferOutcome::Error;
    QString error;
    if (runner.start(&error)) {
        s.stop = [&runner](int signo) { runner.stop(QStringLiteral("stopped by ") + signalName(signo)); };
        if (runner.running()) loop.exec();
        s.stop = nullptr;
    }
    else {
        outcome = TransferOutcome::Error;
    }
    s.unit.end(job);
    s.unit.setLastLoad(runner.result());
    s.printLast(QString::fromStdString(resultLine(runner.result())));
    return outcome;
}

// --usb: the route of --usb-device; null without --usb. False when it cannot be made.
bool usbOption(Session& s, const ParsedArgs& a, std::shared_ptr<UsbRoute>& usb)
{
    if (a.has("--usb")) usb = usbRouteFor(s, a, false);
    return !a.has("--usb") || usb;
}

// "load image", "load raw" and "load multichirp".
Prepared prepareLoad(Session& s, const ParsedArgs& a, const table::Layout& layout)
{
    const QString path = a.operands[0];
    const auto findings = tableFindings(path, layout);
    if (!findings) return std::nullopt;
    for (const QString& line : *findings)
        err(line);
    if (!findings->isEmpty() && !a.has("--force")) {
        err(QStringLiteral("not sent; --force sends it as it is"));
        return std::nullopt;
    }
    std::shared_ptr<UsbRoute> usb;
    if (!usbOption(s, a, usb)) return std::nullopt;
    const bool overUsb = usb != nullptr;
    auto load = openLoad(s, table::senderFor(layout, overUsb), path, std::move(usb));
    if (!load) return std::nullopt;
    return [&s, load] { return loadedWhole(runLoad(s, *load->runner)); };
}

// Every numbered file is found and checked before the first header block:
// a gap refuses the batch, other findings need --force, as for "load image".
// A cancel, a stop signal or a lost connection stops it after its file.
Prepared prepareBatch(Session& s, const ParsedArgs& a)
{
    const BatchFolder folder(a.operands.value(0, BatchFolder::defaultPath(settingsDir())));
    if (!folder.exists()) {
        err(QStringLiteral("batch folder %1 not found").arg(folder.path()));
        return std::nullopt;
    }
    std::string error;
    const auto range = header::blockRange(a.value("--start", QStringLiteral("0")).toStdString(),
                                          a.value("--end", QStringLiteral("32")).toStdString(), &error);
    if (!range) {
        err(QString::fromStdString(error));
        return std::nullopt;
    }
    const BatchPlan plan = folder.plan();
    for (const QString& line : plan.findings)
        err(line);
    if (plan.refused) {
        err(QStringLiteral("batch not sent"));
        return std::nullopt;
    }
    if (!plan.findings.isEmpty() && !a.has("--force")) {
        err(QStringLiteral("not sent; --force sends it as it is"));
        return std::nullopt;
    }
    std::shared_ptr<UsbRoute> usb;
    if (!usbOption(s, a, usb)) return std::nullopt;
    const auto blocks = sendAcknowledged(s, header::blockLines(*range, header::blockDefaults()));
    return [&s, files = plan.files, blocks, usb] {
        if (!blocks()) return false;
        bool allSent = true;
        for (const QString& path : files) {
            s.print(QFileInfo(path).fileName());
            TransferRunner runner(s.link, table::senderFor(table::kImage, usb != nullptr), usb.get());
            QString why;
            if (!runner.open(path, &why)) {
                s.link.report(why + QStringLiteral(" - batch stopped"));
                return false;
            }
            const TransferOutcome outcome = runLoad(s, runner);
            allSent = loadedWhole(outcome) && allSent;
            if (!BatchFolder::goesOnAfter(outcome) || s.stoppedBy != 0) return false;
        }
        return allSent;
    };
}

// --- calibration files and the LUT load ---

// The rows of a calibration file, its notes said on standard error; empty
// (and said) when it cannot be read.
std::optional<CalRead> calRows(const QString& path)
{
    auto read = readCal(path);
    if (!read) return std::nullopt;
    for (const QString& note : read->second)
        err(note);
    return std::move(read->first);
}

std::optional<int> rowOperand(const QString& text)
{
    const std::optional<int> row = parseWhole(text);
    if (!row || *row < 0 || *row >= kCalLocations) {
        err(QStringLiteral("row \"%1\": give a row 0-255").arg(text));
        return std::nullopt;
    }
    return row;
}

Prepared prepareCalShow(Session&, const ParsedArgs& a)
{
    const std::optional<CalRead> read = calRows(a.operands[0]);
    if (!read) return std::nullopt;
    return [rows = read->rows] {
        for (int i = 0; i < kCalLocations; ++i) {
            const CalRow& row = rows[std::size_t(i)];
            const std::int64_t amplitude = HexValue(row.amplitude);
            const std::int64_t phase = HexValue(row.phase);
            out(QString::asprintf("%3d %7.2f  %-4s %4s  %-4s %3s", i, i * 312.5 / 512, row.amplitude.c_str(),
                                  amplitude >= 0 ? qPrintable(QString::number(amplitude)) : "-",
                                  row.phase.c_str(),
                                  phase >= 0 ? qPrintable(QString::number(phaseDegrees(phase))) : "-"));
        }
        return true;
    };
}

Prepared prepareCalPlay(Session& s, const ParsedArgs& a)
{
    const std::optional<CalRead> read = calRows(a.operands[0]);
    const std::optional<int> row = read ? rowOperand(a.operands[1]) : std::nullopt;
    if (!row) return std::nullopt;
    const auto lines = cal::initLines(locationMHzText(*row), read->rows[std::size_t(*row)], s.state.ClkFreq);
    if (!lines) {
        err(QStringLiteral("row %1 \"%2\" is not hex: not sent")
                .arg(*row)
                .arg(QString::fromStdString(read->rows[std::size_t(*row)].line())));
        return std::nullopt;
    }
    return sendAcknowledged(s, *lines);
}

// A word of at most four hex digits up to `max`, as four digits.
std::optional<std::string> calWord(const ParsedArgs& a, const char* option, std::int64_t max)
{
    const QString text = a.value(QLatin1String(option));
    const std::int64_t v = text.size() <= 4 && !text.isEmpty() ? HexValue(text.toStdString()) : -1;
    if (v < 0 || v > max) {
        err(QStringLiteral("%1 \"%2\": give a hex word 0-%3")
                .arg(QLatin1String(option), text, QString::fromStdString(hex4(max))));
        return std::nullopt;
    }
    return hex4(v);
}

Prepared prepareCalSet(Session& s, const ParsedArgs& a)
{
    const QString path = a.operands[0];
    const bool amplitude = a.values.contains("--amplitude"), phase = a.values.contains("--phase");
    if (!amplitude && !phase) {
        err(QStringLiteral("give --amplitude WORD, --phase WORD or both"));
        return std::nullopt;
    }
    const auto a1 = amplitude ? calWord(a, "--amplitude", 0x0FFF) : std::optional<std::string>("");
    const auto p1 = phase ? calWord(a, "--phase", 0x3FFF) : std::optional<std::string>("");
    const std::optional<int> row = a1 && p1 ? rowOperand(a.operands[1]) : std::nullopt;
    if (!row) return std::nullopt;
    return [&s, path, row = *row, a1 = amplitude ? a1 : std::nullopt, p1 = phase ? p1 : std::nullopt] {
        std::vector<std::string> findings;
        const FileStatus written = setCalRow(path, row, a1, p1, &findings);
        for (const std::string& finding : findings)
            err(path + QStringLiteral(": ") + QString::fromStdString(finding));
        if (!written.ok()) err(written.error);
        // A file refused as it is, is bad input; a failed write is not.
        s.inputError = !findings.empty();
        return written.ok();
    };
}

Prepared prepareCalFlatten(Session&, const ParsedArgs& a)
{
    const QString out = a.value("--out"), cal = a.value("--cal"), targetText = a.value("--target", "max");
    if (cal.isEmpty() || out.isEmpty()) {
        err(QStringLiteral("give the old table (--cal OLD.cal) and the new one (--out NEW.cal)"));
        return std::nullopt;
    }
    if (QFileInfo::exists(out) && !a.has("--replace")) {
        err(QStringLiteral("%1 exists; --replace replaces it").arg(out));
        return std::nullopt;
    }
    flatten::Inputs in;
    const auto path = [](const QString& p) { return QFile::encodeName(p).toStdString(); };
    in.measured = path(a.operands[0]);
    in.cal = path(cal);
    in.db = a.has("--db");
    if (targetText.compare(QLatin1String("max"), Qt::CaseInsensitive) != 0) {
        const std::optional<double> level = parseNumber(targetText);
        if (!level || !(*level > 0) || a.values.contains("--shape")) {
            err(a.values.contains("--shape")
                    ? QStringLiteral("--shape takes --target max: give one or the other")
                    : QStringLiteral("--target \"%1\": give max or a level above 0").arg(targetText));
            return std::nullopt;
        }
        in.kind = flatten::Target::Level;
        in.level = *level;
    }
    if (a.values.contains("--shape")) {
        in.kind = flatten::Target::Shape;
        in.shape = path(a.value("--shape"));
    }
    auto loaded = std::make_shared<flatten::Loaded>(flatten::load(in));
    for (const std::string& finding : loaded->findings)
        err(QString::fromStdString(finding));
    if (!loaded->findings.empty()) {
        err(QStringLiteral("nothing written"));
        return std::nullopt;
    }
    return [loaded, out] {
        const flatten::Plan plan = flatten::flatten(loaded->old, loaded->measured, loaded->target);
        for (const std::string& line : flatten::summary(plan, loaded->target))
            plovan::cli::out(QString::fromStdString(line));
        const FileStatus written = writeCalFile(out, plan.rows);
        if (!written.ok()) {
            err(written.error);
            return false;
        }
        plovan::cli::out(QStringLiteral("written: %1").arg(out));
        return true;
    };
}

Prepared prepareLoadLut(Session& s, const ParsedArgs& a)
{
    const QString path = a.operands[0];
    const auto findings = lutFindings(path);
    if (!findings) return std::nullopt;
    for (const QString& line : *findings)
        err(line);
    if (!findings->isEmpty() && !a.has("--force")) {
        err(QStringLiteral("not sent; --force sends it as it is"));
        return std::nullopt;
    }
    auto load = openLoad(s, lut::serialSender(a.has("--skip-crc")), path);
    if (!load) return std::nullopt;
    // "Send Header" first, as the window does.
    const Operation header = sendAcknowledged(s, header::panelLines(header::panelDefaults()));
    return [&s, load, header] { return header() && runLoad(s, *load->runner) == TransferOutcome::SentOk; };
}

Prepared prepareLoadTestLut(Session& s, const ParsedArgs&)
{
    const QString path = QDir::current().filePath(QString::fromLatin1(lut::kTestFile));
    if (!QFileInfo(path).isFile()) {
        err(QString::fromLatin1(lut::kTestFile) + QStringLiteral(" not found!"));
        return std::nullopt;
    }
    auto load = openLoad(s, lut::testSender(), path);
    if (!load) return std::nullopt;
    return [&s, load] { return runLoad(s, *load->runner) == TransferOutcome::Completed; };
}

// --- VSWR ---

Prepared prepareVswr(Session& s, const ParsedArgs& a)
{
    const QString path = a.operands[0];
    if (path.isEmpty()) {
        err(QStringLiteral("no file name given"));
        return std::nullopt;
    }
    if (QFileInfo::exists(path) && !a.has("--replace")) {
        err(QStringLiteral("%1 exists; --replace replaces it").arg(path));
        return std::nullopt;
    }
    return [&s, path] {
        const auto tone = toneFor(s);
        VswrSweep sweep(s.link, *tone);
        // Here a failed step ends the run; there is no "Next >>" to press.
        sweep.setFailureNote(QStringLiteral(" - not recorded; sweep stopped"));
        QString error;
        if (!sweep.start(path, &error)) {
            err(error);
            s.inputError = true;
            return false;
        }
        QEventLoop loop;
        bool complete = false, ended = false;
        QObject::connect(&sweep, &VswrSweep::recorded, [](int mhz, const vswr::Reading& values) {
            out(QString::fromStdString(vswr::dataLine(mhz, values)).simplified());
        });
        QObject::connect(&sweep, &VswrSweep::stepFailed, &loop, [&] {
            ended = true;
            loop.quit();
        });
        QObject::connect(&sweep, &VswrSweep::finished, &loop, [&](bool whole) {
            complete = whole;
            ended = true;
            loop.quit();
        });
        // A stop signal ends the sweep, whatever it waits for (a reply that
        // with --ack-timeout 0 would never end).
        s.stop = [&](int signo) {
            err(QStringLiteral("stopped by %1").arg(signalName(signo)));
            s.link.cancelWaits();
            ended = true;
            loop.quit();
        };
        sweep.runToEnd();
        if (!ended && s.stoppedBy == 0 && (sweep.running() || sweep.waiting())) loop.exec();
        s.stop = nullptr;
        // A step that failed ends the run: the file keeps the steps before it.
        if (sweep.running()) sweep.stop();
        return complete;
    };
}

int runSim(const QStringList& words)
{
    return sim::runSimServer(words, QStringLiteral("plovanctl sim"));
}

} // namespace

const CommandTable& commandRows()
{
    static const CommandTable rows{
        {.name = "connect",
         .synopsis = "",
         .summary = "the start-up sequence of \"Connect\"",
         .description = "Sends the start-up sequence of the window's \"Connect\": =r, =p and =D00DF, then\n"
                        "the second amplitude into registers E1 and E2, each acknowledged.",
         .prepare = prepareConnect},
        {.name = "tune",
         .synopsis = "MHZ [--hires N]",
         .summary = "frequency (N: hundredths of a MHz, 0-99)",
         .description = "Writes the frequency word of MHZ into both register groups (group 1 only with\n"
                        "--fixed), then updates. --hires adds N hundredths of a MHz (0-99).\n"
                        "MHZ must lie within the limits of maxmin.txt. Where the window would put the\n"
                        "upper limit in place of a frequency more than 2 MHz above it, keep one up to\n"
                        "2 MHz above it, or send one below the lower limit, plovanctl refuses it.",
         .options = {.withValue = {"--hires"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareTune},
        {.name = "phase",
         .synopsis = "DEGREES",
         .summary = "phase, 0-360",
         .description = "Writes the phase word of DEGREES (0-360), then updates.",
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = preparePhase},
        {.name = "amplitude",
         .synopsis = "A",
         .summary = "amplitude, 0-1024",
         .description = "Writes the amplitude word of A (0-1024) scaled by the channel count, then updates.",
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareAmplitude},
        {.name = "send",
         .synopsis = "MHZ DEGREES AMPLITUDE",
         .summary = "all three, then trigger and update (\"Send\")",
         .description = "As the window's \"Send\": frequency, amplitude and phase, then =I and =U.\n"
                        "MHZ must lie within the limits, as for tune: plovanctl refuses where the\n"
                        "window would replace the frequency or send it outside the limits.",
         .minOperands = 3,
         .maxOperands = 3,
         .prepare = prepareSend},
        {.name = "channels",
         .synopsis = "1|2|3|4|all|none",
         .summary = "one channel, all or none",
         .description = "Switches on one channel (1-4), all or none: register 30, then =I and =U.",
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareChannels},
        {.name = "command",
         .synopsis = "TEXT",
         .summary = "\"=\" + TEXT, acknowledged",
         .description = "Sends \"=\" + TEXT and waits for the acknowledgement, e.g. command dA3.",
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareCommand},
        {.name = "raw",
         .synopsis = "TEXT",
         .summary = "TEXT + CR LF exactly as typed",
         .description = "Sends TEXT and CR LF exactly as given, without waiting.",
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareRaw},
        {.name = "int-clock",
         .synopsis = "[WORD]",
         .summary = "internal clock word (default 0001)",
         .description = "As \"Int Clock\": =K + WORD (up to four hex digits, padded; default 0001), =k,\n"
                        "then the control byte. The \"Loop\" box counts as unticked.",
         .maxOperands = 1,
         .prepare = prepareIntClock},
        {.name = "chirp",
         .synopsis = "START STOP RAMP [--unit us|ms|s] [--dwell N] [--amplitude A]\n"
                     "[--inverse-sinc] [--ext-rf] [--laser] [--ext-trig] [--no-update]",
         .summary = "calculate and program a chirp (\"CHIRP\")",
         .description = "As \"Calculate DeltaF\" then \"CHIRP\": a ramp from START to STOP MHz (neither\n"
                        "above the upper limit of maxmin.txt) over RAMP microseconds (--unit ms or s for\n"
                        "milliseconds or seconds), with dwell multiplier N (--dwell, default 1). A ramp\n"
                        "the calculation refuses is bad input and nothing is sent. Otherwise: =r, =C,\n"
                        "the configuration and channel commands, the ramp registers (C4-C5, CA-CB,\n"
                        "D0-D2, DA-DC), the amplitude A (0-1024 as the slider; default 512), inverse\n"
                        "sinc (register E0), =U, and the status byte from --ext-rf, --laser and\n"
                        "--ext-trig. --no-update is \"Chirp no U\": without =r, =C, the channel command\n"
                        "and =U. With --save the ramp is stored in flash.\n"
                        "Example: plovanctl --port /dev/ttyUSB0 chirp 75 140 20 --ext-trig",
         .options = {.withValue = {"--unit", "--dwell", "--amplitude"},
                     .flags = {"--inverse-sinc", "--ext-rf", "--laser", "--ext-trig", "--no-update"}},
         .minOperands = 3,
         .maxOperands = 3,
         .prepare = prepareChirp},
        {.name = "chirp-calc",
         .synopsis = "START STOP RAMP [--unit us|ms|s] [--dwell N]",
         .summary = "the chirp calculation only; needs no unit",
         .description = "The calculation of \"Calculate DeltaF\" alone, without a unit: prints the dwell\n"
                        "time, the number of steps, the step and the stop frequency the ramp reaches:\n"
                        "  Dwell Time uS: 0.0064\n"
                        "  N Steps: 3125\n"
                        "  Delta F (KHz): 20.8\n"
                        "  Stop Freq: 140\n"
                        "for chirp-calc 75 140 20. A ramp the calculation refuses is bad input.",
         .options = {.withValue = {"--unit", "--dwell"}},
         .minOperands = 3,
         .maxOperands = 3,
         .needsUnit = false,
         .prepare = prepareChirpCalc},
        {.name = "offset",
         .synopsis = "KHZ --frequency MHZ [--amplitude A]",
         .summary = "group 1 at MHZ + KHZ (\"Frequency offset\")",
         .description = "As \"Send\" in the \"Frequency offset\" window: group 1 (registers 44-47) at MHZ\n"
                        "plus KHZ (0-5000 in steps of 0.1), then =U and =E0C; with --amplitude, group\n"
                        "1's own amplitude A (0-1024) into registers 63 and 64. MHZ lies within the\n"
                        "limits, and so must MHZ + KHZ: above the upper limit nothing is sent.\n"
                        "Example: plovanctl --port /dev/ttyUSB0 offset 1000 --frequency 100",
         .options = {.withValue = {"--frequency", "--amplitude"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareOffset},
        {.name = "poll",
         .synopsis = "FILE [--loop N]",
         .summary = "send a poll list, N times (default once)",
         .description = "As \"Go\" in the polling window: sends the commands of FILE (laid out as\n"
                        "poll.txt: one command a line without its \"=\", \"*\" ends the list), each\n"
                        "acknowledged; --loop N runs the list N times (default 1), reading it afresh on\n"
                        "each pass. A missing or malformed list sends nothing.",
         .options = {.withValue = {"--loop"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = preparePoll},
        {.name = "check",
         .synopsis = "FILE [--kind image|raw|multichirp|lut]",
         .summary = "check a table file (*.plv, *.ird, *.mcp, *.cal) before it is sent; needs no unit",
         .description = "Reads the whole table file and prints what the unit would not get as the file\n"
                        "means it, one line each: a header that is not hex, a record count the file does\n"
                        "not reach, records that are not 9 (image), 28 (raw) or 36 (multichirp) hex\n"
                        "digits, lines after the last record; for a calibration file, what the LUT send\n"
                        "does with lines that are not eight hex digits, and that it sends every line\n"
                        "whatever their count (the unit's table has 256). The kind comes from the\n"
                        "file's extension (.plv, .ird, .mcp, .cal), or from --kind. Exit status 0 and\n"
                        "nothing printed for a sound file, 2 otherwise.",
         .options = {.withValue = {"--kind"}},
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = prepareCheck},
        {.name = "load image",
         .synopsis = "FILE [--usb] [--force]",
         .summary = "send an image file (*.plv) (\"Send Velmar File...\")",
         .description = "As \"&Send Velmar File...\" on the serial route: =L, the header, then each\n"
                        "record, waiting for the unit's C; prints the verdict (\"Sent OK!\", \"CRC Error.\n"
                        "File send aborted\", \"Error!\", \"Error. File too big.\") or why the send\n"
                        "stopped, and last a result line: file, route, records sent, time and what the\n"
                        "unit did (for a failure its record and letter). The file is checked first; one\n"
                        "with findings is refused unless --force is given, and one that is not a regular\n"
                        "file or has no record count is never sent. Exit status 0 on \"Sent OK!\", 1\n"
                        "otherwise, 2 for a file that cannot be read or fails the check, 130/143 stopped\n"
                        "by a signal (the unit is cleared first). With --usb the records go over the USB\n"
                        "route (--usb-device), 11 bytes each without waiting for replies; the replies are\n"
                        "read as they come and give the same verdict. A failed USB write or read ends\n"
                        "the send (status 1) and the unit is cleared over the serial port.\n"
                        "Example: plovanctl --port /dev/ttyUSB0 load image table.plv",
         .options = {.flags = {"--force", "--usb"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = [](Session& s, const ParsedArgs& a) { return prepareLoad(s, a, table::kImage); }},
        {.name = "load raw",
         .synopsis = "FILE [--usb] [--force]",
         .summary = "send a raw data file (*.ird) (\"Send DataQ...\")",
         .description = "As \"Send DataQ...\": =Q, the header (waiting for its C), then each record,\n"
                        "waiting for the unit's C; prints the verdict (success letter Q) or why the send\n"
                        "stopped, then the result line, with the exit statuses of \"load image\". With\n"
                        "--usb the records go over USB, 30 bytes each without waiting for replies, with\n"
                        "the same verdict.",
         .options = {.flags = {"--force", "--usb"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = [](Session& s, const ParsedArgs& a) { return prepareLoad(s, a, table::kRaw); }},
        {.name = "load multichirp",
         .synopsis = "FILE [--usb] [--force]",
         .summary = "send a multichirp file (*.mcp) (\"Send Multichirp\")",
         .description = "As \"Send Multichirp\": =E2C and =L, each acknowledged, the whole header,\n"
                        "then each record waiting for the unit's @; a record not acknowledged within\n"
                        "the reply time-out is counted and the send goes on. There is no verdict letter:\n"
                        "exit status 0 once every record was acknowledged, 1 when one was not (or the\n"
                        "connection was lost), 2 for a file that cannot be read or fails the check.\n"
                        "With --usb the records go over USB, 38 bytes each without replies (status 0\n"
                        "once every record was written).",
         .options = {.flags = {"--force", "--usb"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = [](Session& s, const ParsedArgs& a) { return prepareLoad(s, a, table::kMultichirp); }},
        {.name = "load lut",
         .synopsis = "FILE [--skip-crc] [--force]",
         .summary = "send a calibration file (*.cal) (\"Send LUT\")",
         .description = "As \"Send LUT\": \"Send Header\" with the panel's defaults, then =F0100 and,\n"
                        "0.2 s later, every line of FILE with the CRC of its first four bytes (not with\n"
                        "--skip-crc), each waiting for the unit's C; prints the verdict (\"Sent OK!\",\n"
                        "\"CRC Error!!\" with \"Error!!\", \"Error!!\") or why the send stopped, then the\n"
                        "result line. Nothing clears the unit after a stop (a LUT load has no abort\n"
                        "sequence). The file is checked first; one with findings is refused unless\n"
                        "--force is given. Exit status 0 on \"Sent OK!\", 1 otherwise, 2 for a file that\n"
                        "cannot be read or fails the check.",
         .options = {.flags = {"--force", "--skip-crc"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareLoadLut},
        {.name = "load test-lut",
         .synopsis = "",
         .summary = "\"TEST LUT file\": load \"0 thisone.cal\" of the working folder",
         .description =
             "As \"TEST LUT file\": =F0100, acknowledged, then every line of \"0 thisone.cal\" in\n"
             "the working folder with its CRC, 0.2 s apart, without waiting for replies. A K or\n"
             "EX among the replies stops it (\"PLOVAN Detected a CRC Error. File load aborted\",\n"
             "status 1); status 2 when the file is not there.",
         .prepare = prepareLoadTestLut},
        {.name = "cal show",
         .synopsis = "FILE",
         .summary = "a calibration file's 256 rows; needs no unit",
         .description = "Prints a row per location: location, frequency in MHz, amplitude word in hex and\n"
                        "decimal, phase word in hex and degrees (\"-\" for a word that is not hex). What\n"
                        "the file lacks or has too much of goes to standard error.",
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = prepareCalShow},
        {.name = "cal play",
         .synopsis = "FILE ROW",
         .summary = "play a calibration row on the unit (the editor's selection)",
         .description = "As selecting ROW (0-255) in \"Edit Calibration\": its frequency word into\n"
                        "registers 44/45 and 84/85, its amplitude into 63/64 and A3/A4, its phase into\n"
                        "80/81, each group followed by =U and =I, every line acknowledged. A row that is\n"
                        "not hex is not sent.",
         .minOperands = 2,
         .maxOperands = 2,
         .prepare = prepareCalPlay},
        {.name = "cal set",
         .synopsis = "FILE ROW [--amplitude WORD] [--phase WORD]",
         .summary = "change a calibration row in its file; needs no unit",
         .description = "As \"Save Record\" and \"Save to Disk\": ROW (0-255) gets the amplitude word\n"
                        "(hex, 0-0FFF) and/or the phase word (hex, 0-3FFF). Only that row's bytes change;\n"
                        "the file is written anew and renamed over the old one, so a failed write (status\n"
                        "1) leaves it whole. A file that does not read cleanly (not 256 lines, another\n"
                        "row not hex, a byte-order mark) is left alone with its findings (status 2).",
         .options = {.withValue = {"--amplitude", "--phase"}},
         .minOperands = 2,
         .maxOperands = 2,
         .needsUnit = false,
         .prepare = prepareCalSet},
        {.name = "cal flatten",
         .synopsis = "MEASURED.csv --cal OLD.cal --out NEW.cal [--target LEVEL|max]\n"
                     "[--shape SHAPE.csv] [--db] [--replace]",
         .summary = "a calibration table that flattens a measured response; needs no unit",
         .description = "As the calibration wizard: MEASURED.csv holds the device's response, a line per\n"
                        "frequency (MHz, then levels in any linear unit; comma, semicolon or tab between\n"
                        "fields, \".\" as decimal point, # comments). A header MHz,A=0FFF,A=0800 names the\n"
                        "amplitude word each column was taken at; one column (header MHz,level or none) was\n"
                        "taken with OLD.cal in force. --db reads the levels as dB. With one column, level\n"
                        "goes as the word squared: new word = old word x sqrt(target / level); with two or\n"
                        "more, the level-versus-word curve at each location is inverted by monotone\n"
                        "interpolation. --target max (the default) is the highest level every measured\n"
                        "location can reach; --target LEVEL a level in the file's unit; --shape SHAPE.csv\n"
                        "(MHz,level) a form raised as high as every location can reach. Locations outside\n"
                        "the measured band keep their words, words above 0FFF become 0FFF, a curve that\n"
                        "does not rise keeps its row, phase words stay; each group is listed with the\n"
                        "predicted flatness. NEW.cal is written anew; an existing one is replaced only\n"
                        "with --replace. A file with findings writes nothing (exit status 2).",
         .options = {.withValue = {"--cal", "--out", "--target", "--shape"}, .flags = {"--db", "--replace"}},
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = prepareCalFlatten},
        {.name = "vswr",
         .synopsis = "FILE [--replace]",
         .summary = "the VSWR sweep, 48-94 MHz, into FILE",
         .description =
             "As \"VSWR\" with \"Run to end\": 24 steps from 48 to 94 MHz, each writing its phase\n"
             "word, tuning the step (C4/C5 and the amplitude) and asking for the readings\n"
             "(=AV); each reply's line goes to FILE as the window writes it, and to standard\n"
             "output. Then =C. An existing FILE is replaced only with --replace. Exit status 1\n"
             "when a step's reply does not come within the time-out or is malformed (the file\n"
             "keeps the steps before it).",
         .options = {.flags = {"--replace"}},
         .minOperands = 1,
         .maxOperands = 1,
         .prepare = prepareVswr},
        {.name = "status",
         .synopsis = "",
         .summary = "what the unit was told: tones, channels, RF, mode and chirp, clock, last load",
         .description = "Prints the unit panel's fields: the connection, per output the frequency played\n"
                        "(from the word sent), phase and amplitude, the channels on, RF/laser, the mode\n"
                        "(single, chirp, multichirp) with the chirp's start, stop, step and dwell, the\n"
                        "control byte, clock word, save to flash, the last load and the interlock. A\n"
                        "field this run has not set reads \"unknown\". The panel's remote clients are\n"
                        "not among them: this run serves none.",
         .prepare = prepareStatus},
        {.name = "monitor",
         .synopsis = kMonitorSynopsis,
         .summary = "forward/reflected readings at an interval, with the RF interlock",
         .description = kMonitorDescription,
         .options = {.withValue = {"--interval", "--duration", "--trip", "--count", "--csv"}},
         .prepare = prepareMonitor},
        {.name = "batch",
         .synopsis = "[DIR] [--start S] [--end E] [--usb] [--force]",
         .summary = "\"Send Batch\": header blocks, then DIR's 1.plv, 2.plv, ...",
         .description = "As \"Send Batch\": the \"Header\" window's blocks S to E (default 0 to 32) with\n"
                        "its default words, then the image files 1.plv, 2.plv, ... of DIR (default: the\n"
                        "settings folder's Multifile), as many as DIR has *.plv entries, each as \"load\n"
                        "image\" (--usb: over USB). Every file is found and checked before the first\n"
                        "header block: a missing number, an unreadable file or an empty folder refuses\n"
                        "the batch (exit status 2); other findings refuse it unless --force. Each\n"
                        "file's name, verdict and result line are printed; a stop signal stops the\n"
                        "batch. Exit status 0 when every file was sent OK.",
         .options = {.withValue = {"--start", "--end"}, .flags = {"--usb", "--force"}},
         .maxOperands = 1,
         .prepare = prepareBatch},
        {.name = "header",
         .synopsis = "[--word N=HHHH]...",
         .summary = "the header panel's \"Send Header\" (28 words)",
         .description = "As \"Send Header\": =C, then the panel's 14 words to header block 00\n"
                        "(000001-00000E) and again to block 10 (100000-10000D), each acknowledged.\n"
                        "--word N=HHHH replaces word N (1-14) of the defaults.",
         .options = {.withValue = {"--word"}},
         .prepare = prepareHeader},
        {.name = "header-blocks",
         .synopsis = "START END [--word K=HHHH]...",
         .summary = "the \"Header\" window's \"Send\": 14 words into blocks START-END",
         .description = "As the \"Header\" window's \"Send\": =C, then its 14 words into each block from\n"
                        "START to END (0-255; an END below START gives START and START + 1). --word\n"
                        "K=HHHH replaces word K (1-14) of the defaults.\n"
                        "Example: plovanctl --port /dev/ttyUSB0 header-blocks 0 32",
         .options = {.withValue = {"--word"}},
         .minOperands = 2,
         .maxOperands = 2,
         .prepare = prepareHeaderBlocks},
        {.name = "extra-header",
         .synopsis = "[--word N=HHHH]...",
         .summary = "the \"Extra Header\" window's \"Send\" (56 words)",
         .description = "As \"Extra Header\" \"Send\": =C, then its 56 words to 00000F-000046, each\n"
                        "acknowledged. --word N=HHHH replaces word N (1-56) of the defaults.",
         .options = {.withValue = {"--word"}},
         .prepare = prepareExtraHeader},
        {.name = "usb list",
         .synopsis = "",
         .summary = "the USB devices: index, description, serial number",
         .description = "Lists the USB devices of the --usb-device layer, one line each: index, description\n"
                        "and serial number, separated by tabs.",
         .needsUnit = false,
         .prepare = prepareUsbList},
        {.name = "usb test",
         .synopsis = "",
         .summary = "the \"FTDI Test\" sequence over USB",
         .description = "As \"FTDI Test\": counts the devices, lists device 0's description and serial\n"
                        "number, opens it, writes =v and prints the unit's reply. Exit status 1 when a\n"
                        "step failed. The serial port is not used.\n"
                        "Example: plovanctl --sim usb test",
         .needsUnit = false,
         .prepare = prepareUsbTest},
        {.name = "usb send",
         .synopsis = "CMD",
         .summary = "CMD over USB (\"FTDI Send\"), with the reply",
         .description = "As \"FTDI Send\": opens device 0, writes the first four bytes of CMD + CR LF\n"
                        "(\"=v\" and its line end), then prints the queue length and the reply.",
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = prepareUsbSend},
        // Its help is the simulated unit's own.
        {.name = "sim",
         .synopsis = "[--delay MS] [--fault FAULT]... [--crc MODEL] [--usb-socket PATH]\n"
                     "[--usb-fault FAULT]...",
         .summary = "run a simulated unit on a pseudo-terminal",
         .needsUnit = false,
         .runAlone = runSim},
        {.name = "serve",
         .synopsis = "[--listen [ADDRESS:]PORT] [--transfer-dir DIR]",
         .summary = "serve the unit to remote SCPI clients over TCP until stopped",
         .needsUnit = false,
         .runAlone = runServe},
    };
    return rows;
}

} // namespace plovan::cli
