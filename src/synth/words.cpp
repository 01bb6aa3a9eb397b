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

std::optional<Decimal> decimalOf(double v)
{
    if (!std::isfinite(v) || v < 0.0) return std::nullopt;
    // Fixed form: parseDecimal takes no exponent.
    char buf[400];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr;
    return parseDecimal(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

// --- frequency ---

double frequencyMHz(const Decimal& mhz, const Decimal& hundredths)
{
    return mhz.value() + hundredths.value() / 100.0;
}

std::optional<std::uint32_t> frequencyWord(const Decimal& mhz, const Decimal& hundredths, double clkFreq)
{
    const auto clk = binaryValue(clkFreq);
    if (!clk || !exactRange(mhz) || !exactRange(hundredths)) return std::nullopt;

    // F = mhz + hundredths / 100 = m / 10^s; m stays below 2 * 10^38.
    u128 m = mhz.mantissa;
    int s = mhz.scale;
    if (hundredths.mantissa != 0) {
        s = std::max(mhz.scale, hundredths.scale + 2);
        m = mhz.mantissa * pow10(s - mhz.scale) + hundredths.mantissa * pow10(s - hundredths.scale - 2);
    }
    // F * 2^32 / (odd * 2^exp); a quotient past 32 bits is F at or above the clock.
    const auto w = floorShifted(m, 32 - clk->exp, pow10(s) * clk->odd, kMaxWord);
    if (!w) return std::nullopt;
    return static_cast<std::uint32_t>(*w);
}

// --- phase ---

namespace {
constexpr std::uint32_t kPhaseFull = 16383; // word of 360 degrees
}

std::optional<std::uint16_t> phaseWord(const Decimal& degrees)
{
    if (!exactRange(degrees)) return std::nullopt;
    const auto w =
        floorShifted(u128{degrees.mantissa} * kPhaseFull, 0, 360 * pow10(degrees.scale), kPhaseFull);
    if (!w) return std::nullopt;
    return static_cast<std::uint16_t>(*w);
}

// --- amplitude ---

namespace {

constexpr unsigned kAmpMax = 4095;
constexpr unsigned kAmpMin = 2;

// amplitude * factor = num / den: num < 2^96, and kAmpMax * den fits.
struct AmplitudeProduct {
    u128 num;
    u128 den;
};

AmplitudeProduct amplitudeProduct(const Decimal& amplitude, unsigned factor)
{
    // parseDecimal makes no other scales; a hand-made Decimal is held to its range.
    return {u128{amplitude.mantissa} * factor, pow10(std::clamp(amplitude.scale, 0, Decimal::kMaxScale))};
}

} // namespace

std::uint16_t amplitWord(const Decimal& amplitude, unsigned ampMultFact)
{
    const auto [num, den] = amplitudeProduct(amplitude, ampMultFact);
    if (num >= kAmpMax * den) return kAmpMax;
    if (num <= kAmpMin * den) return kAmpMin;
    auto q = static_cast<std::uint16_t>(num / den);
    const u128 twice = 2 * (num % den);
    if (twice > den || (twice == den && q % 2 != 0)) ++q;
    return q;
}

std::uint16_t amplitSpecialWord(const Decimal& amplitude, unsigned factor)
{
    const auto [num, den] = amplitudeProduct(amplitude, factor);
    if (num >= kAmpMax * den) return kAmpMax;
    return static_cast<std::uint16_t>(num / den);
}

} // namespace plovan
