// Hex text as the unit and its files use it: upper-case digits, no leading
// zeros, left-padded with "0" to the width a register or file field needs.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

// Upper-case hex without leading zeros ("0" for zero). A negative value is
// shown as its 32-bit two's complement, as the unit's 32-bit words are.
std::string hexText(std::int64_t value);
template <std::integral T>
requires(!std::same_as<T, std::int64_t>) std::string hexText(T value)
{
    return hexText(static_cast<std::int64_t>(value));
}

// A value that is not whole is rounded to the nearest integer first, a half
// going to the even neighbour (2.5 -> 2, 3.5 -> 4).
std::string hexText(double value);

// Left-pads with "0" until the text has at least `width` characters; never cuts.
std::string padLeft(std::string_view text, std::size_t width);

// Pads a word's hex text to the four digits of a 16-bit register pair.
inline std::string PaD(std::string_view text)
{
    return padLeft(text, 4);
}

// hexText padded to `width`: the fixed-width argument of a command line.
std::string hexField(std::int64_t value, std::size_t width);

// Value of a hexadecimal text (either case): 0 for empty text, -1 when a
// character is not a hex digit or the value does not fit 32 bits unsigned.
std::int64_t HexValue(std::string_view text);

// Byte k of a record line: the value of the two characters starting at
// 0-based position 2k (fewer where the line is short). Empty when those
// characters are not hex, so the caller keeps what the byte held before.
std::optional<std::uint8_t> recordByte(std::string_view line, std::size_t k);

} // namespace plovan
