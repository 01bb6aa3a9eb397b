#include "channel_controller.h"

#include "command_line.h"
#include "hex_text.h"
#include "unit_commands.h"
#include "words.h"

#include <QString>
#include <algorithm>
#include <array>

namespace plovan {

namespace {

constexpr int kChannels = 4;
constexpr std::uint8_t kChannelRegister = 0x30;
// Inverse-sinc register E0: 20 switches the filter on, 60 off.
constexpr std::uint8_t kInverseSincRegister = 0xE0;
constexpr std::uint8_t kInverseSincOn = 0x20;
constexpr std::uint8_t kInverseSincOff = 0x60;

} // namespace

ChannelController::ChannelController(Link& link, SynthState& state, SynthHooks& hooks)
    : link_(link), state_(state), hooks_(hooks)
{
}

void ChannelController::reportBusy(bool busy)
{
    if (hooks_.busy) hooks_.busy(busy);
}

bool ChannelController::writeChannelMask(int mask)
{
    // The mask sits in the upper four bits of register 30; the lower four stay 0.
    return link_.send(
        registerWrite(kRegisterHead, static_cast<std::uint8_t>((mask & 0xF) << 4), kChannelRegister));
}

bool ChannelController::channelBoxClicked(int n, bool ticked)
{
    if (n < 1 || n > kChannels) return false;
    return clickBox(n, ticked);
}

bool ChannelController::clickBox(int n, bool ticked)
{
    const auto box = static_cast<std::size_t>(n - 1);
    state_.channelBox[box] = ticked;
    // A click has toggled the box, so its state before was the opposite.
    // Until CtrlReg has taken the change, a stop puts the box back: the panel
    // must not show a change that never reached the mask.
    const auto putBack = [&] {
        state_.channelBox[box] = !ticked;
        return false;
    };

    if (!link_.sendWait(cmd::rfOff())) return putBack();

    // Cumulative boxes: ticking n ticks n-1, unticking n unticks n+1, and the
    // neighbour's own handler runs as if it had been clicked.
    const int neighbour = ticked ? n - 1 : n + 1;
    if (neighbour >= 1 && neighbour <= kChannels &&
        state_.channelBox[static_cast<std::size_t>(neighbour - 1)] != ticked) {
        if (!clickBox(neighbour, ticked)) return putBack();
    }

    const int bit = 1 << (n - 1);
    state_.CtrlReg = ticked ? (state_.CtrlReg | bit) : (state_.CtrlReg & (15 - bit));

    // One channel drives at 4 times the amplitude, two or more at 2 times.
    switch (n) {
    case 1:
        if (ticked) state_.AmpMultFact = 4;
        break;
    case 2: state_.AmpMultFact = ticked ? 2 : 4; break;
    default: state_.AmpMultFact = 2; break;
    }

    if (amplitudeChanged && !amplitudeChanged()) return false;
    return writeChannelMask(state_.CtrlReg) && link_.send(cmd::update());
}

bool ChannelController::selectOneChannel(int n)
{
    if (n < 1 || n > kChannels) return false;
    state_.CtrlReg = 1 << (n - 1);
    return writeChannelMask(state_.CtrlReg) && link_.send(cmd::trigger()) && link_.send(cmd::update());
}

bool ChannelController::allChannels()
{
    return writeChannelMask(0xF) && link_.send(cmd::trigger()) && link_.send(cmd::update());
}

bool ChannelController::noChannels()
{
    return writeChannelMask(0) && link_.send(cmd::trigger()) && link_.send(cmd::update());
}

bool ChannelController::resendChannelMask()
{
    return writeChannelMask(state_.CtrlReg) && link_.send(cmd::update());
}

bool ChannelController::invSyncClicked(bool ticked)
{
    inverseSinc_ = ticked;
    // Always the plain head: this switch is never stored to flash.
    return link_.send(registerWrite(kRegisterHead, ticked ? kInverseSincOn : kInverseSincOff,
                                    kInverseSincRegister)) &&
           link_.send(cmd::update());
}

bool ChannelController::inverseSincOption(bool on)
{
    if (!link_.send(
            registerWrite(link_.SavString(), on ? kInverseSincOn : kInverseSincOff, kInverseSincRegister)))
        return false;
    if (StatuZ) StatuZ();
    return true;
}

bool ChannelController::secondAmplitudeChanged(int value)
{
    // The slider's range; anything else would not fit the two registers.
    value = std::clamp(value, 0, 4095);
    state_.AmP2 = padLeft(hexText(value), 4);
    // Operators know this line by its spelling; keep it.
    const std::string line = "amlpitude2= " + state_.AmP2 + std::string(term);
    link_.setTerminalText(link_.terminalText() + QString::fromLatin1(line.data(), qsizetype(line.size())));
    const auto word = static_cast<std::uint16_t>(value);
    return link_.sendWait(registerWrite(link_.SavString(), highByte(word), 0xA1)) &&
           link_.sendWait(registerWrite(link_.SavString(), lowByte(word), 0xA2)) && link_.send(cmd::update());
}

bool ChannelController::Command11_Click(bool loopTicked)
{
    if (command11Caption_ == kStop) {
        command11Caption_ = kExtEnable;
        reportBusy(false);
        return link_.send(cmd::clear());
    }
    reportBusy(true);
    command11Caption_ = kStop;
    const bool started = link_.sendWait(cmd::clear()) && link_.sendWait(cmd::controlExtEnable(loopTicked)) &&
                         (!loopHandler || loopHandler()) && link_.send(cmd::start());
    if (!started) {
        command11Caption_ = kExtEnable;
        reportBusy(false);
    }
    return started;
}

bool ChannelController::Command48_Click()
{
    if (command48Caption_ == kStop) {
        command48Caption_ = kInitY;
        reportBusy(false);
        return link_.send(cmd::clear());
    }
    reportBusy(true);
    command48Caption_ = kStop;
    const std::array<std::string, 4> sequence{cmd::controlIntClock(false), cmd::update(), cmd::update(),
                                              cmd::controlExtEnable(false)};
    for (const std::string& command : sequence) {
        if (!link_.sendWait(command)) {
            command48Caption_ = kInitY;
            reportBusy(false);
            return false;
        }
    }
    return true;
}

} // namespace plovan
