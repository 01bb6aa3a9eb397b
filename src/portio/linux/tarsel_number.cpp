#include "tarsel_number.h"

#include <charconv>

namespace tarsel {

std::optional<std::int64_t> parseInteger(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars would take a second sign or stop early at junk; both must fail here.
    if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr std::uint64_t kMaxPositive = INT64_MAX;
    if (magnitude > kMaxPositive + (negative ? 1 : 0)) return std::nullopt;
    if (!negative) return static_cast<std::int64_t>(magnitude);
    // -(2^63) has no positive counterpart, so negate in unsigned arithmetic.
    return static_cast<std::int64_t>(0 - magnitude);
}

std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t low, std::int64_t high)
{
    const auto v = parseInteger(text);
    if (!v || *v < low || *v > high) return std::nullopt;
    return v;
}

} // namespace tarsel
