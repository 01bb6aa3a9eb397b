#include "cal_player.h"

#include "hex_text.h"
#include "unit_commands.h"
#include "words.h"

namespace plovan::cal {

namespace {

struct RegisterPair {
    const char* high;
    const char* low;
};

// Each pair of registers takes the two bytes of a four-digit word; then the
// update and trigger play them.
std::vector<std::string> wordLines(std::string_view word, std::initializer_list<RegisterPair> pairs)
{
    std::vector<std::string> lines;
    for (const RegisterPair& p : pairs) {
        lines.push_back(DatOut(p.high, word.substr(0, 2)));
        lines.push_back(DatOut(p.low, word.substr(2, 2)));
    }
    lines.push_back(cmd::update());
    lines.push_back(cmd::trigger());
    return lines;
}

} // namespace

std::string DatOut(std::string_view adr, std::string_view dat)
{
    return "=D" + std::string(dat) + std::string(adr);
}

std::string Text5For(std::uint32_t frequencyWord)
{
    return hexField(frequencyWord, 8).substr(0, 4);
}

std::optional<std::uint32_t> listedFrequencyWord(std::string_view mhzText, double clockMHz)
{
    const std::optional<Decimal> mhz = parseDecimal(mhzText);
    if (!mhz) return std::nullopt;
    return frequencyWord(*mhz, {}, clockMHz);
}

std::vector<std::string> frequencyLines(std::string_view text5)
{
    return wordLines(text5, {{"44", "45"}, {"84", "85"}});
}

std::vector<std::string> amplitudeLines(std::string_view text1)
{
    return wordLines(text1, {{"63", "64"}, {"A3", "A4"}});
}

std::vector<std::string> phaseLines(std::string_view text2)
{
    return wordLines(text2, {{"80", "81"}});
}

std::optional<std::vector<std::string>> initLines(std::string_view mhzText, const CalRow& row,
                                                  double clockMHz)
{
    const std::optional<std::uint32_t> word = listedFrequencyWord(mhzText, clockMHz);
    if (!word || !row.hex()) return std::nullopt;
    std::vector<std::string> lines = frequencyLines(Text5For(*word));
    for (const std::string& line : amplitudeLines(hex4(HexValue(row.amplitude))))
        lines.push_back(line);
    for (const std::string& line : phaseLines(hex4(HexValue(row.phase))))
        lines.push_back(line);
    return lines;
}

} // namespace plovan::cal
