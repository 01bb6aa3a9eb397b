// The synthesiser's words: frequency, phase and amplitude as the unit's
// registers take them, computed from the numbers the operator typed.
//
// One rule: each word is the floor (amplitWord: the nearest, a half to even)
// of the exact rational value of the typed decimal, in integers. For every
// value typed in practice (hundredths of a MHz, thousandths of a degree or
// of the amplitude) that is what the procedures' double arithmetic always
// sent. Only a long decimal within the double's rounding of a word boundary
// could land on the wrong side of it there; the exact word never does.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

// A number as typed into a box, kept exactly: mantissa / 10^scale.
// Normalised: no trailing zeros after the point, so equal numbers compare equal.
struct Decimal {
    static constexpr int kMaxScale = 18;
    static constexpr std::uint64_t kMaxMantissa = 999'999'999'999'999'999; // 18 digits

    std::uint64_t mantissa = 0;
    int scale = 0; // digits after the point

    // The nearest double, as the ordinary text-to-number conversion reads it;
    // for messages and display, never for a word.
    double value() const;

    bool operator==(const Decimal&) const = default;
};

// Digits with at most one "." ("100", "100.5", ".5", "5."), blanks around
// ignored. "." is the decimal point whatever the locale; anything else
// (",", signs, exponents), an empty text or more than 18 significant digits
// gives nullopt.
std::optional<Decimal> parseDecimal(std::string_view text);

// The shortest decimal that reads back as v (the digits shortestText shows),
// for a value the program holds as a double; nullopt when it is negative,
// not finite or needs more than 18 digits or places.
std::optional<Decimal> decimalOf(double v);

// Shortest text that reads back as the same double, "." whatever the locale;
// for numbers quoted in messages.
std::string shortestText(double v);

// ClkFreq, the synthesiser clock in MHz.
inline constexpr double kClkFreq = 312.5;

// --- frequency word: floor(F * 2^32 / ClkFreq), F in MHz ---

// F = mhz + hundredths / 100 ("Hires F" adds Text5 hundredths to Text1),
// exactly. Any finite positive clock is taken as the exact binary value of
// the double. nullopt when F >= ClkFreq (the word no longer fits 32 bits),
// when the clock is not a finite positive number, or for a Decimal
// parseDecimal would not make.
std::optional<std::uint32_t> frequencyWord(const Decimal& mhz, const Decimal& hundredths = {},
                                           double clkFreq = kClkFreq);
// F as a double, for messages: Text1 + Text5 / 100.
double frequencyMHz(const Decimal& mhz, const Decimal& hundredths = {});

// Words of 2^31 and more belong to frequencies at or above half the clock:
// still sent, but the output is an alias, so the operator is warned.
inline bool atOrAboveNyquist(std::uint32_t frequencyWord)
{
    return frequencyWord >= 0x8000'0000u;
}

// The four bytes of a frequency word, most significant first (44, 45, 46, 47).
inline std::array<std::uint8_t, 4> wordBytes(std::uint32_t word)
{
    return {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
            static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
}

// --- phase word: floor(P * 16383 / 360), P in degrees ---

// The 14-bit word; nullopt above 16383 (P beyond 360 degrees) and for a
// Decimal parseDecimal would not make. The factor is 16383/360, not
// 16384/360: 360 degrees gives 3FFF.
std::optional<std::uint16_t> phaseWord(const Decimal& degrees);

// --- amplitude words (12 bits) ---

// Amplit: A * AmpMultFact limited to 2 ... 4095; a product that is not whole
// is rounded to the nearest, a half to even, as the hex conversion does.
std::uint16_t amplitWord(const Decimal& amplitude, unsigned ampMultFact);

// AmplitSpecial: floor(A * factor), at most 4095, no lower limit. Group 1
// uses AmpMultFact as the factor, group 2 uses 2.
std::uint16_t amplitSpecialWord(const Decimal& amplitude, unsigned factor);

// Register bytes of a 16-bit word: the first and last two of its four hex digits.
inline std::uint8_t highByte(std::uint16_t word)
{
    return static_cast<std::uint8_t>(word >> 8);
}
inline std::uint8_t lowByte(std::uint16_t word)
{
    return static_cast<std::uint8_t>(word);
}

} // namespace plovan
