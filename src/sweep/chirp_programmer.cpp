#include "chirp_programmer.h"

#include "command_line.h"
#include "hex_text.h"
#include "link.h"
#include "tone_controller.h"
#include "unit_commands.h"

namespace plovan {

namespace {
constexpr std::uint8_t kInverseSincOn = 0x20;
constexpr std::uint8_t kInverseSincOff = 0x60;
} // namespace

// One chirp at a time. The ramp is written in chirp mode whatever the mode
// mirror says, so Amplit leaves the update to the chirp's own "U".
class ChirpProgrammer::Run {
public:
    explicit Run(ChirpProgrammer& c) : c_(c), wasChirpMode_(c.synth_.chirpMode)
    {
        c_.running_ = true;
        c_.synth_.chirpMode = true;
    }
    ~Run()
    {
        releaseSaveToDds();
        c_.synth_.chirpMode = wasChirpMode_;
        c_.running_ = false;
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // "Save to DDS" is read once, here, and used up when the run ends, however
    // it ends: a later write must not land in flash unasked.
    void takeSaveToDds()
    {
        if (c_.link_.saveToDds && c_.hooks.savingToFlash) c_.hooks.savingToFlash(true);
        saveTaken_ = true;
    }
    void releaseSaveToDds()
    {
        if (!saveTaken_) return;
        saveTaken_ = false;
        c_.setSaveToDds(false);
        if (c_.hooks.saveToDdsCleared) c_.hooks.saveToDdsCleared();
        if (c_.hooks.savingToFlash) c_.hooks.savingToFlash(false);
    }

private:
    ChirpProgrammer& c_;
    bool wasChirpMode_;
    bool saveTaken_ = false;
};

ChirpProgrammer::ChirpProgrammer(Link& link, SynthState& synth, SynthHooks& synthHooks, ToneController& tone)
    : link_(link), synth_(synth), synthHooks_(synthHooks), tone_(tone)
{
}

ChirpFields ChirpProgrammer::fields() const
{
    ChirpFields f;
    f.startText = synth_.frequencyText;
    f.stopText = synth_.phaseText;
    f.rampTimeText = chirp.rampTimeText;
    f.rampUnit = chirp.rampUnit;
    f.dwellMultiplierText = chirp.dwellMultiplierText;
    f.dwellTimeText = chirp.dwellTimeText;
    f.nStepsText = chirp.nStepsText;
    f.deltaFText = chirp.deltaFText;
    return f;
}

void ChirpProgrammer::showFields(const ChirpFields& f)
{
    synth_.phaseText = f.stopText;
    chirp.dwellMultiplierText = f.dwellMultiplierText;
    chirp.dwellTimeText = f.dwellTimeText;
    chirp.nStepsText = f.nStepsText;
    chirp.deltaFText = f.deltaFText;
    if (hooks.fieldsChanged) hooks.fieldsChanged();
}

std::optional<RampPlan> ChirpProgrammer::calculate(std::string_view refusalSuffix)
{
    ChirpFields f = fields();
    last_ = calculateDeltaF(f, synth_.MaxFrequency);
    applyCalculation(last_, f);
    showFields(f);
    // The calculation's own messages stand as they are.
    if (!last_.message.empty()) reportError(last_.message);
    if (last_.SkipFlg) return std::nullopt;

    RampPlanResult plan = planRamp(f, synth_.ClkFreq);
    if (!plan.plan) {
        reportError(plan.message + std::string(refusalSuffix));
        return std::nullopt;
    }
    if (hooks.preview) hooks.preview(*plan.plan);
    return plan.plan;
}

std::optional<RampPlan> ChirpProgrammer::Command17_Click()
{
    return calculate({});
}

bool ChirpProgrammer::CHIRP()
{
    return program(true);
}

bool ChirpProgrammer::ChirpNoU()
{
    return program(false);
}

bool ChirpProgrammer::program(bool withUpdate)
{
    const std::string name = withUpdate ? "CHIRP" : "Chirp no U";
    if (running_) {
        if (synthHooks_.warn) synthHooks_.warn(name + ": a chirp is still being programmed");
        return false;
    }
    Run run(*this);

    const auto plan = calculate(kNothingSent);
    if (!plan) {
        if (synthHooks_.warn) synthHooks_.warn(name + ": nothing was sent");
        return false;
    }
    // A closed port: the Link refuses and reports the first command, and the
    // "Save to DDS" tick stays for the next try.
    if (!link_.portOpen())
        return link_.send(withUpdate ? cmd::linkStart(link_.saveToDds)
                                     : headerWrite(link_.saveToDds, 0x000002, 0x44DF));

    run.takeSaveToDds();
    bool ok = true;
    if (withUpdate)
        ok = link_.sendWait(cmd::linkStart(link_.saveToDds)) && link_.sendWait(cmd::clear(link_.saveToDds));
    ok = ok && sendHeader(0x000002, 0x44DF) && sendHeader(0x000004, 0x04DF);
    // Header word 3: the channels on in its top digit.
    if (ok && withUpdate && synth_.MultiElecMode) ok = sendHeader(0x000003, (channelMask() << 12) | 0x030);

    ok = ok && writeFrequencyPair(plan->start, 0xC4, 0xC5) && writeFrequencyPair(plan->stop, 0xCA, 0xCB);
    ok = ok && writeStep(plan->step);
    if (ok) {
        chirp.dwellMultiplierText = plan->dwellMultiplierText;
        ok = writeDwell(plan->dwell);
    }
    if (ok) {
        if (chirp.amplitudeSlider) synth_.amplitudeText = std::to_string(*chirp.amplitudeSlider);
        ok = tone_.Amplit();
    }
    ok = ok && link_.sendWait(registerWrite(link_.SavString(),
                                            chirp.inverseSinc ? kInverseSincOn : kInverseSincOff, 0xE0));
    if (ok && withUpdate) ok = link_.sendWait(cmd::update(link_.saveToDds));
    ok = ok && StatuZ();

    run.releaseSaveToDds();
    if (hooks.fieldsChanged) hooks.fieldsChanged();
    return ok;
}

bool ChirpProgrammer::sendHeader(std::uint32_t address, std::uint16_t data)
{
    return link_.sendWait(headerWrite(link_.saveToDds, address, data));
}

std::uint16_t ChirpProgrammer::channelMask() const
{
    // The highest ticked channel decides: channels 1 .. n are on.
    std::uint16_t mask = 0;
    for (std::size_t i = 0; i < synth_.channelBox.size(); ++i)
        if (synth_.channelBox[i]) mask = static_cast<std::uint16_t>((2u << i) - 1);
    return mask;
}

bool ChirpProgrammer::Tune_Stop()
{
    const RampWordResult start = rampFrequencyWord(synth_.frequencyText, kStartField, synth_.ClkFreq);
    if (!start.word) {
        reportError(start.message);
        return false;
    }
    const RampWordResult stop = rampFrequencyWord(synth_.phaseText, kStopField, synth_.ClkFreq);
    if (!stop.word) {
        reportError(stop.message);
        return false;
    }
    return writeFrequencyPair(*start.word, 0xC4, 0xC5) && writeFrequencyPair(*stop.word, 0xCA, 0xCB);
}

bool ChirpProgrammer::deltaF()
{
    const RampWordResult step = deltaFWord(chirp.deltaFText, synth_.ClkFreq);
    if (!step.word) {
        reportError(step.message);
        return false;
    }
    return writeStep(*step.word);
}

bool ChirpProgrammer::DwelL()
{
    const RampWordResult dwell = DwelLWord(chirp.dwellMultiplierText);
    if (!dwell.word) {
        reportError(dwell.message);
        return false;
    }
    chirp.dwellMultiplierText = padDwell(chirp.dwellMultiplierText);
    return writeDwell(*dwell.word);
}

bool ChirpProgrammer::writeFrequencyPair(const RampWord& word, std::uint8_t highReg, std::uint8_t lowReg)
{
    synth_.ftwH = word.hex;
    synth_.writtenWordText = word.padded;
    return writeRamp(word.bytes[0], highReg) && writeRamp(word.bytes[1], lowReg);
}

bool ChirpProgrammer::writeStep(const RampWord& step)
{
    synth_.ftwH = step.hex;
    chirp.rampWordHex = step.hex;
    synth_.writtenWordText = step.padded;
    return writeRamp(step.bytes[0], 0xD0) && writeRamp(step.bytes[1], 0xD1) && writeRamp(step.bytes[2], 0xD2);
}

bool ChirpProgrammer::writeDwell(const RampWord& dwell)
{
    chirp.rampWordHex = dwell.padded;
    return writeRamp(dwell.bytes[0], 0xDA) && writeRamp(dwell.bytes[1], 0xDB) &&
           writeRamp(dwell.bytes[2], 0xDC);
}

bool ChirpProgrammer::writeRamp(std::uint8_t data, std::uint8_t reg)
{
    return link_.sendWait(registerWrite(link_.SavString(), data, reg)) && DlaY();
}

bool ChirpProgrammer::DlaY()
{
    return proceeds(link_.DlaY());
}

bool ChirpProgrammer::StatuZ()
{
    statuS = chirp.extRfOn ? statuS | 2 : statuS & 253;
    statuS = chirp.laserOn ? statuS | 1 : statuS & 254;
    statuS = chirp.extTrig ? statuS | 128 : statuS & 127;
    // Bit 5 stays set, so the byte always has two digits.
    return link_.sendWait(controlByteWrite(link_.saveToDds, static_cast<std::uint8_t>(statuS)));
}

bool ChirpProgrammer::enterChirpMode()
{
    synth_.chirpMode = true;
    const RampSetUp ramp = SetUpRamp(chirp.rampUnit, chirp.rampTimeText, chirp.dwellMultiplierText);
    if (ramp.message.empty()) {
        chirp.dwellTimeText = ramp.dwellTimeText;
        if (ramp.dwellMultiplierText) chirp.dwellMultiplierText = *ramp.dwellMultiplierText;
    }
    else {
        reportError(ramp.message);
    }
    const bool sent = link_.send(cmd::clockWord("0000"));
    // The stop frequency starts at the upper limit.
    synth_.phaseText = std::to_string(synth_.MaxFrequency);
    if (hooks.fieldsChanged) hooks.fieldsChanged();
    return sent;
}

bool ChirpProgrammer::enterSingleMode()
{
    synth_.chirpMode = false;
    synth_.phaseText = "0"; // the box holds the phase again
    if (hooks.fieldsChanged) hooks.fieldsChanged();
    return link_.sendWait(cmd::controlIntClock(false)) && link_.sendWait(cmd::clear());
}

bool ChirpProgrammer::ClearFlash()
{
    return link_.send(cmd::clearFlash());
}

void ChirpProgrammer::setSaveToDds(bool ticked)
{
    link_.saveToDds = ticked;
}

void ChirpProgrammer::reportError(const std::string& message)
{
    if (synthHooks_.error)
        synthHooks_.error(message);
    else if (synthHooks_.warn)
        synthHooks_.warn(message);
}

} // namespace plovan
