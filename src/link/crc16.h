// CRC-16 of table lines. The unit checks each LUT line against a 16-bit CRC
// appended as four hex digits. Its firmware's exact model is not documented;
// XMODEM is what it answers to, and the other common models stay selectable
// here, in this one place, should a firmware revision differ.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plovan {

enum class Crc16Model {
    Xmodem,     // poly 1021, init 0000, not reflected, xorout 0000 (check 31C3)
    CcittFalse, // poly 1021, init FFFF, not reflected, xorout 0000 (check 29B1)
    Kermit,     // poly 1021, init 0000, reflected,     xorout 0000 (check 2189)
    X25,        // poly 1021, init FFFF, reflected,     xorout FFFF (check 906E)
    Arc,        // poly 8005, init 0000, reflected,     xorout 0000 (check BB3D)
    Modbus,     // poly 8005, init FFFF, reflected,     xorout 0000 (check 4B37)
};

// The model the unit uses for line CRCs.
inline constexpr Crc16Model kUnitLineCrc = Crc16Model::Xmodem;

std::uint16_t crc16(std::span<const std::uint8_t> bytes, Crc16Model model = kUnitLineCrc);

std::optional<Crc16Model> crc16ModelFromName(std::string_view name);
std::string_view crc16ModelName(Crc16Model model);

// The CRC of a line's bytes as the unit expects it appended: four hex digits.
std::string lineCrcText(std::span<const std::uint8_t> bytes, Crc16Model model = kUnitLineCrc);

} // namespace plovan
