#include "unit_protocol.h"

#include "hex_text.h"

#include <cctype>

namespace plovan::unit {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    return s;
}

bool allHex(std::string_view s)
{
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return !s.empty();
}

} // namespace

std::string byteReadbackLine(std::uint8_t value)
{
    return hexField(value, 2) + "\r\n";
}

std::string analogueLine(const AnalogueReading& values)
{
    std::string line;
    for (auto v : values) {
        line += kAnalogueSeparator;
        line += hexField(v & 0xFFF, 3);
    }
    return line + "\r\n";
}

std::string statusLine(std::string_view status)
{
    return std::string(status) + "\r\n";
}

std::optional<std::uint8_t> parseByteReadback(std::string_view line)
{
    line = trimmed(line);
    if (line.size() < 2) return std::nullopt;
    const auto digits = line.substr(line.size() - 2);
    // A third hex digit in front would make it a wider value, not a byte.
    if (!allHex(digits) ||
        (line.size() > 2 && std::isxdigit(static_cast<unsigned char>(line[line.size() - 3]))))
        return std::nullopt;
    return static_cast<std::uint8_t>(HexValue(digits));
}

std::optional<AnalogueReading> parseAnalogue(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    constexpr std::size_t width = kAnalogueLineLength - 2;
    if (line.size() < width) return std::nullopt;
    line = line.substr(line.size() - width);
    AnalogueReading out{};
    for (std::size_t k = 0; k < kAnalogueFields; ++k) {
        const auto digits = line.substr(4 * k + 1, 3);
        if (!allHex(digits)) return std::nullopt;
        out[k] = static_cast<std::uint16_t>(HexValue(digits));
    }
    return out;
}

std::optional<std::string> controlByteDigitsFromTerminal(std::string_view terminal)
{
    if (terminal.size() < 5) return std::nullopt;
    return std::string(terminal.substr(terminal.size() - 4, 2));
}

} // namespace plovan::unit
