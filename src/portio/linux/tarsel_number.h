// Numbers as people type them for ports and values: decimal or 0x-hex.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarsel {

// An optional "-", then decimal digits or "0x" and hex digits, nothing else
// (no spaces, no "+", no suffix). Empty when `text` is not such a number or
// does not fit in 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text);

// parseInteger limited to [low, high]; empty outside it.
std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t low, std::int64_t high);

} // namespace tarsel
