#include "direct_commands.h"

#include "command_line.h"
#include "hex_text.h"
#include "link.h"
#include "synth_state.h"
#include "unit_commands.h"
#include "unit_protocol.h"

#include <cctype>
#include <optional>

namespace plovan {

namespace {

// One or two hex digits typed in a test box as a byte; empty when the text
// is not a hex byte.
std::optional<std::uint8_t> hexByteArgument(std::string_view text)
{
    if (text.empty() || text.size() > 2) return std::nullopt;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    return static_cast<std::uint8_t>(HexValue(text));
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString aboutText(const QString& VerSion)
{
    return QStringLiteral("Velmar Plovan Driver ") + VerSion + QStringLiteral("\n\r") +
           QStringLiteral("Any problems or suggestions please mail ") + QLatin1String(kSupportAddress);
}

// Marks a long series as running for its lifetime; a second one is refused
// while the first runs, so one "Stop" always means the series on screen.
class DirectCommands::LongRun {
public:
    LongRun(DirectCommands& owner, const char* name) : owner_(owner), name_(name)
    {
        if (owner_.longRun_) {
            owner_.link_.terminalLine(
                QStringLiteral("%1 not started: another test series is running").arg(name_));
            return;
        }
        active_ = true;
        owner_.longRun_ = true;
        owner_.stop_ = false;
        emit owner_.longRunChanged(true);
    }
    ~LongRun()
    {
        if (!active_) return;
        if (owner_.stop_) owner_.link_.terminalLine(QStringLiteral("%1 stopped").arg(name_));
        owner_.longRun_ = false;
        owner_.stop_ = false;
        emit owner_.longRunChanged(false);
    }
    LongRun(const LongRun&) = delete;
    LongRun& operator=(const LongRun&) = delete;
    explicit operator bool() const { return active_; }

private:
    DirectCommands& owner_;
    QString name_;
    bool active_ = false;
};

DirectCommands::DirectCommands(Link& link, SynthState& state, QObject* parent)
    : QObject(parent), link_(link), state_(state)
{
}

void DirectCommands::cancel()
{
    stop_ = longRun_;
    link_.cancelWaits();
}

bool DirectCommands::sendThenWait(std::string_view command)
{
    return link_.send(command) && proceeds(link_.waitAck(command));
}

bool DirectCommands::breathe(int sent)
{
    if (stop_) return false;
    // Waits that find their "@" already in hand never enter the event loop,
    // and unwaited sends never do: look at the queue now and then.
    if (sent % kSendsPerBreath == 0 && link_.pause(0) == WaitResult::Cancelled) return false;
    return !stop_;
}

bool DirectCommands::refuse(const QString& why)
{
    link_.report(why);
    return false;
}

bool DirectCommands::Command2_Click()
{
    return link_.send(cmd::trigger());
}

bool DirectCommands::Command3_Click()
{
    if (hooks.untickInvSync) hooks.untickInvSync();
    return link_.sendWait(cmd::clear());
}

bool DirectCommands::Command4_Click()
{
    const bool on = hooks.laserOn ? hooks.laserOn() : laserOn_;
    if (!link_.send(on ? cmd::rfOff() : cmd::rfOn())) return on;
    laserOn_ = !on;
    if (hooks.showLaser) hooks.showLaser(laserOn_);
    return laserOn_;
}

bool DirectCommands::Command5_Click()
{
    if (!link_.sendWait(cmd::clockWord(state_.IntClkWrd)) || !link_.sendWait(cmd::clockRun())) return false;
    if (!link_.send(cmd::controlIntClock(loopTicked))) return false;
    return Check16_Click();
}

bool DirectCommands::Command9_Click()
{
    return link_.send(cmd::reset());
}

bool DirectCommands::Command13_Click()
{
    // The mask sits in the upper four bits of register 30.
    const auto data = static_cast<std::uint8_t>((state_.CtrlReg & 0xF) << 4);
    return link_.send(registerWrite(kRegisterHead, data, 0x30)) && link_.send(cmd::update());
}

bool DirectCommands::Command16_Click()
{
    return link_.send(cmd::clearFlash());
}

void DirectCommands::Command21_Click()
{
    link_.clearTerminal();
}

bool DirectCommands::Command23_Click()
{
    return link_.send(cmd::readAnalogue());
}

bool DirectCommands::Command24_Click()
{
    LongRun run(*this, "Lodsa U");
    if (!run) return false;
    for (int n = 1; n <= kLodsaCount; ++n)
        if (!link_.sendWait(cmd::update()) || !breathe(n)) return false;
    return true;
}

bool DirectCommands::Command25_Click(std::string_view data, std::string_view reg)
{
    const auto d = hexByteArgument(data);
    const auto r = hexByteArgument(reg);
    if (!d || !r)
        return refuse(QStringLiteral("Command25 not sent: data \"%1\" and register \"%2\" must be hex bytes")
                          .arg(latin1(data), latin1(reg)));
    LongRun run(*this, "Command25");
    if (!run) return false;
    const std::string command = registerWrite(kRegisterHead, *d, *r);
    for (int n = 1; n <= kLodsaCount; ++n)
        if (!link_.sendWait(command) || !breathe(n)) return false;
    return true;
}

bool DirectCommands::Command26_Click()
{
    return link_.sendWait(cmd::readStatus()) && link_.sendWait(cmd::daValue(0x000)) &&
           link_.sendWait(cmd::readAnalogue()) && link_.sendWait(cmd::daValue(0xFFF)) &&
           link_.sendWait(cmd::readAnalogue());
}

bool DirectCommands::Command27_Click()
{
    return link_.sendWait(cmd::daValue(0xFFF)) && link_.sendWait(cmd::readAnalogue());
}

bool DirectCommands::Command28_Click()
{
    return link_.send(cmd::readStatus());
}

bool DirectCommands::Command29_Click()
{
    return link_.send(cmd::linkStart());
}

bool DirectCommands::Command30_Click()
{
    return link_.sendWait(cmd::testPattern(0x00));
}

bool DirectCommands::Command31_Click()
{
    return link_.sendWait(cmd::testPattern(0xFF));
}

bool DirectCommands::Command32_Click()
{
    return link_.sendWait(cmd::outputPort(0x00));
}

bool DirectCommands::Command33_Click()
{
    return link_.sendWait(cmd::outputPort(0xFF));
}

bool DirectCommands::Command34_Click()
{
    return link_.sendWait(cmd::test(cmd::Test::I));
}

bool DirectCommands::Command35_Click()
{
    return link_.sendWait(registerRead(0xA3)) && link_.sendWait(registerRead(0xA4));
}

bool DirectCommands::Command36_Click()
{
    if (!link_.sendWait(cmd::test(cmd::Test::N))) return false;
    if (link_.pause(nPauseMs) == WaitResult::Cancelled) return false;
    return sendThenWait(cmd::test(cmd::Test::N));
}

bool DirectCommands::Command37_Click()
{
    LongRun run(*this, "LED");
    if (!run) return false;
    const auto step = [this] { return link_.pause(ledStepMs) != WaitResult::Cancelled && !stop_; };
    if (!link_.sendWait(cmd::outputPort(0x00))) return false;
    // A single lit output walks from bit 0 to bit 7.
    for (int bit = 0; bit < 8; ++bit)
        if (!step() || !link_.sendWait(cmd::outputPort(static_cast<std::uint8_t>(1 << bit)))) return false;
    if (!step()) return false;
    link_.RecATFlag = false;
    return link_.send(cmd::outputPort(0x00));
}

bool DirectCommands::Command38_Click()
{
    return link_.sendWait(cmd::controlReadback()) && link_.sendWait(cmd::writeMode(true));
}

bool DirectCommands::Command39_Click()
{
    return link_.sendWait(cmd::memoryFill(0xFF));
}

bool DirectCommands::Command40_Click()
{
    return link_.sendWait(cmd::memoryFill(0x00));
}

bool DirectCommands::ampReadback(int amplitude)
{
    if (hooks.setAmplitudeSlider) hooks.setAmplitudeSlider(amplitude);
    return Command35_Click();
}

bool DirectCommands::Command43_Click()
{
    return ampReadback(1024);
}

bool DirectCommands::Command44_Click()
{
    return ampReadback(0);
}

bool DirectCommands::Command45_Click()
{
    return link_.send(cmd::test(cmd::Test::T));
}

bool DirectCommands::Command46_Click(std::string_view reg)
{
    const auto r = hexByteArgument(reg);
    if (!r)
        return refuse(
            QStringLiteral("Command46 not sent: register \"%1\" must be a hex byte").arg(latin1(reg)));
    return link_.sendWait(registerRead(*r));
}

bool DirectCommands::Command47_Click()
{
    LongRun run(*this, "Command47");
    if (!run) return false;
    for (int n = 1; n <= 255; ++n)
        if (!link_.send(registerWrite(kRegisterHead, static_cast<std::uint8_t>(n), 0x44)) || !breathe(n))
            return false;
    return true;
}

bool DirectCommands::Command49_Click()
{
    // The two "=U" waits do not clear the flag: the "@" of the command before
    // them ends them, as the bench test has always run.
    return link_.sendWait(cmd::rfOff()) && sendThenWait(cmd::update()) &&
           link_.sendWait(registerWrite(kRegisterHead, 0x1E, 0x44)) && sendThenWait(cmd::update()) &&
           link_.sendWait(cmd::rfOff());
}

bool DirectCommands::Command51_Click()
{
    return link_.sendWait(cmd::update(link_.saveToDds));
}

void DirectCommands::Command53_Click()
{
    if (PortBackend* backend = link_.backend()) {
        PortSettings s = backend->settings();
        s.baud = kFastBaud;
        backend->setSettings(s);
    }
    if (hooks.baudChanged) hooks.baudChanged(kFastBaud);
}

bool DirectCommands::Command58_Click()
{
    return link_.send(cmd::writeMode(false));
}

bool DirectCommands::Command60_Click()
{
    return link_.send(cmd::imageLoad());
}

void DirectCommands::Check11_Click(bool ticked)
{
    link_.saveToDds = ticked;
}

bool DirectCommands::Check16_Click()
{
    // A bare line end first, so "=e" starts on a clean line at the unit.
    if (!link_.send("")) return false;
    const std::optional<std::string> line = link_.readBack(cmd::readControl());
    std::string digits;
    if (line) {
        if (const auto value = unit::parseByteReadback(*line)) digits = hexField(*value, 2);
    }
    else if (!link_.TestMode() || !link_.portOpen()) {
        return false; // timed out (the Link has said so), stopped, or the port is gone
    }
    if (digits.empty()) {
        // No usable reply line (acknowledgements off, or a line that is not a
        // byte): the digits standing just before the terminal's final CR LF.
        const std::string terminal = link_.terminalText().toLatin1().toStdString();
        digits = unit::controlByteDigitsFromTerminal(terminal).value_or(std::string{});
    }
    const std::int64_t high = digits.size() == 2 ? HexValue(digits.substr(0, 1)) : -1;
    const std::int64_t low = digits.size() == 2 ? HexValue(digits.substr(1, 1)) : -1;
    if (high < 0 || low < 0)
        return refuse(QStringLiteral("Loop: control byte read back as \"%1\", not a hex byte - not changed")
                          .arg(latin1(digits)));
    const std::int64_t h = loopTicked ? (high & 11) : (high | 4);
    return link_.sendWait(controlByteWrite(false, static_cast<std::uint8_t>((h << 4) | low)));
}

} // namespace plovan
