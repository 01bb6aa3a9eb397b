#include "direct_commands.h"

#include "command_line.h"
#include "hex_text.h"
#include "link.h"
#include "synth_state.h"
#include "unit_protocol.h"

#include <cctype>
#include <optional>

namespace plovan {

namespace {

// One or two hex digits typed in a test box, as the two upper-case digits of
// a command argument; empty when the text is not a hex byte.
std::optional<std::string> hexByteArgument(std::string_view text)
{
    if (text.empty() || text.size() > 2) return std::nullopt;
    std::string digits;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return padLeft(digits, 2);
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
    return link_.send("=I");
}

bool DirectCommands::Command3_Click()
{
    if (hooks.untickInvSync) hooks.untickInvSync();
    return link_.sendWait("=C");
}

bool DirectCommands::Command4_Click()
{
    const bool on = hooks.laserOn ? hooks.laserOn() : laserOn_;
    if (!link_.send(on ? "=E0C" : "=E0F")) return on;
    laserOn_ = !on;
    if (hooks.showLaser) hooks.showLaser(laserOn_);
    return laserOn_;
}

bool DirectCommands::Command5_Click()
{
    if (!link_.sendWait("=K" + state_.IntClkWrd) || !link_.sendWait("=k")) return false;
    if (!link_.send(loopTicked ? "=E43" : "=E03")) return false;
    return Check16_Click();
}

bool DirectCommands::Command9_Click()
{
    return link_.send("=R");
}

bool DirectCommands::Command13_Click()
{
    // The mask sits in the upper four bits of register 30.
    const auto data = static_cast<std::uint8_t>((state_.CtrlReg & 0xF) << 4);
    return link_.send(registerWrite(kRegisterHead, data, 0x30)) && link_.send("=U");
}

bool DirectCommands::Command16_Click()
{
    return link_.send("=b");
}

void DirectCommands::Command21_Click()
{
    link_.clearTerminal();
}

bool DirectCommands::Command23_Click()
{
    return link_.send("=AV");
}

bool DirectCommands::Command24_Click()
{
    LongRun run(*this, "Lodsa U");
    if (!run) return false;
    for (int n = 1; n <= kLodsaCount; ++n)
        if (!link_.sendWait("=U") || !breathe(n)) return false;
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
    const std::string command = "=D" + *d + *r;
    for (int n = 1; n <= kLodsaCount; ++n)
        if (!link_.sendWait(command) || !breathe(n)) return false;
    return true;
}

bool DirectCommands::Command26_Click()
{
    return link_.sendWait("=v") && link_.sendWait("=Y000") && link_.sendWait("=AV") &&
           link_.sendWait("=YFFF") && link_.sendWait("=AV");
}

bool DirectCommands::Command27_Click()
{
    return link_.sendWait("=YFFF") && link_.sendWait("=AV");
}

bool DirectCommands::Command28_Click()
{
    return link_.send("=v");
}

bool DirectCommands::Command29_Click()
{
    return link_.send("=r");
}

bool DirectCommands::Command30_Click()
{
    return link_.sendWait("=m00");
}

bool DirectCommands::Command31_Click()
{
    return link_.sendWait("=mFF");
}

bool DirectCommands::Command32_Click()
{
    return link_.sendWait("=o00");
}

bool DirectCommands::Command33_Click()
{
    return link_.sendWait("=oFF");
}

bool DirectCommands::Command34_Click()
{
    return link_.sendWait("=i");
}

bool DirectCommands::Command35_Click()
{
    return link_.sendWait(registerRead(0xA3)) && link_.sendWait(registerRead(0xA4));
}

bool DirectCommands::Command36_Click()
{
    if (!link_.sendWait("=n")) return false;
    if (link_.pause(nPauseMs) == WaitResult::Cancelled) return false;
    return sendThenWait("=n");
}

bool DirectCommands::Command37_Click()
{
    LongRun run(*this, "LED");
    if (!run) return false;
    const auto step = [this] { return link_.pause(ledStepMs) != WaitResult::Cancelled && !stop_; };
    if (!link_.sendWait("=o00")) return false;
    // A single lit output walks from bit 0 to bit 7.
    for (int bit = 0; bit < 8; ++bit)
        if (!step() || !link_.sendWait("=o" + hexField(1 << bit, 2))) return false;
    if (!step()) return false;
    link_.RecATFlag = false;
    return link_.send("=o00");
}

bool DirectCommands::Command38_Click()
{
    return link_.sendWait("=E0B") && link_.sendWait("=W1");
}

bool DirectCommands::Command39_Click()
{
    return link_.sendWait("=zFF");
}

bool DirectCommands::Command40_Click()
{
    return link_.sendWait("=z00");
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
    return link_.send("=T");
}

bool DirectCommands::Command46_Click(std::string_view reg)
{
    const auto r = hexByteArgument(reg);
    if (!r)
        return refuse(
            QStringLiteral("Command46 not sent: register \"%1\" must be a hex byte").arg(latin1(reg)));
    return link_.sendWait("=d" + *r);
}

bool DirectCommands::Command47_Click()
{
    LongRun run(*this, "Command47");
    if (!run) return false;
    for (int n = 1; n <= 255; ++n)
        if (!link_.send("=D" + hexField(n, 2) + "44") || !breathe(n)) return false;
    return true;
}

bool DirectCommands::Command49_Click()
{
    // The two "=U" waits do not clear the flag: the "@" of the command before
    // them ends them, as the bench test has always run.
    return link_.sendWait("=E0C") && sendThenWait("=U") && link_.sendWait("=D1E44") && sendThenWait("=U") &&
           link_.sendWait("=E0C");
}

bool DirectCommands::Command51_Click()
{
    return link_.sendWait(link_.EQual() + "U");
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
    return link_.send("=W0");
}

bool DirectCommands::Command60_Click()
{
    return link_.send("=L");
}

void DirectCommands::Check11_Click(bool ticked)
{
    link_.saveToDds = ticked;
}

bool DirectCommands::Check16_Click()
{
    // A bare line end first, so "=e" starts on a clean line at the unit.
    if (!link_.send("")) return false;
    const std::optional<std::string> line = link_.readBack("=e");
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
