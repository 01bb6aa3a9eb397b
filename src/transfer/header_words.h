// The unit's header: 16-bit words at 24-bit header addresses, written as
// "=H" + six hex digits of address + the four characters of a word. Three
// writers share this: the main window's 14-word panel ("Send Header"), the
// "Extra Header" window (56 words) and the "Header" window, which writes the
// 14 words of a block into a range of blocks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::header {

using PanelWords = std::array<std::string, 14>;
using ExtraWords = std::array<std::string, 56>;

// The defaults of the three writers' boxes.
PanelWords panelDefaults();
ExtraWords extraDefaults();
PanelWords blockDefaults();

// "=H" + address as six hex digits + word.
std::string headerCommand(std::uint32_t address, std::string_view word);

// "Send Header": "=C", the words at 000001-00000E (block 00), then at
// 100000-10000D (block 10).
std::vector<std::string> panelLines(const PanelWords& words);
// "Extra Header" "Send": "=C", then word n at 00000E + n.
std::vector<std::string> extraLines(const ExtraWords& words);

// The block range the "Header" window writes: an end below the start gives
// the start and the block after it.
struct BlockRange {
    int start = 0;
    int end = 0;
};
// From the "Start" and "End" texts; empty with `error` set when either is
// not a whole number or a block lies outside 0-255 (its address has two hex
// digits).
std::optional<BlockRange> blockRange(std::string_view start, std::string_view end, std::string* error);
// "=C", then for each block b word k at b*65536 + k.
std::vector<std::string> blockLines(const BlockRange& range, const PanelWords& words);

// A header word as a box holds it: exactly four hex digits.
bool isWord(std::string_view text);

} // namespace plovan::header
