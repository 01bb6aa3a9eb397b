// The unit's command grammar: "=" + letter + fixed-width upper-case hex
// arguments, ended by `term`. The "a" forms ("=aD", "=aE", "=aU") store into
// the unit's flash. Builders return the command without `term`; the Link adds
// it when the line is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plovan {

// Line terminator of every command: carriage return + line feed.
inline constexpr std::string_view term = "\r\n";

// Register-write heads: "=D" normally, "=aD" while "Save to DDS" is ticked.
inline constexpr std::string_view kRegisterHead = "=D";
inline constexpr std::string_view kRegisterStoreHead = "=aD";

// head + two hex digits of data + two hex digits of register: "=D60E0".
std::string registerWrite(std::string_view head, std::uint8_t data, std::uint8_t reg);

// Control-byte write "=E" / "=aE" + two hex digits.
std::string controlByteWrite(bool storeToFlash, std::uint8_t value);

// Header word write "=H" / "=aH" + six hex digits of address + four of data.
std::string headerWrite(bool storeToFlash, std::uint32_t address, std::uint16_t data);

// Register read-back "=d" + two hex digits of address.
std::string registerRead(std::uint8_t reg);

// The whole line as it goes on the wire.
inline std::string withTerm(std::string_view command)
{
    return std::string(command) + std::string(term);
}

// The text of a line for messages: the line without a trailing `term`.
std::string_view withoutTerm(std::string_view line);

} // namespace plovan
