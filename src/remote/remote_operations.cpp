// The server's nodes for plovanctl's other operations: each is mapped onto
// the controller the plovanctl row and the window use (ChirpProgrammer,
// OffsetController, DirectCommands, the header lines, the calibration
// player's lines, BatchFolder, VswrSweep), so every face sends the same lines.
// The short ones are one sequence of the client (see submitSequence); batch
// and VSWR run as jobs that *OPC? waits for.
#include "remote_internal.h"

#include "batch_folder.h"
#include "cal_file.h"
#include "cal_player.h"
#include "chirp_programmer.h"
#include "clock_word.h"
#include "connect_sequence.h"
#include "direct_commands.h"
#include "header_words.h"
#include "offset_controller.h"
#include "table_file.h"
#include "tone_controller.h"
#include "words.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>

namespace plovan::remote {

using scpi::Error;
using scpi::Parameter;

namespace {

// A chirp worked out on a copy of the session's state, so the window's
// boxes keep what the operator typed; what the controllers say is kept.
struct RemoteChirp {
    SynthState state;
    SynthHooks hooks;
    std::string said;
    ToneController tone;
    ChirpProgrammer chirp;
    RemoteChirp(Link& link, const SynthState& from)
        : state(from), tone(link, state, hooks), chirp(link, state, hooks, tone)
    {
        hooks.error = [this](const std::string& m) { said = QString::fromStdString(m).trimmed().toStdString(); };
        hooks.warn = [this](const std::string& m) {
            if (said.empty()) said = QString::fromStdString(m).trimmed().toStdString();
        };
    }
};

// The chirp flags as CHIRp takes them, after its numbers.
bool setChirpFlag(ChirpState& c, bool& noUpdate, const std::string& word)
{
    if (word == "ISINC") c.inverseSinc = true;
    else if (word == "EXTRF") c.extRfOn = true;
    else if (word == "LASER") c.laserOn = true;
    else if (word == "EXTTRIG") c.extTrig = true;
    else if (word == "NOUPDATE") noUpdate = true;
    else return false;
    return true;
}

// CHIRp's and CHIRp:CALCulate?'s numbers: start, stop, ramp[, dwell[, amplitude]];
// then, for CHIRp, the flags. Calculated; empty (with `error`) when refused.
std::shared_ptr<RemoteChirp> chirpFrom(Link& link, const SynthState& state, const scpi::Command& command,
                                       bool withFlags, bool& noUpdate, Error& error)
{
    // Held to the upper limit, as the window caps the stop box; a chirp has
    // no lower limit.
    const Limits frequency{0, state.MaxFrequency * 1e6, std::nullopt, "HZ"};
    const auto start = numberAt(command, 0, frequency, error);
    const auto stop = start ? numberAt(command, 1, frequency, error) : std::nullopt;
    const auto ramp = stop ? numberAt(command, 2, Limits{0, 1e6, std::nullopt, "S"}, error) : std::nullopt;
    if (!ramp) return nullptr;
    auto parts = std::make_shared<RemoteChirp>(link, state);
    ChirpState& c = parts->chirp.chirp;
    parts->state.frequencyText = fieldText(*start / 1e6);
    parts->state.phaseText = fieldText(*stop / 1e6);
    const double scale = *ramp >= 1 ? 1 : *ramp >= 1e-3 ? 1e-3 : 1e-6;
    c.rampUnit = *ramp >= 1 ? RampUnit::S : *ramp >= 1e-3 ? RampUnit::mS : RampUnit::uS;
    c.rampTimeText = fieldText(*ramp / scale);
    c.amplitudeSlider = 512;
    std::size_t i = 3;
    for (; i < command.parameters.size() && i < 5 && command.parameters[i].kind == Parameter::Kind::Number; ++i) {
        const auto v = i == 3 ? wholeAt(command, i, Limits{1, 99999, std::nullopt, ""}, error)
                              : wholeAt(command, i, Limits{0, 1024, std::nullopt, ""}, error);
        if (!v) return nullptr;
        if (i == 3)
            c.dwellMultiplierText = std::to_string(*v);
        else
            c.amplitudeSlider = *v;
    }
    for (; i < command.parameters.size(); ++i) {
        const Parameter& p = command.parameters[i];
        if (!withFlags || p.kind != Parameter::Kind::Word || !setChirpFlag(c, noUpdate, p.text)) {
            error = {scpi::kIllegalParameterValue,
                     withFlags ? "ISINC, EXTRF, LASER, EXTTRIG or NOUPDATE expected" : "too many values"};
            return nullptr;
        }
    }
    if (!parts->chirp.Command17_Click()) {
        error = {scpi::kIllegalParameterValue, parts->said.empty() ? "the ramp cannot be made" : parts->said};
        return nullptr;
    }
    parts->said.clear();
    return parts;
}

// The optional "N=HHHH" words from parameter `from` on, into `words` (N from 1).
template <std::size_t Count>
bool applyWords(const scpi::Command& command, std::size_t from, std::array<std::string, Count>& words,
                Error& error)
{
    for (std::size_t i = from; i < command.parameters.size(); ++i) {
        const Parameter& p = command.parameters[i];
        const QString item = QString::fromStdString(p.text);
        bool ok = false;
        const int n = item.section(QLatin1Char('='), 0, 0).toInt(&ok);
        const std::string word = item.section(QLatin1Char('='), 1).toStdString();
        if (p.kind != Parameter::Kind::String || !item.contains(QLatin1Char('=')) || !ok || n < 1 ||
            n > int(Count) || !header::isWord(word)) {
            error = {scpi::kIllegalParameterValue,
                     "\"N=HHHH\" expected, N 1-" + std::to_string(Count) + " and four hex digits"};
            return false;
        }
        words[std::size_t(n - 1)] = QString::fromStdString(word).toUpper().toStdString();
    }
    return true;
}

// A line of text the unit takes after "=": printable, short.
std::optional<std::string> unitText(const scpi::Command& command, Error& error)
{
    const auto text = parameterCount(command, 1, 1, error) ? stringAt(command, 0, error) : std::nullopt;
    static const QRegularExpression printable(QStringLiteral("^[ -~]{1,64}$"));
    if (text && !printable.match(QString::fromStdString(*text)).hasMatch()) {
        error = {scpi::kIllegalParameterValue, "1 to 64 printable characters expected"};
        return std::nullopt;
    }
    return text;
}

} // namespace

QString RemoteServer::pathOf(const std::string& name) const
{
    const QString path = QString::fromStdString(name);
    return path.contains(QLatin1Char('/')) ? path : QDir(transferDir_).filePath(path);
}

void RemoteServer::setChirp(const ClientPtr& client, const scpi::Command& command)
{
    Error error;
    bool noUpdate = false;
    const auto parts = chirpFrom(session_.link, session_.state, command, true, noUpdate, error);
    if (!parts) {
        pushError(client, error);
        return;
    }
    submitSequence(client, Job::Chirp, [parts, noUpdate](std::string& why) {
        const bool ok = noUpdate ? parts->chirp.ChirpNoU() : parts->chirp.CHIRP();
        why = parts->said;
        return ok;
    });
}

void RemoteServer::calculateChirp(const ClientPtr& client, const scpi::Command& command)
{
    Error error;
    bool noUpdate = false;
    const auto parts = chirpFrom(session_.link, session_.state, command, false, noUpdate, error);
    if (!parts) {
        pushError(client, error);
        return;
    }
    // Dwell time in s, steps, step in Hz, the stop frequency the ramp reaches in Hz.
    const ChirpState& c = parts->chirp.chirp;
    const auto number = [](const std::string& text) { return QString::fromStdString(text).toDouble(); };
    const std::string reply = fieldText(number(c.dwellTimeText) * 1e-6) + "," + fieldText(number(c.nStepsText)) +
                              "," + fieldText(number(c.deltaFText) * 1e3) + "," +
                              fieldText(number(parts->state.phaseText) * 1e6);
    answer(client, QByteArray::fromStdString(reply));
}

void RemoteServer::setOffset(const ClientPtr& client, const scpi::Command& command)
{
    // OFFSet <offset>,<frequency>[,<amplitude>]: group 1 at frequency + offset.
    Error error;
    const SynthState& state = session_.state;
    const Limits offsetLimits{0, OffsetController::SliderSpan * 1e3, std::nullopt, "HZ"};
    const auto offset =
        parameterCount(command, 2, 3, error) ? numberAt(command, 0, offsetLimits, error) : std::nullopt;
    const auto main = offset ? numberAt(command, 1, frequencyLimits(state), error) : std::nullopt;
    const auto amplitude =
        main && command.parameters.size() == 3 ? numberAt(command, 2, kAmplitudeLimits, error) : std::nullopt;
    if (!main || (command.parameters.size() == 3 && !amplitude)) {
        pushError(client, error);
        return;
    }
    const long long tenths = std::llround(*offset / 100);
    if (std::abs(*offset - double(tenths) * 100) > 1e-6) {
        pushError(client, {scpi::kIllegalParameterValue, "the offset goes in steps of 100 Hz"});
        return;
    }
    const std::string mainText = fieldText(*main / 1e6);
    const auto mainMHz = parseDecimal(mainText);
    if (!mainMHz || aboveLimit(*mainMHz, int(tenths), state.MaxFrequency)) {
        pushError(client, {scpi::kDataOutOfRange, "Outside Frequency Limits! " + fieldText(*main + *offset) +
                                                        " Hz is above " + std::to_string(state.MaxFrequency) +
                                                        " MHz; nothing was sent"});
        return;
    }
    const std::optional<std::string> amplitudeText =
        amplitude ? std::optional(fieldText(*amplitude)) : std::nullopt;
    submitSequence(client, Job::Offset, [this, mainText, tenths, amplitudeText](std::string& why) {
        SynthState copy = session_.state;
        copy.frequencyText = mainText;
        SynthHooks hooks;
        hooks.error = hooks.warn = [&why](const std::string& m) { why = m; };
        OffsetController offset(session_.link, copy, hooks);
        offset.setOffsetTenths(int(tenths));
        if (amplitudeText) offset.group1AmplitudeText = *amplitudeText;
        if (offset.offsetFrequencySend() != OffsetController::Outcome::Sent) return false;
        return !amplitudeText || offset.offsetAmplitudeSend();
    });
}

void RemoteServer::setClock(const ClientPtr& client, const scpi::Command& command)
{
    Error error;
    if (!parameterCount(command, 1, 1, error)) {
        pushError(client, error);
        return;
    }
    // "1F40" as a string; a word that happens to be all letters ("ABCD") too.
    const Parameter& p = command.parameters[0];
    const auto word = (p.kind == Parameter::Kind::String || p.kind == Parameter::Kind::Word) &&
                              !p.text.empty() && p.text.size() <= kIntClkDigits
                          ? intClkWord(p.text)
                          : std::nullopt;
    if (!word) {
        pushError(client, {scpi::kIllegalParameterValue, "a clock word of one to four hex digits expected"});
        return;
    }
    submitSequence(client, std::nullopt, [this, word = *word](std::string&) {
        session_.state.IntClkWrd = word;
        DirectCommands direct(session_.link, session_.state);
        return direct.Command5_Click();
    });
}

void RemoteServer::sendHeader(const ClientPtr& client, int node, const scpi::Command& command)
{
    Error error;
    std::vector<std::string> lines;
    if (node == kHeader) {
        header::PanelWords words = header::panelDefaults();
        if (applyWords(command, 0, words, error)) lines = header::panelLines(words);
    }
    else if (node == kExtraHeader) {
        header::ExtraWords words = header::extraDefaults();
        if (applyWords(command, 0, words, error)) lines = header::extraLines(words);
    }
    else {
        header::PanelWords words = header::blockDefaults();
        const Limits block{0, 255, std::nullopt, ""};
        const auto start = wholeAt(command, 0, block, error);
        const auto end = start ? wholeAt(command, 1, block, error) : std::nullopt;
        std::string why;
        const auto range =
            end ? header::blockRange(std::to_string(*start), std::to_string(*end), &why) : std::nullopt;
        if (end && !range) error = {scpi::kIllegalParameterValue, why};
        if (range && applyWords(command, 2, words, error)) lines = header::blockLines(*range, words);
    }
    if (lines.empty()) {
        pushError(client, error);
        return;
    }
    submitSequence(client, Job::Header, [this, lines](std::string&) { return session_.link.sendWaitEach(lines); });
}

void RemoteServer::playCalRow(const ClientPtr& client, const scpi::Command& command)
{
    // CALibration:PLAY "<file>",<row>: the editor's selection of the row.
    Error error;
    const auto name = parameterCount(command, 2, 2, error) ? stringAt(command, 0, error) : std::nullopt;
    const auto row = name ? wholeAt(command, 1, Limits{0, kCalLocations - 1, std::nullopt, ""}, error)
                          : std::nullopt;
    if (!row) {
        pushError(client, error);
        return;
    }
    std::string why;
    const auto read = readCalFile(QFile::encodeName(pathOf(*name)).toStdString(), &why);
    if (!read) {
        pushError(client, {scpi::kIllegalParameterValue, *name + ": cannot be read: " + why});
        return;
    }
    const CalRow& calRow = read->rows[std::size_t(*row)];
    const auto lines = cal::initLines(locationMHzText(*row), calRow, session_.state.ClkFreq);
    if (!lines) {
        pushError(client, {scpi::kIllegalParameterValue,
                             "row " + std::to_string(*row) + " \"" + calRow.line() + "\" is not hex: not sent"});
        return;
    }
    submitSequence(client, Job::CalPlay,
                   [this, lines = *lines](std::string&) { return session_.link.sendWaitEach(lines); });
}

void RemoteServer::sendDirect(const ClientPtr& client, int node, const scpi::Command& command)
{
    Error error;
    if (node == kStartup) {
        if (!parameterCount(command, 0, 0, error)) {
            pushError(client, error);
            return;
        }
        submitSequence(client, Job::Connect,
                       [this](std::string&) { return connectSequence(session_.link, session_.state.Amp2FixeD); });
        return;
    }
    const auto text = unitText(command, error);
    if (!text) {
        pushError(client, error);
        return;
    }
    if (node == kDiagCommand)
        submitSequence(client, std::nullopt, [this, line = "=" + *text](std::string&) {
            return session_.link.sendWait(line);
        });
    else
        submitSequence(client, std::nullopt, [this, bytes = QByteArray::fromStdString(*text) + "\r\n"](
                                                 std::string&) { return session_.link.writeRaw(bytes); });
}

void RemoteServer::readData(const ClientPtr& client, const scpi::Command& command)
{
    // MMEMory:DATA? "<name>": a regular file of the transfer folder, as a block.
    Error error;
    const auto name = parameterCount(command, 1, 1, error) ? stringAt(command, 0, error) : std::nullopt;
    if (name && !safeName(QString::fromStdString(*name)))
        error = {scpi::kIllegalParameterValue, "a file name without folders expected"};
    if (error.code != scpi::kNoError) {
        pushError(client, error);
        return;
    }
    const QString path = pathOf(*name);
    QFile file(path);
    const char* why = !QFileInfo(path).isFile()                                ? "no such file"
                      : QFileInfo(path).size() > qint64(scpi::Framer::kMaxBlock) ? "larger than 16 MiB"
                      : !file.open(QIODevice::ReadOnly)                          ? "cannot be read"
                                                                                 : nullptr;
    if (why) {
        pushError(client, {scpi::kIllegalParameterValue, *name + ": " + why});
        return;
    }
    const QByteArray bytes = file.readAll();
    const QByteArray length = QByteArray::number(bytes.size());
    answer(client, "#" + QByteArray::number(length.size()) + length + bytes);
}

void RemoteServer::startBatch(const ClientPtr& client, const scpi::Command& command)
{
    // BATCh ["<folder>"][,<start>,<end>]: the transfer folder when none is named.
    Error error;
    const bool named = !command.parameters.empty() && command.parameters[0].kind == Parameter::Kind::String;
    const std::size_t first = named ? 1 : 0;
    const Limits block{0, 255, std::nullopt, ""};
    std::optional<header::BlockRange> range;
    if (parameterCount(command, first, first + 2, error) && command.parameters.size() == first + 1)
        error = {scpi::kMissingParameter, "<start>,<end> expected"};
    else if (error.code == scpi::kNoError) {
        const auto start = command.parameters.size() > first ? wholeAt(command, first, block, error) : 0;
        const auto end = start && command.parameters.size() > first ? wholeAt(command, first + 1, block, error)
                         : start                                    ? std::optional(32)
                                                                    : std::nullopt;
        std::string why;
        if (end) range = header::blockRange(std::to_string(*start), std::to_string(*end), &why);
        if (end && !range) error = {scpi::kIllegalParameterValue, why};
    }
    if (!range) {
        pushError(client, error);
        return;
    }
    const BatchFolder folder(named ? pathOf(command.parameters[0].text) : transferDir_);
    if (!folder.exists()) {
        pushError(client, 
            {scpi::kIllegalParameterValue, "batch folder " + folder.path().toStdString() + " not found"});
        return;
    }
    // Every file checked before the first header block; any finding refuses it.
    const BatchPlan plan = folder.plan();
    for (const QString& line : plan.findings)
        pushError(client, {scpi::kIllegalParameterValue, line.toStdString()});
    if (!plan.findings.isEmpty() || !mayWrite(client)) return;
    auto batch = std::make_unique<Load>();
    batch->job = Job::Batch;
    batch->files = plan.files;
    Load* raw = batch.get();
    if (!beginWork(client, std::move(batch), [this, raw] {
            raw->cancelled = true;
            if (raw->runner)
                raw->runner->cancel();
            else
                session_.link.cancelWaits();
        }))
        return;
    bool written = false;
    {
        const Link::JobWrite ownWrites(session_.link);
        written = session_.link.sendWaitEach(header::blockLines(*range, header::blockDefaults()));
    }
    if (raw != load_.get()) return; // ended meanwhile (stopped)
    if (!written) {
        workError(raw, "Header blocks not written - batch stopped");
        endWork(raw);
        return;
    }
    nextBatchFile(raw, true);
}

void RemoteServer::nextBatchFile(Load* load, bool goesOn)
{
    if (!goesOn || load->cancelled) {
        workError(load, "Batch stopped at " + std::to_string(load->next) + ".plv");
        endWork(load);
        return;
    }
    if (load->next >= load->files.size()) {
        endWork(load);
        return;
    }
    const QString path = load->files.at(load->next++);
    startFile(load, path, table::senderFor(table::kImage, false));
}

void RemoteServer::startVswr(const ClientPtr& client, const scpi::Command& command)
{
    // VSWR "<name>"[,REPLace]: the readings into a file of the transfer folder.
    Error error;
    const auto name = parameterCount(command, 1, 2, error) ? stringAt(command, 0, error) : std::nullopt;
    const bool replace = command.parameters.size() == 2 && command.parameters[1].kind == Parameter::Kind::Word &&
                         (command.parameters[1].text == "REPL" || command.parameters[1].text == "REPLACE");
    if (name && command.parameters.size() == 2 && !replace)
        error = {scpi::kIllegalParameterValue, "REPLace expected"};
    else if (name && !safeName(QString::fromStdString(*name)))
        error = {scpi::kIllegalParameterValue, "a file name without folders expected"};
    if (error.code != scpi::kNoError || !name) {
        pushError(client, error);
        return;
    }
    const QString path = QDir(transferDir_).filePath(QString::fromStdString(*name));
    if (QFileInfo::exists(path) && !replace) {
        pushError(client, {scpi::kIllegalParameterValue, *name + " exists; VSWR \"" + *name +
                                                               "\",REPLace replaces it"});
        return;
    }
    if (!mayWrite(client)) return;
    QDir().mkpath(transferDir_);
    auto work = std::make_unique<Load>();
    work->job = Job::Vswr;
    work->sweep = std::make_unique<VswrSweep>(session_.link, session_.tone);
    Load* raw = work.get();
    VswrSweep* sweep = raw->sweep.get();
    if (!beginWork(client, std::move(work), [sweep] { sweep->stop(); })) return;
    // A failed step ends the sweep here; there is no "Next >>" to press.
    sweep->setFailureNote(QStringLiteral(" - not recorded; sweep stopped"));
    connect(sweep, &VswrSweep::stepFailed, this, [this, raw](int, const QString& why) {
        workError(raw, why.toStdString());
        raw->said = true;
        QTimer::singleShot(0, this, [this, raw] {
            if (raw == load_.get() && raw->sweep) raw->sweep->stop();
        });
    });
    connect(sweep, &VswrSweep::finished, this, [this, raw](bool complete) {
        if (!complete && !raw->said)
            workError(raw, "VSWR sweep stopped: " + std::to_string(raw->sweep->linesWritten()) + " steps written");
        endWork(raw);
    });
    QString why;
    if (!sweep->start(path, &why)) {
        workError(raw, why.toStdString());
        endWork(raw);
        return;
    }
    sweep->runToEnd();
}

} // namespace plovan::remote
