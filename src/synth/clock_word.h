// IntClkWrd, the internal clock period word: four upper-case hex digits
// ("0000" = 1 us ... "FFFF" = 65 ms), sent by "Int Clock" as "=K" + word.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plovan {

inline constexpr std::size_t kIntClkDigits = 4;

// The characters the clock box lets through as typed (either case).
inline constexpr std::string_view kIntClkKeys = "1234567890ABCDEFabcdef";

// The box as typed into the stored word: left-padded with "0" to four
// digits, cut to its first four, upper-cased. nullopt when it holds anything
// but hex digits (pasted text is not filtered key by key).
std::optional<std::string> intClkWord(std::string_view typed);

} // namespace plovan
