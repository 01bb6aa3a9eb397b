// The single-tone procedures: frequency, phase and amplitude words written
// into the unit's registers, each group closed by the update sequence.
//
// Inputs come from the SynthState mirror of the main window's controls; the
// procedures write back the display fields (ftwH, PhaseHex, Amp,
// writtenWordText, tableFrequencyText, tableAmplitudeText, phaseWordText)
// whether or not the port is open, and send only while it is. Every register
// write waits for the unit's "@"; when a wait ends the sequence (time-out,
// cancel, lost connection) nothing more is sent and the procedure returns
// false. A box whose text is not a number is reported through the hooks and
// nothing is sent.
#pragma once

#include "synth_state.h"
#include "words.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

class Link;

class ToneController {
public:
    ToneController(Link& link, SynthState& state, SynthHooks& hooks);

    // Frequency word of frequencyText (+ fineFrequencyText / 100 with "Hires F") into 44-47 and,
    // unless fixed frequency is on, 84-87; then bodge.
    bool Tune();
    // Phase word of phaseText into 80/81; then bodge.
    bool Phase();
    // Amplitude word of amplitudeText into E3/E4 (and Amp2FixeD into E1/E2 with
    // "Amp Tracking"), A3/A4 unless fixed frequency is on; AmplitSpecial
    // instead when channel "4" is ticked without "3".
    bool Amplit();
    // Group 1 (63/64) gets amplitudeText * AmpMultFact, group 2 (A3/A4) amplitudeText * 2.
    bool AmplitSpecial();
    // One VSWR step: the upper 16 bits of Freq's word into C4/C5, then Amplit.
    // The VSWR window shows Freq itself.
    bool Tune_4_Vswr(const Decimal& Freq);
    bool Tune_4_Vswr(double Freq);
    // The update sequence: "=U", then "=E0C" unless in chirp mode.
    bool bodge();
    // What "Send" does after the three words: trigger ("=I"), then update ("=U").
    bool triggerAndUpdate();

private:
    struct Busy;

    bool vswrStep(std::optional<std::uint32_t> word, double mhz);
    bool writeFrequencyWord(std::uint32_t word);
    bool write(std::uint8_t data, std::uint8_t reg, std::string_view head);
    // Writes an amplitude byte and echoes it to Text20 once it is on its way.
    bool writeEchoed(std::uint8_t data, std::uint8_t reg, const std::string& echo);
    std::string echoLine(std::uint8_t data, std::string_view tail) const;
    std::optional<Decimal> number(const std::string& text, std::string_view field);
    std::optional<std::uint16_t> amp2FixeD();
    unsigned ampMultFact() const;
    void setFrequencyFields(std::uint32_t word);
    bool refuseFrequency(std::string_view field, double mhz);
    void warnIfAboveNyquist(std::uint32_t word, double mhz);
    void reportError(const std::string& message);
    void reportBusy(bool busy);

    Link& link_;
    SynthState& state_;
    SynthHooks& hooks_;
};

} // namespace plovan
