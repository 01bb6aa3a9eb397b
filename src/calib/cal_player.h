// Playing a calibration row on the unit, as the editor's Init does: the
// row's frequency word into registers 44/45 and 84/85 (CalcFTW), its
// amplitude into 63/64 and A3/A4, its phase into 80/81, each group followed
// by "=U" and "=I". Every line is acknowledged on its own.
#pragma once

#include "cal_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::cal {

// DatOut's line: "=D" + the two data digits + the register.
std::string DatOut(std::string_view adr, std::string_view dat);

// CalcFTW's "Freq  Word" (Text5): the upper 16 bits of the frequency word,
// four hex digits. (The word is padded to eight digits first: below about
// 19.5 MHz its first four unpadded digits are not its upper bits.)
std::string Text5For(std::uint32_t frequencyWord);
// The frequency word of a listed frequency ("48.83") at `clockMHz`; empty
// when the text is not a frequency below the clock.
std::optional<std::uint32_t> listedFrequencyWord(std::string_view mhzText, double clockMHz);

std::vector<std::string> frequencyLines(std::string_view text5);
std::vector<std::string> amplitudeLines(std::string_view text1);
std::vector<std::string> phaseLines(std::string_view text2);
// Init: the three groups for a listed frequency and a row; empty when the
// frequency cannot be worded or the row is not hex (nothing is sent for it).
std::optional<std::vector<std::string>> initLines(std::string_view mhzText, const CalRow& row,
                                                  double clockMHz);

} // namespace plovan::cal
