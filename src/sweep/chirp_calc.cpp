#include "chirp_calc.h"

#include "exact_arith.h"
#include "hex_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace plovan {

namespace {

using namespace exact;

std::string u128Text(u128 v)
{
    if (v == 0) return "0";
    std::string s;
    for (; v != 0; v /= 10)
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    return s;
}

// mantissa / 10^scale in positional form without trailing zeros.
std::string decimalText(u128 mantissa, int scale)
{
    std::string digits = padLeft(u128Text(mantissa), static_cast<std::size_t>(scale) + 1);
    const std::size_t point = digits.size() - static_cast<std::size_t>(scale);
    std::string whole = digits.substr(0, point);
    std::string fraction = digits.substr(point);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return fraction.empty() ? whole : whole + "." + fraction;
}

std::string notANumber(std::string_view field, std::string_view text)
{
    std::string message = std::string(field) + ": \"" + std::string(text) + "\" is not a number";
    if (text.find(',') != std::string_view::npos) message += " (the decimal point is \".\")";
    return message;
}

// The value of a text this calculation wrote or already read successfully.
double valueOf(std::string_view text)
{
    const auto d = parseDecimal(text);
    return d ? d->value() : 0.0;
}

// The value rounded to 15 significant digits, as the decimal type keeps it.
double round15(double v)
{
    if (!std::isfinite(v) || v == 0.0) return v;
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14).ptr;
    double r = 0.0;
    std::from_chars(buf, end, r);
    return r;
}

RampWord wordText(std::uint32_t word, std::size_t width)
{
    RampWord w;
    w.word = word;
    w.hex = hexText(word);
    w.padded = padLeft(w.hex, width);
    return w;
}

std::uint8_t digitsValue(const std::string& text, std::size_t pos, std::size_t count)
{
    return static_cast<std::uint8_t>(HexValue(std::string_view(text).substr(pos, count)));
}

} // namespace

std::uint64_t rampUnitNs(RampUnit unit)
{
    switch (unit) {
    case RampUnit::uS: return 1000;
    case RampUnit::mS: return 1000000;
    case RampUnit::S: return 1000000000;
    }
    return 1000;
}

std::string rampTimeCaption(RampUnit unit)
{
    switch (unit) {
    case RampUnit::uS: return "Ramp time (uS)";
    case RampUnit::mS: return "Ramp time (mS)";
    case RampUnit::S: return "Ramp time (S)";
    }
    return "Ramp time (uS)";
}

std::string generalText(double value, int significantDigits, int shift)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0.0) return "0";
    significantDigits = std::clamp(significantDigits, 1, 17);

    // d.ddde+XX: the digits and the power of ten, without locale.
    char buf[64];
    const auto end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, significantDigits - 1).ptr;
    std::string_view s(buf, static_cast<std::size_t>(end - buf));
    const bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    const std::size_t e = s.find('e');
    std::string digits;
    for (const char c : s.substr(0, e))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
    exponent += shift;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const int before = exponent + 1; // digits in front of the point
    std::string out;
    if (before <= 0)
        out = "0." + std::string(static_cast<std::size_t>(-before), '0') + digits;
    else if (static_cast<std::size_t>(before) >= digits.size())
        out = digits + std::string(static_cast<std::size_t>(before) - digits.size(), '0');
    else
        out = digits.substr(0, static_cast<std::size_t>(before)) + "." +
              digits.substr(static_cast<std::size_t>(before));
    return negative ? "-" + out : out;
}

// --- the calculation ---

RampSetUp SetUpRamp(RampUnit rampUnit, std::string_view rampTimeText, std::string_view dwellMultiplierText)
{
    RampSetUp r;
    const auto rampTime = parseDecimal(rampTimeText);
    if (!rampTime) {
        r.message = notANumber(rampTimeCaption(rampUnit), rampTimeText);
        return r;
    }
    const auto multiplier = parseDecimal(dwellMultiplierText);
    if (!multiplier) {
        r.message = notANumber(kDwellMultiplierField, dwellMultiplierText);
        return r;
    }
    // The unit counts whole clock periods; a fraction would make the dwell
    // time shown differ from the one the unit keeps.
    if (multiplier->scale != 0) {
        r.message = std::string(kDwellMultiplierField) + ": \"" + std::string(dwellMultiplierText) +
                    "\" is not a whole number";
        return r;
    }
    if (multiplier->mantissa > kMaxDwellMultiplier) {
        r.message = std::string(kDwellMultiplierField) + ": " + std::to_string(multiplier->mantissa) +
                    " is above " + std::to_string(kMaxDwellMultiplier) +
                    ", the most the unit's 20-bit dwell word holds";
        return r;
    }

    r.rampTime = *rampTime;
    r.unitNs = rampUnitNs(rampUnit);
    r.dwellMultiplier = static_cast<std::uint32_t>(multiplier->mantissa);
    if (r.dwellMultiplier == 0) {
        r.dwellMultiplier = 1;
        r.dwellMultiplierText = "1";
    }
    r.RTime = static_cast<double>(r.unitNs) * rampTime->value();
    r.DMult = r.dwellMultiplier;
    r.Dtime = (r.DMult + 1) * kDwellPeriodNs;
    // (DMult + 1) * 3.2 ns / 1000 = (DMult + 1) * 32 / 10^4 us, exactly.
    r.dwellTimeText = decimalText(u128{r.dwellMultiplier + 1u} * 32, 4);
    return r;
}

StepCount CalcN(const RampSetUp& ramp)
{
    // RTime / Dtime = unitNs * T / ((DMult + 1) * 16 / 5), T = mantissa / 10^scale.
    StepCount c;
    u128 n = 0;
    if (exactRange(ramp.rampTime) && ramp.dwellMultiplier <= kMaxDwellMultiplier) {
        const u128 num = u128{ramp.unitNs} * ramp.rampTime.mantissa * 5;
        const u128 den = pow10(ramp.rampTime.scale) * 16 * (u128{ramp.dwellMultiplier} + 1);
        n = num / den;
        c.N = static_cast<double>(n);
    }
    else {
        c.N = ramp.Dtime > 0 ? std::floor(ramp.RTime / ramp.Dtime) : 0.0;
    }
    c.nStepsText = generalText(c.N);
    if (c.N <= 0) {
        c.message = std::string(kNStepsTooLow);
        c.N = 1;
        c.SkipFlg = true;
    }
    return c;
}

StepSize calcDF(std::string_view startText, std::string_view stopText, double N)
{
    StepSize s;
    const auto start = parseDecimal(startText);
    if (!start) {
        s.message = notANumber(kStartField, startText);
        s.SkipFlg = true;
        return s;
    }
    const auto stop = parseDecimal(stopText);
    if (!stop) {
        s.message = notANumber(kStopField, stopText);
        s.SkipFlg = true;
        return s;
    }
    const double span = stop->value() - start->value();
    s.DF = round15(span / N);
    s.deltaFText = generalText(s.DF, 15, 3);
    if (s.DF < kMinDeltaFMHz) {
        s.message = std::string(kDeltaFOutOfRange);
        s.SkipFlg = true;
    }
    return s;
}

std::string clampDeltaF(std::string_view deltaFText)
{
    const auto v = parseDecimal(deltaFText);
    if (v && v->value() > kMaxDeltaFKHz) return std::to_string(kMaxDeltaFKHz);
    return std::string(deltaFText);
}

std::string capStop(std::string_view stopText, int MaxFrequency)
{
    const auto v = parseDecimal(stopText);
    if (v && v->value() > MaxFrequency) return std::to_string(MaxFrequency);
    return std::string(stopText);
}

ChirpCalculation calculateDeltaF(const ChirpFields& fields, int MaxFrequency)
{
    ChirpCalculation c;
    const RampSetUp ramp = SetUpRamp(fields.rampUnit, fields.rampTimeText, fields.dwellMultiplierText);
    if (!ramp.message.empty()) {
        c.message = ramp.message;
        c.SkipFlg = true;
        return c;
    }
    c.dwellMultiplierText = ramp.dwellMultiplierText;
    c.dwellTimeText = ramp.dwellTimeText;
    c.RTime = ramp.RTime;
    c.DMult = ramp.DMult;
    c.Dtime = ramp.Dtime;

    const StepCount count = CalcN(ramp);
    c.nStepsText = count.nStepsText;
    c.N = count.N;
    if (count.SkipFlg) {
        c.message = count.message;
        c.SkipFlg = true;
        return c;
    }

    const StepSize size = calcDF(fields.startText, fields.stopText, count.N);
    if (!size.deltaFText.empty()) c.deltaFText = clampDeltaF(size.deltaFText);
    c.DF = size.DF;
    if (size.SkipFlg) {
        c.message = size.message;
        c.SkipFlg = true;
        return c;
    }

    // The stop as the unit will reach it with the step the box now shows.
    const double stop = valueOf(fields.startText) + valueOf(*c.nStepsText) * valueOf(*c.deltaFText) / 1000;
    c.stopText = capStop(generalText(stop), MaxFrequency);
    return c;
}

void applyCalculation(const ChirpCalculation& calc, ChirpFields& fields)
{
    if (calc.dwellMultiplierText) fields.dwellMultiplierText = *calc.dwellMultiplierText;
    if (calc.dwellTimeText) fields.dwellTimeText = *calc.dwellTimeText;
    if (calc.nStepsText) fields.nStepsText = *calc.nStepsText;
    if (calc.deltaFText) fields.deltaFText = *calc.deltaFText;
    if (calc.stopText) fields.stopText = *calc.stopText;
}

// --- words ---

RampWordResult rampFrequencyWord(std::string_view text, std::string_view field, double clkFreq)
{
    const auto mhz = parseDecimal(text);
    if (!mhz) return {.word = {}, .message = notANumber(field, text)};
    const auto word = frequencyWord(*mhz, {}, clkFreq);
    if (!word)
        return {.word = {},
                .message = std::string(field) + ": " + generalText(mhz->value()) +
                           " MHz has no frequency word; it must be below the clock (" + generalText(clkFreq) +
                           " MHz)"};
    RampWord w = wordText(*word, 8);
    w.bytes = {static_cast<std::uint8_t>(*word >> 24), static_cast<std::uint8_t>(*word >> 16)};
    return {.word = w, .message = {}};
}

std::optional<std::uint32_t> stepWord(const Decimal& kHz, double clkFreq)
{
    const auto clk = binaryValue(clkFreq);
    if (!clk || !exactRange(kHz)) return std::nullopt;
    // S / 1000 * 2^24 / (odd * 2^exp) with S = mantissa / 10^scale.
    const auto w =
        floorShifted(kHz.mantissa, 24 - clk->exp, pow10(kHz.scale) * 1000 * clk->odd, kMaxStepWord);
    if (!w) return std::nullopt;
    return static_cast<std::uint32_t>(*w);
}

RampWordResult deltaFWord(std::string_view deltaFText, double clkFreq)
{
    const auto kHz = parseDecimal(deltaFText);
    if (!kHz) {
        const auto first = deltaFText.find_first_not_of(" \t");
        if (first != std::string_view::npos && deltaFText[first] == '-')
            return {.word = {},
                    .message = std::string(kDeltaFField) + ": " + std::string(deltaFText) +
                               " is below zero; the ramp rises from start to stop"};
        return {.word = {}, .message = notANumber(kDeltaFField, deltaFText)};
    }
    const auto word = stepWord(*kHz, clkFreq);
    if (!word)
        return {.word = {},
                .message = std::string(kDeltaFField) + ": a step of " + generalText(kHz->value()) +
                           " kHz needs a step word wider than the unit's 24 bits (at most " +
                           generalText(kMaxStepWord * clkFreq / 16777216.0 * 1000, 6) + " kHz)"};
    RampWord w = wordText(*word, 6);
    w.bytes = {static_cast<std::uint8_t>(*word >> 16), static_cast<std::uint8_t>(*word >> 8),
               static_cast<std::uint8_t>(*word)};
    return {.word = w, .message = {}};
}

std::string padDwell(std::string_view dwellMultiplierText)
{
    return padLeft(dwellMultiplierText, 5);
}

std::string PadDwellHex(std::string_view dwellHex)
{
    return padLeft(dwellHex, 5);
}

RampWordResult DwelLWord(std::string_view dwellMultiplierText)
{
    const auto m = parseDecimal(dwellMultiplierText);
    if (!m) return {.word = {}, .message = notANumber(kDwellMultiplierField, dwellMultiplierText)};
    if (m->scale != 0)
        return {.word = {},
                .message = std::string(kDwellMultiplierField) + ": \"" + std::string(dwellMultiplierText) +
                           "\" is not a whole number"};
    if (m->mantissa > kMaxDwellMultiplier)
        return {.word = {},
                .message = std::string(kDwellMultiplierField) + ": " + std::to_string(m->mantissa) +
                           " is above " + std::to_string(kMaxDwellMultiplier) +
                           ", the most the unit's 20-bit dwell word holds"};
    RampWord w;
    w.word = static_cast<std::uint32_t>(m->mantissa);
    w.hex = hexText(w.word);
    w.padded = PadDwellHex(w.hex);
    // DA takes "0" and the first digit: the word's bits 19-16.
    w.bytes = {digitsValue(w.padded, 0, 1), digitsValue(w.padded, 1, 2), digitsValue(w.padded, 3, 2)};
    return {.word = w, .message = {}};
}

// --- the staircase ---

namespace {
// One unit of a frequency word, in MHz; a step word counts in units of 2^8 of them.
double mhzPerUnit(double clkFreq)
{
    return clkFreq / 4294967296.0;
}
constexpr std::uint64_t kStepShift = 8;
} // namespace

double rampFrequencyMHz(std::uint32_t frequencyWord, double clkFreq)
{
    return static_cast<double>(frequencyWord & 0xFFFF0000u) * mhzPerUnit(clkFreq);
}

double stepWordKHz(std::uint32_t step, double clkFreq)
{
    return static_cast<double>(std::uint64_t{step} << kStepShift) * mhzPerUnit(clkFreq) * 1000;
}

double dwellWordUs(std::uint32_t dwell, double clkFreq)
{
    // The unit dwells multiplier + 1 clock periods on each step.
    return (static_cast<double>(dwell) + 1) / clkFreq;
}

RampPreview rampPreview(const RampWords& words, double clkFreq, std::size_t maxPoints)
{
    RampPreview p;
    const std::uint64_t startReg = words.start & 0xFFFF0000u;
    const std::uint64_t stopReg = words.stop & 0xFFFF0000u;
    const std::uint64_t increment = std::uint64_t{words.step} << kStepShift;
    const double unitMHz = mhzPerUnit(clkFreq);
    const bool rising = stopReg >= startReg;

    p.startMHz = rampFrequencyMHz(words.start, clkFreq);
    p.stepKHz = stepWordKHz(words.step, clkFreq);
    p.dwellUs = dwellWordUs(words.dwell, clkFreq);
    p.rampTimeUs = static_cast<double>(words.N) * p.dwellUs;
    p.heldAtStop = rising && u128{words.N} * increment > stopReg - startReg;

    const auto level = [&](std::uint64_t k) {
        if (rising && u128{k} * increment >= stopReg - startReg)
            return static_cast<double>(stopReg) * unitMHz;
        return p.startMHz + static_cast<double>(k) * static_cast<double>(increment) * unitMHz;
    };

    maxPoints = std::max<std::size_t>(maxPoints, 2);
    if (words.N < maxPoints) {
        p.stride = 1;
    }
    else {
        const std::uint64_t gaps = maxPoints - 1;
        p.stride = (words.N + gaps - 1) / gaps;
    }
    for (std::uint64_t k = 0;; k += p.stride) {
        if (k >= words.N) {
            p.points.push_back({static_cast<double>(words.N) * p.dwellUs, level(words.N)});
            break;
        }
        p.points.push_back({static_cast<double>(k) * p.dwellUs, level(k)});
    }
    p.stopMHz = p.points.back().mhz;
    return p;
}

RampPlanResult planRamp(const ChirpFields& fields, double clkFreq)
{
    RampPlan plan;
    const auto fail = [](std::string message) {
        return RampPlanResult{.plan = {}, .message = std::move(message)};
    };

    auto start = rampFrequencyWord(fields.startText, kStartField, clkFreq);
    if (!start.word) return fail(start.message);
    auto stop = rampFrequencyWord(fields.stopText, kStopField, clkFreq);
    if (!stop.word) return fail(stop.message);
    // Only the upper 16 bits reach the unit; a stop below the start there
    // would make the rising steps run away from it.
    if ((stop.word->word >> 16) < (start.word->word >> 16))
        return fail(std::string(kStopField) + " (" + fields.stopText + " MHz) is below " +
                    std::string(kStartField) + " (" + fields.startText + " MHz); the ramp only rises");
    auto step = deltaFWord(fields.deltaFText, clkFreq);
    if (!step.word) return fail(step.message);
    auto dwell = DwelLWord(fields.dwellMultiplierText);
    if (!dwell.word) return fail(dwell.message);
    const auto n = parseDecimal(fields.nStepsText);
    if (!n) return fail(notANumber(kNStepsField, fields.nStepsText));
    if (n->scale != 0 || n->mantissa > (std::uint64_t{1} << 53))
        return fail(std::string(kNStepsField) + ": \"" + fields.nStepsText +
                    "\" is not a whole number of steps");
    const auto rampTime = parseDecimal(fields.rampTimeText);
    if (!rampTime) return fail(notANumber(rampTimeCaption(fields.rampUnit), fields.rampTimeText));

    plan.start = *start.word;
    plan.stop = *stop.word;
    plan.step = *step.word;
    plan.dwell = *dwell.word;
    plan.dwellMultiplierText = padDwell(fields.dwellMultiplierText);
    plan.words = {.start = plan.start.word,
                  .stop = plan.stop.word,
                  .step = plan.step.word,
                  .dwell = plan.dwell.word,
                  .N = n->mantissa};
    plan.preview = rampPreview(plan.words, clkFreq);
    plan.requestedStartMHz = valueOf(fields.startText);
    plan.requestedStopMHz = valueOf(fields.stopText);
    plan.requestedStepKHz = valueOf(fields.deltaFText);
    plan.requestedRampTimeUs = rampTime->value() * static_cast<double>(rampUnitNs(fields.rampUnit)) / 1000;
    return {.plan = plan, .message = {}};
}

} // namespace plovan
