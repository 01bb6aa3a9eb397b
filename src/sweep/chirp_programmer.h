// Chirp programming: "Calculate DeltaF", "CHIRP" and "Chirp no U", the ramp
// register writes (Tune_Stop, deltaF, DwelL), the status byte (StatuZ), the
// mode switch's commands and "Clear Flash".
//
// Start and stop frequency (frequencyText, phaseText), the amplitude
// (amplitudeText), the channel boxes and the clock come from the
// single-tone SynthState; the chirp fields from ChirpState. Every waited
// write goes through Link::sendWait; when a wait ends the sequence
// (time-out, cancel, lost connection) nothing more is sent and the
// procedure returns false.
//
// Before "CHIRP" sends anything it calculates and builds all four ramp words.
// A failed calculation, or a word the unit's registers cannot hold, is
// reported and nothing is sent: the unit never gets a ramp the program has
// just called wrong, nor a truncated word.
#pragma once

#include "chirp_calc.h"
#include "synth_state.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

class Link;
class ToneController;

// The chirp controls of the main window, as the operator set them.
struct ChirpState {
    std::string deltaFText;                    // Text22 "Delta F (KHz)"
    std::string dwellMultiplierText = "00001"; // Text23 "Dwell Multiplier"
    std::string rampTimeText = "20";           // Text25: ramp time
    RampUnit rampUnit = RampUnit::uS;          // Option5: its unit
    std::string nStepsText;                    // Text26 "N Steps"
    std::string dwellTimeText;                 // Text27 "Dwell Time uS"
    std::string rampWordHex;                   // Text24: hex of the step word, then of the dwell word
    std::optional<int> amplitudeSlider;        // Slider3; CHIRP writes its value into the amplitude text
    bool inverseSinc = false;                  // Check12 "Inverse Sinc"
    bool extRfOn = false;                      // Check13 "Ext RF On"
    bool laserOn = false;                      // Check14 "Laser On"
    bool extTrig = false;                      // Check15 "Ext Trig"
};

// What the controller asks of the window.
struct ChirpHooks {
    // The calculation rewrote the chirp fields (and the stop frequency): show them now,
    // before the writes that follow take their time.
    std::function<void()> fieldsChanged;
    // The ramp about to be written, for the preview.
    std::function<void(const RampPlan&)> preview;
    // Label1 "Saving to Flash" shown (true) or hidden.
    std::function<void(bool)> savingToFlash;
    // The one-shot "Save to DDS" has been used: untick Check11.
    std::function<void()> saveToDdsCleared;
};

class ChirpProgrammer {
public:
    // Appended to a refusal inside "CHIRP" / "Chirp no U".
    static constexpr std::string_view kNothingSent = ". Nothing was sent.";

    ChirpProgrammer(Link& link, SynthState& synth, SynthHooks& synthHooks, ToneController& tone);

    ChirpState chirp;
    ChirpHooks hooks;
    int statuS = 32; // the status byte StatuZ sends; bit 5 always set

    SynthState& synth() { return synth_; }
    Link& link() { return link_; }

    // "Calculate DeltaF" (Command17): the calculation on the fields, which it
    // rewrites; its message goes to the operator. When it succeeds the ramp
    // words are built and shown in the preview. The plan when both succeeded.
    std::optional<RampPlan> Command17_Click();
    const ChirpCalculation& lastCalculation() const { return last_; }

    // "CHIRP" (Command15): calculation, reset and configuration, the ramp
    // words, amplitude, inverse sinc, update and status byte.
    bool CHIRP();
    // "Chirp no U" (Command50): the same without "r", "C", the channel
    // command and "U".
    bool ChirpNoU();
    bool running() const { return running_; }

    // The ramp registers, each from its field as it stands; a field that
    // gives no word is reported and nothing is written.
    bool Tune_Stop(); // C4, C5 from the start frequency; CA, CB from the stop
    bool deltaF();    // D0, D1, D2 from deltaFText
    bool DwelL();     // DA, DB, DC from dwellMultiplierText (which it pads to five digits)
    // The status byte from "Ext RF On", "Laser On", "Ext Trig".
    bool StatuZ();
    // The pause after a ramp-register write while "Save to DDS" is ticked;
    // false when the operator cancelled it.
    bool DlaY();

    // Mode switch: "Chirp" (Option1) recomputes the ramp values, sends
    // "=K0000" and starts the stop frequency at MaxFrequency; "Single"
    // (Option2) puts the phase back to 0 and sends "=E03" and "=C".
    bool enterChirpMode();
    bool enterSingleMode();

    // "Clear Flash" (Command16).
    bool ClearFlash();
    // Check11 "Save to DDS" clicked: the heads of the register and chirp commands follow it.
    void setSaveToDds(bool ticked);

private:
    class Run;
    bool program(bool withUpdate);
    std::optional<RampPlan> calculate(std::string_view refusalSuffix);
    ChirpFields fields() const;
    void showFields(const ChirpFields& f);
    bool writeFrequencyPair(const RampWord& word, std::uint8_t highReg, std::uint8_t lowReg);
    bool writeStep(const RampWord& step);
    bool writeDwell(const RampWord& dwell);
    bool writeRamp(std::uint8_t data, std::uint8_t reg);
    // A header word write, stored to flash with "Save to DDS".
    bool sendHeader(std::uint32_t address, std::uint16_t data);
    // Channels 1 .. n on, n the highest ticked channel box.
    std::uint16_t channelMask() const;
    void reportError(const std::string& message);

    Link& link_;
    SynthState& synth_;
    SynthHooks& synthHooks_;
    ToneController& tone_;
    ChirpCalculation last_;
    bool running_ = false;
};

} // namespace plovan
