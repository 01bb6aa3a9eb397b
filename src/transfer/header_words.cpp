#include "header_words.h"

#include "hex_text.h"
#include "unit_commands.h"

#include <algorithm>
#include <charconv>

namespace plovan::header {

PanelWords panelDefaults()
{
    return {"0000", "00DD", "0000", "60DE", "0000", "40DF", "0000",
            "0000", "00DF", "60E0", "0000", "0AE1", "0000", "0000"};
}

ExtraWords extraDefaults()
{
    ExtraWords w;
    const std::array<std::array<const char*, 7>, 5> frames{{
        {"4184", "8985", "0FA3", "FDA4", "0080", "0081", "0930"},
        {"3244", "2645", "0763", "FD64", "0040", "0041", "0930"},
        {"3244", "2645", "0F63", "FD64", "2F40", "0041", "8930"},
        {"3244", "2645", "0F63", "FD64", "00C0", "0041", "0930"},
        {"3244", "2645", "0463", "FD64", "00C0", "0041", "0230"},
    }};
    w.fill("0000");
    for (std::size_t f = 0; f < frames.size(); ++f)
        for (std::size_t b = 0; b < 7; ++b)
            w[f * 7 + b] = frames[f][b];
    return w;
}

PanelWords blockDefaults()
{
    return {"0000", "00E3", "00E4", "00DD", "60DE", "40DF", "0000",
            "0000", "00DF", "0000", "60E0", "08E1", "00E2", "0000"};
}

std::string headerCommand(std::uint32_t address, std::string_view word)
{
    return "=H" + hexField(address, 6) + std::string(word);
}

std::vector<std::string> panelLines(const PanelWords& words)
{
    std::vector<std::string> lines{cmd::clear()};
    for (std::uint32_t n = 1; n <= words.size(); ++n)
        lines.push_back(headerCommand(n, words[n - 1]));
    for (std::uint32_t n = 1; n <= words.size(); ++n)
        lines.push_back(headerCommand(0x100000 + n - 1, words[n - 1]));
    return lines;
}

std::vector<std::string> extraLines(const ExtraWords& words)
{
    std::vector<std::string> lines{cmd::clear()};
    for (std::uint32_t n = 1; n <= words.size(); ++n)
        lines.push_back(headerCommand(0x0E + n, words[n - 1]));
    return lines;
}

std::optional<BlockRange> blockRange(std::string_view start, std::string_view end, std::string* error)
{
    const auto whole = [](std::string_view text) -> std::optional<int> {
        int v = 0;
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || p != text.data() + text.size() || text.empty()) return std::nullopt;
        return v;
    };
    const auto fail = [error](std::string message) -> std::optional<BlockRange> {
        if (error) *error = std::move(message);
        return std::nullopt;
    };
    const auto s = whole(start);
    const auto e = whole(end);
    if (!s) return fail("Start \"" + std::string(start) + "\" is not a block number 0-255");
    if (!e) return fail("End \"" + std::string(end) + "\" is not a block number 0-255");
    BlockRange r{*s, *e};
    if (r.start > r.end) r.end = r.start + 1;
    if (r.start < 0 || r.end > 255)
        return fail("blocks " + std::to_string(r.start) + " to " + std::to_string(r.end) +
                    ": a block is 0-255");
    return r;
}

std::vector<std::string> blockLines(const BlockRange& range, const PanelWords& words)
{
    std::vector<std::string> lines{cmd::clear()};
    for (int b = range.start; b <= range.end; ++b)
        for (std::uint32_t k = 1; k <= words.size(); ++k)
            lines.push_back(headerCommand(static_cast<std::uint32_t>(b) * 65536 + k, words[k - 1]));
    return lines;
}

bool isWord(std::string_view text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

} // namespace plovan::header
