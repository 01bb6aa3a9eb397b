// The single-tone state the synthesis procedures work on: the main window's
// form fields, and a mirror of the controls they read and write. The window
// copies its controls in before calling a procedure and shows the written
// fields afterwards; plovanctl fills the same struct from its options.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace plovan {

struct SynthState {
    // --- form fields ---
    double ClkFreq = 312.5; // synthesiser clock, MHz
    int AmpMultFact = 4;    // amplitude multiplier: 4 for one channel, 2 for more
    bool MultiElecMode = true;
    int CtrlReg = 0;        // channel mask, bit 0 = channel 1 ... bit 3 = channel 4
    int MaxFrequency = 140; // MHz
    int MinFrequency = 80;  // MHz
    std::string IntClkWrd = "0001";
    std::string ftwH;     // hex text of the last frequency word
    std::string PhaseHex; // hex text of the last phase word
    std::string Amp;      // hex text of the last amplitude word
    std::string AmP2;     // second amplitude, 4 hex digits
    std::string Amp2FixeD = "0800"; // second amplitude written with "Amp Tracking" and at connect

    // --- controls read (texts exactly as typed) ---
    std::string frequencyText = "75";     // Text1: frequency, MHz
    std::string fineFrequencyText = "00"; // Text5: fine frequency, hundredths of a MHz ("Hires F")
    std::string phaseText = "0";          // Text2: phase, degrees (in chirp mode the stop frequency, MHz)
    std::string amplitudeText = "512";    // Text3: amplitude, 0-1024
    bool hiresF = false;              // Check3 "Hires F"
    bool ampTracking = true;          // Check10 "Amp Tracking"
    bool chirpMode = false;           // Option1 "Chirp" selected (else Option2 "Single")
    std::array<bool, 4> channelBox{}; // Check5..Check8, channels "1".."4"
    bool fixedEnable = false;         // "Fixed enable" of the fixed-frequency window
    bool maintainOffset = false;      // "Maintain Offset" of the offset window

    // --- controls written ---
    std::string writtenWordText;            // Text4: the word being written, padded
    std::string tableFrequencyText;         // Text29: table builder, upper four digits of the frequency word
    std::string tableAmplitudeText = "800"; // Text30: table builder, amplitude word
    std::string phaseWordText;              // Text32: phase word in decimal
};

// What the procedures ask of the window around their writes.
struct SynthHooks {
    // A procedure starts (true) or ends (false) writing to the unit; the
    // window greys its controls meanwhile. Calls come in pairs.
    std::function<void(bool busy)> busy;
    std::function<void(const std::string&)> echo;  // a line for the echo box (Text20), with its CR LF
    std::function<void(const std::string&)> warn;  // an operator warning for the status bar
    std::function<void(const std::string&)> error; // refused input: a message box in the window
    std::function<bool()> offsetFrequencySend;     // "Maintain Offset": follow a new frequency
    std::function<bool()> offsetAmplitudeSend;     // "Maintain Offset": follow a new amplitude
};

} // namespace plovan
