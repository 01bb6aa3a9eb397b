#include "tone_controller.h"

#include "command_line.h"
#include "frequency_limits.h"
#include "hex_text.h"
#include "link.h"
#include "unit_commands.h"

#include <algorithm>

namespace plovan {

namespace {

// A message box where the window offers one, else the status bar.
void showError(const SynthHooks& hooks, const std::string& message)
{
    if (hooks.error)
        hooks.error(message);
    else if (hooks.warn)
        hooks.warn(message);
}

} // namespace

// Reports the writes of one procedure as busy, however the procedure ends.
struct ToneController::Busy {
    ToneController& c;
    explicit Busy(ToneController& controller) : c(controller) { c.reportBusy(true); }
    ~Busy() { c.reportBusy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};

ToneController::ToneController(Link& link, SynthState& state, SynthHooks& hooks)
    : link_(link), state_(state), hooks_(hooks)
{
}

bool ToneController::Tune()
{
    auto mhz = number(state_.frequencyText, "Frequency MHz");
    if (!mhz) return false;
    // The box's rule, whoever filled it: too far above the upper limit tunes the limit.
    if (typedFrequency(mhz->value(), state_.MinFrequency, state_.MaxFrequency).verdict ==
        TypedFrequency::Verdict::Replaced) {
        state_.frequencyText = std::to_string(state_.MaxFrequency);
        mhz = Decimal{static_cast<std::uint64_t>(std::max(state_.MaxFrequency, 0)), 0};
    }
    Decimal hundredths;
    if (state_.hiresF) {
        const auto fine = number(state_.fineFrequencyText, "Hires F");
        if (!fine) return false;
        hundredths = *fine;
    }
    const double f = frequencyMHz(*mhz, hundredths);
    const auto word = frequencyWord(*mhz, hundredths, state_.ClkFreq);
    if (!word) return refuseFrequency("Frequency MHz", f);

    setFrequencyFields(*word);
    state_.tableFrequencyText = state_.writtenWordText.substr(0, 4);
    warnIfAboveNyquist(*word, f);
    if (!link_.portOpen()) return true;

    Busy busy(*this);
    if (!writeFrequencyWord(*word) || !bodge()) return false;
    if (state_.maintainOffset && hooks_.offsetFrequencySend) return hooks_.offsetFrequencySend();
    return true;
}

bool ToneController::Phase()
{
    const auto degrees = number(state_.phaseText, "Phase");
    if (!degrees) return false;
    const auto word = phaseWord(*degrees);
    if (!word) {
        reportError("Phase: " + shortestText(degrees->value()) + " is above 360 degrees");
        return false;
    }

    state_.phaseWordText = std::to_string(*word);
    state_.PhaseHex = hexText(*word);
    state_.writtenWordText = PaD(state_.PhaseHex);
    if (!link_.portOpen()) return true;

    Busy busy(*this);
    return write(highByte(*word), 0x80, kRegisterHead) && write(lowByte(*word), 0x81, kRegisterHead) &&
           bodge();
}

bool ToneController::Amplit()
{
    if (!state_.channelBox[2] && state_.channelBox[3]) return AmplitSpecial();

    const auto amplitude = number(state_.amplitudeText, "Amplitude");
    if (!amplitude) return false;
    const std::uint16_t amp = amplitWord(*amplitude, ampMultFact());
    state_.Amp = hexText(amp);
    state_.writtenWordText = PaD(state_.Amp);
    state_.tableAmplitudeText = state_.Amp;
    if (!link_.portOpen()) return true;

    std::optional<std::uint16_t> second;
    if (state_.ampTracking && !(second = amp2FixeD())) return false;

    Busy busy(*this);
    const std::string head = link_.SavString();
    if (!writeEchoed(highByte(amp), 0xE3, echoLine(highByte(amp), " E3 Amp"))) return false;
    if (second && !write(highByte(*second), 0xE1, head)) return false;
    if (!writeEchoed(lowByte(amp), 0xE4, echoLine(lowByte(amp), " E4 Amp"))) return false;
    if (second && !write(lowByte(*second), 0xE2, head)) return false;
    if (!state_.fixedEnable) {
        if (!writeEchoed(highByte(amp), 0xA3, echoLine(highByte(amp), " A3 Amp"))) return false;
        // An empty line closes each amplitude's block in the echo box.
        if (!writeEchoed(lowByte(amp), 0xA4, echoLine(lowByte(amp), " A4 Amp") + std::string(term)))
            return false;
    }
    if (!state_.chirpMode && !bodge()) return false;
    if (state_.maintainOffset && hooks_.offsetAmplitudeSend) return hooks_.offsetAmplitudeSend();
    return true;
}

bool ToneController::AmplitSpecial()
{
    const auto amplitude = number(state_.amplitudeText, "Amplitude");
    if (!amplitude) return false;
    const std::uint16_t group1 = amplitSpecialWord(*amplitude, ampMultFact());
    const std::uint16_t group2 = amplitSpecialWord(*amplitude, 2);
    // The fields end on the group 2 word, which the table builder records.
    state_.Amp = hexText(group2);
    state_.writtenWordText = PaD(state_.Amp);
    state_.tableAmplitudeText = state_.Amp;
    if (!link_.portOpen()) return true;

    Busy busy(*this);
    if (!writeEchoed(highByte(group1), 0x63, echoLine(highByte(group1), " 63*")) ||
        !writeEchoed(lowByte(group1), 0x64, echoLine(lowByte(group1), " 64*")))
        return false;
    if (!state_.fixedEnable) {
        if (!writeEchoed(highByte(group2), 0xA3, echoLine(highByte(group2), " A3*")) ||
            !writeEchoed(lowByte(group2), 0xA4, echoLine(lowByte(group2), " A4*") + std::string(term)))
            return false;
    }
    return state_.chirpMode || bodge();
}

bool ToneController::Tune_4_Vswr(const Decimal& Freq)
{
    return vswrStep(frequencyWord(Freq, {}, state_.ClkFreq), Freq.value());
}

bool ToneController::Tune_4_Vswr(double Freq)
{
    // The decimal the double stands for, so both overloads send the same word.
    const auto mhz = decimalOf(Freq);
    return mhz ? Tune_4_Vswr(*mhz) : vswrStep(std::nullopt, Freq);
}

bool ToneController::vswrStep(std::optional<std::uint32_t> word, double mhz)
{
    if (!word) return refuseFrequency("VSWR frequency", mhz);
    setFrequencyFields(*word);
    warnIfAboveNyquist(*word, mhz);
    // No port test here: on a closed port the Link refuses C4 and reports it,
    // and the step ends.
    const auto bytes = wordBytes(*word);
    if (!write(bytes[0], 0xC4, kRegisterHead) || !write(bytes[1], 0xC5, kRegisterHead)) return false;
    return Amplit();
}

bool ToneController::bodge()
{
    if (!link_.portOpen()) return true;
    if (!link_.sendWait(cmd::update())) return false;
    return state_.chirpMode || link_.sendWait(cmd::rfOff());
}

bool ToneController::writeFrequencyWord(std::uint32_t word)
{
    const auto bytes = wordBytes(word);
    for (std::uint8_t i = 0; i < 4; ++i)
        if (!write(bytes[i], static_cast<std::uint8_t>(0x44 + i), kRegisterHead)) return false;
    // Fixed frequency keeps group 2 on its own word.
    if (state_.fixedEnable) return true;
    for (std::uint8_t i = 0; i < 4; ++i)
        if (!write(bytes[i], static_cast<std::uint8_t>(0x84 + i), kRegisterHead)) return false;
    return true;
}

bool ToneController::write(std::uint8_t data, std::uint8_t reg, std::string_view head)
{
    return link_.sendWait(registerWrite(head, data, reg));
}

bool ToneController::writeEchoed(std::uint8_t data, std::uint8_t reg, const std::string& echo)
{
    // sendWait with the echo between send and wait: a line that went out is
    // echoed even when its acknowledgement never comes.
    const std::string command = registerWrite(link_.SavString(), data, reg);
    link_.RecATFlag = false;
    if (!link_.send(command)) return false;
    if (hooks_.echo) hooks_.echo(echo);
    return proceeds(link_.waitAck(command));
}

std::string ToneController::echoLine(std::uint8_t data, std::string_view tail) const
{
    return link_.SavString() + " " + hexField(data, 2) + std::string(tail) + std::string(term);
}

std::optional<Decimal> ToneController::number(const std::string& text, std::string_view field)
{
    if (auto d = parseDecimal(text)) return d;
    std::string message = std::string(field) + ": \"" + text + "\" is not a number";
    if (text.find(',') != std::string::npos) message += " (the decimal point is \".\")";
    reportError(message);
    return std::nullopt;
}

std::optional<std::uint16_t> ToneController::amp2FixeD()
{
    const std::int64_t v = HexValue(state_.Amp2FixeD);
    if (state_.Amp2FixeD.size() == 4 && v >= 0) return static_cast<std::uint16_t>(v);
    reportError("Amp Tracking: second amplitude \"" + state_.Amp2FixeD + "\" is not four hex digits");
    return std::nullopt;
}

unsigned ToneController::ampMultFact() const
{
    return static_cast<unsigned>(std::max(state_.AmpMultFact, 0));
}

void ToneController::setFrequencyFields(std::uint32_t word)
{
    state_.ftwH = hexText(word);
    state_.writtenWordText = padLeft(state_.ftwH, 8);
}

bool ToneController::refuseFrequency(std::string_view field, double mhz)
{
    reportError(std::string(field) + ": " + shortestText(mhz) +
                " MHz has no frequency word; it must be below the clock (" + shortestText(state_.ClkFreq) +
                " MHz)");
    return false;
}

void ToneController::warnIfAboveNyquist(std::uint32_t word, double mhz)
{
    if (atOrAboveNyquist(word) && hooks_.warn)
        hooks_.warn(shortestText(mhz) + " MHz is at or above the Nyquist frequency (" +
                    shortestText(state_.ClkFreq / 2) + " MHz); the unit puts out an alias");
}

void ToneController::reportError(const std::string& message)
{
    showError(hooks_, message);
}

void ToneController::reportBusy(bool busy)
{
    if (hooks_.busy) hooks_.busy(busy);
}

bool ToneController::triggerAndUpdate()
{
    return link_.sendWait(cmd::trigger()) && link_.sendWait(cmd::update());
}

} // namespace plovan
