#include "words.h"

#include "exact_arith.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace plovan {

namespace {

using namespace exact;

constexpr std::uint32_t kMaxWord = std::numeric_limits<std::uint32_t>::max();

std::optional<std::uint32_t> toWord32(double w)
{
    if (!(w >= 0.0) || w > static_cast<double>(kMaxWord)) return std::nullopt;
    return static_cast<std::uint32_t>(w);
}

// F * 2^32 / ClkFreq = num / den, exactly.
struct FrequencyRatio {
    bool atOrAboveClock = false; // no 32-bit word; num and den unset
    u128 num = 0;
    u128 den = 1;
};

std::optional<FrequencyRatio> frequencyRatio(const Decimal& mhz, const Decimal& hundredths, double clkFreq)
{
    const auto clk = smallBinaryFraction(clkFreq);
    if (!clk || !exactRange(mhz) || !exactRange(hundredths)) return std::nullopt;

    // F = mhz + hundredths / 100 = m / 10^s; m stays below 2 * 10^38.
    u128 m = mhz.mantissa;
    int s = mhz.scale;
    if (hundredths.mantissa != 0) {
        s = std::max(mhz.scale, hundredths.scale + 2);
        m = mhz.mantissa * pow10(s - mhz.scale) + hundredths.mantissa * pow10(s - hundredths.scale - 2);
    }
    const u128 p = pow10(s);

    // Whole MHz at or above the clock (rounded up) have no word; below it, m
    // is small enough for the shift.
    const u128 clkCeil = clk->exp >= 0 ? u128{clk->odd} << clk->exp : (u128{clk->odd} >> -clk->exp) + 1;
    if (m / p >= clkCeil) return FrequencyRatio{.atOrAboveClock = true};
    return FrequencyRatio{.num = m << (32 - clk->exp), .den = p * clk->odd};
}

} // namespace

std::string shortestText(double v)
{
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

double Decimal::value() const
{
    // from_chars reads with "." whatever the locale, and rounds correctly.
    const std::string text = std::to_string(mantissa) + "e-" + std::to_string(scale);
    double v = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

std::optional<Decimal> parseDecimal(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);

    std::string_view whole = text;
    std::string_view fraction;
    if (const auto point = text.find('.'); point != std::string_view::npos) {
        whole = text.substr(0, point);
        fraction = text.substr(point + 1);
    }
    const auto allDigits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!allDigits(whole) || !allDigits(fraction)) return std::nullopt;

    // Zeros in front of the number and after its last fraction digit carry nothing.
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    std::string_view fractionDigits = fraction;
    if (whole.empty())
        while (!fractionDigits.empty() && fractionDigits.front() == '0')
            fractionDigits.remove_prefix(1);
    if (whole.size() + fractionDigits.size() > 18 || fraction.size() > Decimal::kMaxScale)
        return std::nullopt;

    Decimal d;
    d.scale = static_cast<int>(fraction.size());
    for (const char c : whole)
        d.mantissa = d.mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    for (const char c : fraction)
        d.mantissa = d.mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    return d;
}

// --- frequency ---

std::optional<std::uint32_t> frequencyWordFormula(double mhz, double clkFreq)
{
    return toWord32(std::floor(mhz * 281474976710656.0 / clkFreq / 65536.0));
}

double frequencyMHz(const Decimal& mhz, const Decimal& hundredths)
{
    return mhz.value() + hundredths.value() / 100.0;
}

std::optional<std::uint32_t> frequencyWordExact(const Decimal& mhz, const Decimal& hundredths, double clkFreq)
{
    const auto ratio = frequencyRatio(mhz, hundredths, clkFreq);
    if (!ratio || ratio->atOrAboveClock) return std::nullopt;
    const u128 q = ratio->num / ratio->den;
    if (q > kMaxWord) return std::nullopt;
    return static_cast<std::uint32_t>(q);
}

std::optional<std::uint32_t> frequencyWord(const Decimal& mhz, const Decimal& hundredths, double clkFreq)
{
    const auto formula = [&] { return frequencyWordFormula(frequencyMHz(mhz, hundredths), clkFreq); };
    const auto ratio = frequencyRatio(mhz, hundredths, clkFreq);
    if (!ratio) return formula();
    if (ratio->atOrAboveClock) return std::nullopt;
    return floorAsFormula(ratio->num, ratio->den, kMaxWord, formula);
}

// --- phase ---

namespace {
constexpr std::uint32_t kPhaseFull = 16383; // word of 360 degrees
}

std::optional<std::uint32_t> phaseWordFormula(double degrees)
{
    const double factor = 16383.0 / 360.0;
    return toWord32(std::floor(degrees * factor));
}

std::optional<std::uint32_t> phaseWordExact(const Decimal& degrees)
{
    if (!exactRange(degrees)) return std::nullopt;
    const u128 q = u128{degrees.mantissa} * kPhaseFull / (360 * pow10(degrees.scale));
    if (q > kMaxWord) return std::nullopt;
    return static_cast<std::uint32_t>(q);
}

std::optional<std::uint16_t> phaseWord(const Decimal& degrees)
{
    const auto formula = [&] { return phaseWordFormula(degrees.value()); };
    const auto w = exactRange(degrees) ? floorAsFormula(u128{degrees.mantissa} * kPhaseFull,
                                                        360 * pow10(degrees.scale), kMaxWord, formula)
                                       : formula();
    if (!w || *w > kPhaseFull) return std::nullopt;
    return static_cast<std::uint16_t>(*w);
}

// --- amplitude ---

namespace {
constexpr unsigned kAmpMax = 4095;
constexpr unsigned kAmpMin = 2;
} // namespace

std::uint16_t amplitWordFormula(double amplitude, unsigned ampMultFact)
{
    double amp = amplitude * ampMultFact;
    if (amp > kAmpMax) amp = kAmpMax;
    if (amp < kAmpMin) amp = kAmpMin;
    return static_cast<std::uint16_t>(std::nearbyint(amp)); // half to even
}

std::uint16_t amplitWord(const Decimal& amplitude, unsigned ampMultFact)
{
    const auto formula = [&] {
        return std::optional<std::uint32_t>(amplitWordFormula(amplitude.value(), ampMultFact));
    };
    if (!exactRange(amplitude)) return static_cast<std::uint16_t>(*formula());
    const u128 num = u128{amplitude.mantissa} * ampMultFact;
    const u128 den = pow10(amplitude.scale);
    // At the limits both sides agree whatever the rounding.
    if (num >= kAmpMax * den) return kAmpMax;
    if (num <= kAmpMin * den) return kAmpMin;
    // Nearest: floor(x + 1/2); an exact half goes to the formula, which rounds it to even.
    return static_cast<std::uint16_t>(*floorAsFormula(2 * num + den, 2 * den, kMaxWord, formula));
}

std::uint16_t amplitSpecialWordFormula(double amplitude, unsigned factor)
{
    const double amp = std::floor(amplitude * factor);
    return static_cast<std::uint16_t>(amp > kAmpMax ? kAmpMax : amp);
}

std::uint16_t amplitSpecialWord(const Decimal& amplitude, unsigned factor)
{
    const auto formula = [&] {
        return std::optional<std::uint32_t>(amplitSpecialWordFormula(amplitude.value(), factor));
    };
    if (!exactRange(amplitude)) return static_cast<std::uint16_t>(*formula());
    const u128 num = u128{amplitude.mantissa} * factor;
    const u128 den = pow10(amplitude.scale);
    if (num >= kAmpMax * den) return kAmpMax;
    return static_cast<std::uint16_t>(*floorAsFormula(num, den, kMaxWord, formula));
}

} // namespace plovan
