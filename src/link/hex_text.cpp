#include "hex_text.h"

#include <cmath>

namespace plovan {

std::string hexText(std::int64_t value)
{
    auto v = static_cast<std::uint64_t>(value);
    if (value < 0) v &= 0xFFFFFFFFu;
    if (v == 0) return "0";
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    while (v != 0) {
        out.insert(out.begin(), digits[v & 0xF]);
        v >>= 4;
    }
    return out;
}

std::string hexText(double value)
{
    // nearbyint rounds with the default mode, round-half-to-even.
    return hexText(static_cast<std::int64_t>(std::nearbyint(value)));
}

std::string padLeft(std::string_view text, std::size_t width)
{
    std::string out(text);
    if (out.size() < width) out.insert(0, width - out.size(), '0');
    return out;
}

std::string hexField(std::int64_t value, std::size_t width)
{
    return padLeft(hexText(value), width);
}

std::int64_t HexValue(std::string_view text)
{
    std::int64_t result = 0;
    std::int64_t weight = 1;
    // Digits are taken from the last one, each weighing 16 times the one before.
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const char c = *it;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return -1;
        if (weight > (std::int64_t{1} << 32)) {
            if (digit != 0) return -1; // more than 32 bits
            continue;
        }
        result += digit * weight;
        if (result > 0xFFFFFFFFll) return -1;
        weight *= 16;
    }
    return result;
}

std::optional<std::uint8_t> recordByte(std::string_view line, std::size_t k)
{
    const std::size_t pos = 2 * k;
    const std::string_view slice = pos < line.size() ? line.substr(pos, 2) : std::string_view{};
    const std::int64_t v = HexValue(slice);
    if (v < 0 || v > 255) return std::nullopt;
    return static_cast<std::uint8_t>(v);
}

} // namespace plovan
