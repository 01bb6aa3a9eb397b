// The chirp arithmetic: from start and stop frequency, ramp time and dwell
// multiplier to the dwell time, the number of steps and the frequency step
// ("Calculate DeltaF"); the ramp words the unit takes (start, stop, step,
// dwell); and the staircase the unit will put out from those words.
//
// Plain functions over the texts of the chirp fields, as the operator typed
// them. Each returns the new texts of the fields it writes, or a message for
// the operator; nothing here shows or sends anything.
//
// Numbers are read with "." as the decimal point and written in the general
// form (positional, at most 15 significant digits, no trailing zeros),
// whatever the locale.
#pragma once

#include "words.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan {

// Option5: the unit the ramp time (Text25) is typed in.
enum class RampUnit { uS = 0, mS = 1, S = 2 };

// Nanoseconds per unit: 1000, 1000000, 1000000000.
std::uint64_t rampUnitNs(RampUnit unit);
// The ramp-time frame's caption once a unit is chosen: "Ramp time (uS)", ...
std::string rampTimeCaption(RampUnit unit);

// The general number form, times 10^shift (shift 3 turns MHz into kHz
// without a second rounding). "0" for zero; no exponent form, so every text
// written reads back with parseDecimal.
std::string generalText(double value, int significantDigits = 15, int shift = 0);

// The operator's messages of the calculation (the first one has its leading blank).
inline constexpr std::string_view kNStepsTooLow = " N steps is too low, please re enter";
inline constexpr std::string_view kDeltaFOutOfRange = "Delta F is out of range, please re-enter numbers";

// One step of the unit's dwell counter at the 312.5 MHz start-up clock; the
// calculation keeps this constant whatever clock is configured.
inline constexpr double kDwellPeriodNs = 3.2;
// The smallest step the calculation accepts, MHz (about one unit of the step word).
inline constexpr double kMinDeltaFMHz = 0.0000186;
// "Delta F (KHz)" is held to this.
inline constexpr int kMaxDeltaFKHz = 32766;
// The widest words the ramp registers take.
inline constexpr std::uint32_t kMaxDwellMultiplier = 0xFFFFF; // 20 bits, DA-DC
inline constexpr std::uint32_t kMaxStepWord = 0xFFFFFF;       // 24 bits, D0-D2

// The field names used in messages (the captions of their frames).
inline constexpr std::string_view kStartField = "Start Freq";
inline constexpr std::string_view kStopField = "Stop Freq";
inline constexpr std::string_view kDwellMultiplierField = "Dwell Multiplier";
inline constexpr std::string_view kDeltaFField = "Delta F (KHz)";
inline constexpr std::string_view kNStepsField = "N Steps";

// --- the calculation, procedure by procedure ---

struct RampSetUp {
    std::string message;               // a field could not be read; nothing else is set
    double RTime = 0;                  // ramp time, ns
    double DMult = 0;                  // dwell multiplier
    double Dtime = 0;                  // dwell time of one step, ns
    std::string dwellTimeText;         // Text27: dwell time, us
    std::optional<std::string> dwellMultiplierText; // Text23: "1" when a multiplier of 0 was corrected
    // The same values kept exactly, for the step count.
    Decimal rampTime;         // Text25
    std::uint64_t unitNs = 0; // Option5's multiplier
    std::uint32_t dwellMultiplier = 0;
};

// Reads the unit, the ramp time and the dwell multiplier (Option5, Text25,
// Text23). A multiplier that is not a whole number, or wider than the 20-bit
// dwell word, is refused: the unit could not dwell what the calculation
// would assume.
RampSetUp SetUpRamp(RampUnit rampUnit, std::string_view rampTimeText, std::string_view dwellMultiplierText);

struct StepCount {
    double N = 0;
    std::string nStepsText; // Text26: the count as computed (also when too low)
    std::string message; // kNStepsTooLow
    bool SkipFlg = false;
};

// N = floor(RTime / Dtime), computed exactly from the typed values. Below 1:
// the message, N = 1.
StepCount CalcN(const RampSetUp& ramp);

struct StepSize {
    double DF = 0;          // MHz, rounded to 15 significant digits
    std::string deltaFText; // Text22: DF in kHz, before the field's own limit
    std::string message;    // a field could not be read, or kDeltaFOutOfRange
    bool SkipFlg = false;
};

// DF = (stop - start) / N. A step below kMinDeltaFMHz (zero and falling
// ramps included) is out of range; deltaFText still shows it.
StepSize calcDF(std::string_view startText, std::string_view stopText, double N);

// The rule of "Delta F (KHz)" on every change: above 32766 it becomes "32766".
std::string clampDeltaF(std::string_view deltaFText);
// The rule of the stop box in chirp mode: above MaxFrequency it becomes MaxFrequency.
std::string capStop(std::string_view stopText, int MaxFrequency);

// --- "Calculate DeltaF" ---

// The chirp fields as the window shows them.
struct ChirpFields {
    std::string startText = "75";              // Text1 "Start Freq", MHz
    std::string stopText;                      // Text2 "Stop Freq", MHz
    std::string rampTimeText = "20";           // Text25: ramp time, in rampUnit
    RampUnit rampUnit = RampUnit::uS;          // Option5: ramp time unit
    std::string dwellMultiplierText = "00001"; // Text23 "Dwell Multiplier"
    std::string dwellTimeText;                 // Text27 "Dwell Time uS"
    std::string nStepsText;                    // Text26 "N Steps"
    std::string deltaFText;                    // Text22 "Delta F (KHz)"
};

struct ChirpCalculation {
    // New field texts; a field the calculation did not reach keeps its text.
    std::optional<std::string> dwellMultiplierText, dwellTimeText, nStepsText, deltaFText, stopText;
    std::string message;  // for the operator; empty when none
    bool SkipFlg = false; // a check failed: the step or the stop was not computed
    // The values behind the texts.
    double RTime = 0, DMult = 0, Dtime = 0, N = 0, DF = 0;
};

// SetUpRamp, CalcN and calcDF in turn, then the stop frequency recomputed
// from the step as the box shows it (which may have been limited):
// stop = start + nSteps * deltaF / 1000, itself limited to MaxFrequency.
ChirpCalculation calculateDeltaF(const ChirpFields& fields, int MaxFrequency);
// Puts the new texts into the fields.
void applyCalculation(const ChirpCalculation& calc, ChirpFields& fields);

// --- ramp words ---

struct RampWord {
    std::uint32_t word = 0;
    std::string hex;                 // without leading zeros (ftwH, Text24)
    std::string padded;              // as the digits are taken for the registers
    std::vector<std::uint8_t> bytes; // register data in write order
};

struct RampWordResult {
    std::optional<RampWord> word;
    std::string message; // why there is none
};

// A ramp frequency: the word of F MHz, 8 digits; bytes = bits 31-24 (C4/CA)
// and 23-16 (C5/CB). Refused at or above the clock, where no word exists.
RampWordResult rampFrequencyWord(std::string_view text, std::string_view field, double clkFreq = kClkFreq);

// Step word of S kHz: floor(S / 1000 * 2^24 / ClkFreq), exactly, as the
// frequency word. nullopt when it does not fit 24 bits, when the clock is
// not a finite positive number, or for a Decimal parseDecimal would not make.
std::optional<std::uint32_t> stepWord(const Decimal& kHz, double clkFreq = kClkFreq);
// "Delta F (KHz)" as the step word: 6 digits, bytes to D0, D1, D2.
// Refused when not a number, negative or wider than 24 bits.
RampWordResult deltaFWord(std::string_view deltaFText, double clkFreq = kClkFreq);

// "1" -> "00001": the dwell multiplier box as the unit's five digits.
std::string padDwell(std::string_view dwellMultiplierText);
// The dwell word's hex text left-padded to five digits.
std::string PadDwellHex(std::string_view dwellHex);
// "Dwell Multiplier" as the dwell word: 5 digits, bytes "0" + digit 1 (DA),
// digits 2-3 (DB), 4-5 (DC). Refused when not a whole number or above 1048575.
RampWordResult DwelLWord(std::string_view dwellMultiplierText);

// --- the ramp as the unit will produce it ---

struct RampWords {
    std::uint32_t start = 0; // frequency words; only the upper 16 bits reach the unit
    std::uint32_t stop = 0;
    std::uint32_t step = 0;  // 24-bit step word
    std::uint32_t dwell = 0; // dwell multiplier
    std::uint64_t N = 0;     // steps the ramp time asks for
};

struct StairPoint {
    double timeUs; // from this time on ...
    double mhz;    // ... the unit puts out this frequency
};

struct RampPreview {
    std::vector<StairPoint> points; // steps 0, stride, 2 * stride, ..., N
    std::uint64_t stride = 1;       // steps between two points
    double startMHz = 0;            // what the registers give
    double stopMHz = 0;             // frequency after the last step
    double stepKHz = 0;
    double dwellUs = 0;
    double rampTimeUs = 0;   // N dwells
    bool heldAtStop = false; // the steps reach the stop word early; the unit holds there
};

// What the ramp registers mean, in the operator's units: a ramp frequency
// (only the upper 16 bits of `frequencyWord` reach the unit) in MHz, a step
// word in kHz per step, a dwell word in microseconds per step. The staircase
// below and the unit model read the registers with these.
double rampFrequencyMHz(std::uint32_t frequencyWord, double clkFreq = kClkFreq);
double stepWordKHz(std::uint32_t step, double clkFreq = kClkFreq);
double dwellWordUs(std::uint32_t dwell, double clkFreq = kClkFreq);

// The unit starts at the upper 16 bits of the start word and adds the step
// word (in units of ClkFreq / 2^24) once every multiplier + 1 clock periods,
// N times, never rising past the upper 16 bits of the stop word. At most
// maxPoints points (at least 2): beyond that every stride-th step is shown.
RampPreview rampPreview(const RampWords& words, double clkFreq = kClkFreq, std::size_t maxPoints = 1001);

// What the operator asked for, beside what the unit will do.
struct RampPlan {
    RampWord start, stop, step, dwell;
    std::string dwellMultiplierText; // Text23: the multiplier as padDwell writes it back
    RampWords words;
    RampPreview preview;
    double requestedStartMHz = 0, requestedStopMHz = 0, requestedStepKHz = 0, requestedRampTimeUs = 0;
};

struct RampPlanResult {
    std::optional<RampPlan> plan;
    std::string message;
};

// All four words from the fields as they stand after the calculation, and
// the staircase they give. The first field that cannot be written refuses
// the whole ramp.
RampPlanResult planRamp(const ChirpFields& fields, double clkFreq = kClkFreq);

} // namespace plovan
