#include "unit_session.h"

#include "backend_factory.h"
#include "connect_sequence.h"
#include "settings_files.h"
#include "unit_commands.h"

#include <algorithm>
#include <utility>

namespace plovan {

QString jobName(Job job)
{
    switch (job) {
    case Job::Connect: return QStringLiteral("Connect");
    case Job::ImageLoad: return QStringLiteral("image load");
    case Job::RawLoad: return QStringLiteral("raw load");
    case Job::MultichirpLoad: return QStringLiteral("multichirp load");
    case Job::LutLoad: return QStringLiteral("LUT load");
    case Job::LutTest: return QStringLiteral("TEST LUT file");
    case Job::UsbImage: return QStringLiteral("USB image load");
    case Job::Batch: return QStringLiteral("batch");
    case Job::Poll: return QStringLiteral("poll loop");
    case Job::Vswr: return QStringLiteral("VSWR sweep");
    case Job::CalPlay: return QStringLiteral("calibration row play");
    case Job::Chirp: return QStringLiteral("chirp programming");
    case Job::Offset: return QStringLiteral("frequency offset");
    case Job::Header: return QStringLiteral("header send");
    case Job::UsbTest: return QStringLiteral("USB test");
    }
    return {};
}

bool isLoad(Job job)
{
    switch (job) {
    case Job::ImageLoad:
    case Job::RawLoad:
    case Job::MultichirpLoad:
    case Job::LutLoad:
    case Job::LutTest:
    case Job::UsbImage:
    case Job::Batch: return true;
    default: return false;
    }
}

Job loadJob(std::string_view kind)
{
    if (kind == "raw") return Job::RawLoad;
    if (kind == "multichirp") return Job::MultichirpLoad;
    if (kind == "LUT") return Job::LutLoad;
    if (kind == "test LUT") return Job::LutTest;
    return Job::ImageLoad;
}

UnitSession::UnitSession(QObject* parent) : QObject(parent)
{
    model_.minFrequency = state.MinFrequency;
    model_.maxFrequency = state.MaxFrequency;
    connect(&link, &Link::bytesSent, this, &UnitSession::lineSent);
    connect(&link, &Link::connectionLost, this, [this] {
        settings.clear();
        setRfOn(std::nullopt);
        forgetUnit(kToneChanged | kChannelsChanged | kControlChanged | kClockChanged | kRampChanged);
    });
    link.lineGuard = [this](std::string_view command) {
        if (interlockLine_.isEmpty()) return QString();
        if (command == cmd::rfOn() || command == controlByteWrite(true, cmd::kControlRfOn))
            return rfOnRefusedMessage();
        return QString();
    };
}

UnitSession::~UnitSession()
{
    link.cancelWaits();
}

void UnitSession::setPortSettings(const PortSettings& settings, bool persist)
{
    portSettings_ = settings;
    if (persist) savedPortSettings_ = settings;
    if (!link.portOpen()) useBackendFor(link, portSettings_);
}

void UnitSession::applyStartup(const StartupSettings& loaded, const QString& portForThisRun)
{
    setPortSettings(loaded.port);
    if (portForThisRun == QLatin1String(kSimDevice)) {
        PortSettings sim = loaded.port;
        sim.device = portForThisRun;
        setPortSettings(sim, false);
    }
    else if (!portForThisRun.isEmpty()) {
        setPortSettings(withDevice(loaded.port, portForThisRun), false);
    }
    setLimits(loaded.MinFrequency, loaded.MaxFrequency);
    if (loaded.terminalText) link.setTerminalText(*loaded.terminalText);
    for (const QString& note : loaded.notes)
        link.terminalLine(note);
}

void UnitSession::baudChanged(int baud)
{
    portSettings_.baud = baud;
    savedPortSettings_.baud = baud;
    if (link.backend()) {
        PortSettings now = link.backend()->settings();
        now.baud = baud;
        link.backend()->setSettings(now);
    }
}

bool UnitSession::openPort()
{
    useBackendFor(link, portSettings_);
    if (link.openPort()) {
        // The settings the port really runs with; the start-up line shows portset.txt.
        link.report(QStringLiteral("Port open: ") + portDescription(portSettings_));
        return true;
    }
    emit link.statusMessage(QStringLiteral("Could not open %1: %2")
                                .arg(link.backend()->description(), link.backend()->errorString()));
    return false;
}

bool UnitSession::connectUnit()
{
    if (!begin(Job::Connect, [this] { link.cancelWaits(); })) return false;
    const bool answered = connectSequence(link, state.Amp2FixeD);
    if (!answered) link.closePort();
    link.Connected = answered;
    end(Job::Connect);
    emit connectionChanged();
    return answered;
}

bool UnitSession::quickConnect()
{
    if (!begin(Job::Connect, [this] { link.cancelWaits(); })) return false;
    const bool answered = shortConnectSequence(link);
    if (answered) link.Connected = true;
    end(Job::Connect);
    emit connectionChanged();
    if (answered && !model_.rfOn.value_or(false) && link.send(cmd::rfOn())) setRfOn(true);
    return answered;
}

void UnitSession::disconnectUnit()
{
    link.closePort();
    link.Connected = false;
    emit connectionChanged();
}

void UnitSession::lineSent(const QByteArray& bytes)
{
    // Keys typed in the terminal go one at a time; a line as a whole otherwise.
    if (bytes.size() == 1) {
        const char c = bytes[0];
        if (c == '\r' || c == '\n')
            typedLineEnded();
        else if (typed_.size() < 256)
            typed_.push_back(c);
        return;
    }
    const unsigned changed =
        tracker_.take(std::string_view(bytes.constData(), std::size_t(bytes.size())), model_);
    if (changed & kToneChanged) emit toneChanged();
    if (changed & kChannelsChanged) emit channelsChanged();
    if (changed & kControlChanged) emit controlChanged();
    if (changed & kClockChanged) emit clockChanged();
    if (changed & kRampChanged) emit rampChanged();
}

void UnitSession::setLimits(int minFrequency, int maxFrequency)
{
    state.MinFrequency = minFrequency;
    state.MaxFrequency = maxFrequency;
    if (model_.minFrequency == minFrequency && model_.maxFrequency == maxFrequency) return;
    model_.minFrequency = minFrequency;
    model_.maxFrequency = maxFrequency;
    emit limitsChanged();
}

void UnitSession::setRfOn(std::optional<bool> on)
{
    if (model_.rfOn == on) return;
    model_.rfOn = on;
    emit rfChanged();
}

void UnitSession::setLastLoad(const TransferResult& load)
{
    model_.lastLoad = load;
    emit loadChanged();
}

std::optional<double> UnitSession::playedMHz(int channel) const
{
    const auto& word = model_.channels.at(std::size_t(channel)).frequencyWord;
    if (!word) return std::nullopt;
    return wordToMHz(*word, state.ClkFreq);
}

bool UnitSession::begin(Job job, std::function<void()> cancel)
{
    yieldToWriter();
    if (job_) {
        link.report(busyMessage());
        return false;
    }
    job_ = job;
    cancel_ = std::move(cancel);
    // A load's lines are its own: nothing else may land between them.
    if (isLoad(job)) link.hold(jobName(job));
    emit jobChanged();
    return true;
}

void UnitSession::end(Job job)
{
    if (job_ != job) return;
    job_.reset();
    cancel_ = nullptr;
    link.release();
    emit jobChanged();
    for (auto& done : std::exchange(whenFree_, {}))
        done();
}

QString UnitSession::busyMessage() const
{
    return job_ ? Link::busyMessage(jobName(*job_)) : QString();
}

bool UnitSession::mayWrite()
{
    yieldToWriter();
    if (!job_) return true;
    link.report(busyMessage());
    return false;
}

void UnitSession::stop(std::function<void()> done)
{
    if (!job_) {
        if (done) done();
        return;
    }
    if (done) whenFree_.push_back(std::move(done));
    if (cancel_) {
        // The cancel may end the job at once; keep it until it has returned.
        const auto cancel = cancel_;
        cancel();
    }
    else {
        link.cancelWaits();
    }
}

void UnitSession::forgetUnit(unsigned parts)
{
    // What the unit holds is no longer what it was told, until it is told again.
    const UnitModel before = model_;
    if (parts & (kToneChanged | kChannelsChanged | kRampChanged)) {
        // The registers are forgotten together: the tracker knows them all or none.
        model_.channels = {};
        model_.channelMask.reset();
        model_.ramp = {};
        tracker_ = UnitModelTracker{};
    }
    if (parts & kControlChanged) {
        model_.controlByte.reset();
        setRfOn(std::nullopt);
    }
    if (parts & kClockChanged) model_.clockWord.reset();
    if (!(before.channels == model_.channels)) emit toneChanged();
    if (before.channelMask && !model_.channelMask) emit channelsChanged();
    if (before.controlByte && !model_.controlByte) emit controlChanged();
    if (before.clockWord && !model_.clockWord) emit clockChanged();
    if (!(before.ramp == model_.ramp)) emit rampChanged();
}

void UnitSession::typedLineEnded()
{
    // The unit's own line editing (a backspace, say) is not known here, so
    // what a typed command changed is not known either: the parts it may
    // have written read "unknown" until set again.
    const std::string line = std::exchange(typed_, {});
    const auto at = line.find('=');
    if (at == std::string::npos) return;
    const bool edited = std::any_of(line.begin(), line.end(), [](char c) { return c < ' ' || c == 0x7F; });
    std::size_t letter = at + 1;
    if (letter < line.size() && line[letter] == cmd::kStoreMark) ++letter;
    const char c = letter < line.size() ? line[letter] : '\0';
    unsigned parts = 0;
    if (edited)
        parts = kToneChanged | kChannelsChanged | kControlChanged | kClockChanged | kRampChanged;
    else if (c == 'D' || c == cmd::kUpdateLetter || c == cmd::kClearLetter || c == cmd::kResetLetter)
        parts = kToneChanged | kChannelsChanged | kRampChanged;
    else if (c == cmd::kControlLetter)
        parts = kControlChanged;
    else if (c == cmd::kClockWordLetter)
        parts = kClockChanged;
    if (parts) forgetUnit(parts);
}

bool UnitSession::mayPoll() const
{
    return !job_ && !pollInFlight_ && !settings.writing() && !link.waiting() && link.portOpen();
}

void UnitSession::yieldToWriter()
{
    // The poll's reply ends it (the monitor clears the flag as the bytes
    // arrive, before the Link looks at its waits again).
    if (pollInFlight_) {
        // Even with "wait for ever" set, a poll's missing reply holds nobody for longer than the default.
        const int timeout = link.ackTimeoutMs();
        if (timeout == 0) link.setAckTimeoutMs(Link::kDefaultAckTimeoutMs);
        (void)link.waitUntil([this] { return !pollInFlight_; }, cmd::readAnalogue());
        link.setAckTimeoutMs(timeout);
    }
    pollInFlight_ = false;
}

QString UnitSession::rfOnRefusedMessage()
{
    return QStringLiteral("RF on refused: the interlock tripped - acknowledge it first");
}

void UnitSession::tripInterlock(const QString& line)
{
    interlockLine_ = line;
    settings.clear();
    if (job_) stop({});
    {
        // Ahead of everything: even a load's hold does not keep these out.
        Link::JobWrite scope(link);
        // The selection goes back as it was (or as the window has it, when unknown).
        const std::uint8_t mask = model_.channelMask.value_or(std::uint8_t(state.CtrlReg & 0xF));
        link.send(cmd::rfOff());
        for (int channel = 0; channel < 4; ++channel) {
            link.send(registerWrite(kRegisterHead, std::uint8_t((1u << channel) << 4), 0x30));
            link.send(registerWrite(kRegisterHead, 0, 0xE3));
            link.send(registerWrite(kRegisterHead, 0, 0xE4));
            // The second amplitude too, whatever "Amp Tracking" says.
            link.send(registerWrite(kRegisterHead, 0, 0xE1));
            link.send(registerWrite(kRegisterHead, 0, 0xE2));
            link.send(cmd::update());
        }
        link.send(registerWrite(kRegisterHead, std::uint8_t(mask << 4), 0x30));
    }
    setRfOn(false);
    link.report(line);
    emit interlockChanged();
}

void UnitSession::acknowledgeInterlock()
{
    if (interlockLine_.isEmpty()) return;
    interlockLine_.clear();
    emit interlockChanged();
}

} // namespace plovan
