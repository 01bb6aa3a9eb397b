// The frequency-offset procedures. Group 1 of the synthesiser (frequency
// 44-47, amplitude 63/64) runs at the main frequency plus an offset in kHz,
// with an amplitude of its own; groups 2 and 3 stay with the main procedures.
// With "Maintain Offset" ticked, Tune and Amplit call back here after every
// change (installHooks), and the main maximum frequency is lowered by the
// offset so that main + offset stays within the operator's upper limit.
#pragma once

#include "synth_state.h"
#include "tone_controller.h"
#include "words.h"

#include <cstdint>
#include <functional>
#include <string>

namespace plovan {

class Link;

// The offset is kept in tenths of a kHz: "UpDown2" steps by 0.1 kHz, and
// whole tenths keep every sum exact. One MHz is 10000 tenths.

// The offset as the window shows it: "1000", "1000.1", "0.3".
std::string offsetText(int tenthsKHz);
// The offset slider is mirrored about its span: at the span the offset is 0,
// at 0 it is the span. Offsets beyond the span park the slider at 0.
int offsetSliderValue(int tenthsKHz, int sliderSpan);
int offsetFromSlider(int value, int sliderSpan); // tenths of a kHz
// The offset as the hundredths-of-a-MHz term of frequencyWord.
Decimal offsetHundredths(int tenthsKHz);
// mainMHz + offset above limitMHz, decided exactly.
bool aboveLimit(const Decimal& mainMHz, int tenthsKHz, int limitMHz);
// MaxFrequency while the offset is maintained: the largest whole MHz whose
// sum with the offset stays within upperLimit, but never below lowerLimit
// (the slider range must not turn over).
int maintainedMaxFrequency(int upperLimit, int lowerLimit, int tenthsKHz);
// Group 1 amplitude word: A * 4, at most 4095 and without lower limit; a
// product that is not whole is rounded half to even, as the hex conversion does.
std::uint16_t offsetAmplitudeWord(const Decimal& amplitude);

class OffsetController {
public:
    static constexpr int SliderSpan = 5000;    // kHz: the offset slider's maximum
    static constexpr int kStartTenths = 10000; // 1000 kHz, the offset when the window loads
    static constexpr int kAmplitudeFactor = 4; // group 1's own multiplier, whatever AmpMultFact is

    OffsetController(Link& link, SynthState& state, SynthHooks& hooks);

    SynthState& state() { return state_; }
    Link& link() { return link_; }

    // OffsetKHz * 10. Never below 0; while the offset is maintained a change
    // lowers MaxFrequency anew.
    int offsetTenths() const { return offsetTenths_; }
    void setOffsetTenths(int tenths);

    // "Amp 2" (the window's Text3): group 1 amplitude, 0-1024, as typed.
    std::string group1AmplitudeText = "500";
    // The window's Text4: the last group 1 amplitude word, four hex digits.
    std::string group1WordText;

    enum class Outcome {
        Sent,          // group 1 has the new word
        OutsideLimits, // main + offset above the upper limit: nothing sent
        Stopped,       // a box held no number, or the link ended the sequence
    };
    // Main frequencyText + offset (the "Hires F" part is not included) into
    // 44-47, then bodge. Shows the word in writtenWordText and ftwH.
    Outcome offsetFrequencySend();
    // group1AmplitudeText * 4 into 63/64 (always "=D"), then bodge.
    bool offsetAmplitudeSend();

    bool maintainOffset() const { return state_.maintainOffset; }
    // Ticked: the operator's limits are kept aside and MaxFrequency lowered
    // by the offset. Unticked: they are restored.
    void setMaintainOffset(bool ticked);
    // New limits were applied ("F Limits"): while maintained they become
    // the operator's limits, and MaxFrequency is lowered from them again.
    void limitsEdited();
    // The operator's own limits: what "F Limits" shows and the settings file
    // keeps, without the lowering of a maintained offset.
    int SavedMax() const { return maintainOffset() ? savedMax_ : state_.MaxFrequency; }
    int SavedMin() const { return maintainOffset() ? savedMin_ : state_.MinFrequency; }

    // "=C": back to plain single tone before the main settings are re-sent.
    // False when the port is closed or the wait ended the sequence.
    bool sendClear();

    // Points SynthHooks.offsetFrequencySend/offsetAmplitudeSend here; Tune
    // and Amplit call them while state.maintainOffset is set.
    void installHooks();

    // Shows (true) or hides "Outside Frequency Limits!".
    std::function<void(bool)> outsideLimits;
    // MaxFrequency or MinFrequency changed: the main slider range follows.
    std::function<void()> limitsChanged;

private:
    void lowerMaximum();
    void reportError(const std::string& message);

    Link& link_;
    SynthState& state_;
    SynthHooks& hooks_;
    ToneController tone_; // for bodge
    int offsetTenths_ = kStartTenths;
    int savedMax_ = 0;
    int savedMin_ = 0;
};

} // namespace plovan
