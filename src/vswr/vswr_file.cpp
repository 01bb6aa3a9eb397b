#include "vswr_file.h"

#include "hex_text.h"
#include "line_reader.h"

#include <charconv>
#include <sstream>

namespace plovan::vswr {

namespace {

constexpr std::size_t kFieldsWidth = 32; // eight fields of four characters

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A separator and three hex digits.
bool isField(std::string_view field)
{
    return !isHexDigit(field[0]) && isHexDigit(field[1]) && isHexDigit(field[2]) && isHexDigit(field[3]);
}

std::string number(long long value)
{
    return " " + std::to_string(value) + " ";
}

} // namespace

std::vector<std::string> phaseLines(int count)
{
    const std::size_t i = count >= 0 && std::size_t(count) < kPhaseTable.size() ? std::size_t(count) : 0;
    const std::string word = hexField(kPhaseTable[i], 4);
    return {"=D" + word.substr(0, 2) + "80", "=D" + word.substr(2, 2) + "81"};
}

std::optional<Reading> decodeReply(std::string_view line, std::string* error)
{
    const auto fail = [error](std::string why) -> std::optional<Reading> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.size() < kFieldsWidth)
        return fail("reply " + quotedText(line) + " has " + std::to_string(line.size() + 2) +
                    " characters, not 34");
    // Fields in front of the last eight mean a reply of another shape, whose
    // readings would land in the wrong columns.
    std::size_t fields = 8;
    while (line.size() >= 4 * (fields + 1) && isField(line.substr(line.size() - 4 * (fields + 1), 4)))
        ++fields;
    if (fields != 8)
        return fail("reply has " + std::to_string(fields) + " fields, not eight: nothing is written");
    line = line.substr(line.size() - kFieldsWidth);
    Reading out{};
    for (std::size_t k = 0; k < out.size(); ++k) {
        const std::string_view field = line.substr(4 * k, 4);
        if (!isField(field))
            return fail(std::string(kColumns[k]) + " " + quotedText(field) +
                        " is not a separator and three hex digits");
        out[k] = static_cast<std::uint16_t>(HexValue(field.substr(1)));
    }
    return out;
}

std::string columnsLine()
{
    std::string line = "Freq";
    for (const char* c : kColumns)
        line += std::string("\t") + c;
    return line;
}

std::string dataLine(int mhz, const Reading& values)
{
    std::string line = number(mhz);
    for (const std::uint16_t v : values)
        line += "\t" + number(v);
    return line;
}

std::optional<FileRead> readFile(const std::string& path, std::string* error)
{
    TextFile file;
    if (const std::string why = file.open(path, kSmallFileLimits); !why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    FileRead read;
    if (file.next() && file.bomSkipped()) read.notes.push_back(kBomNote);
    while (const std::optional<FileLine> line = file.next()) {
        const std::size_t n = line->number;
        if (n <= 2 || line->text.find_first_not_of(" \t") == std::string::npos) continue;
        std::istringstream fields(line->text);
        Row row;
        bool ok = static_cast<bool>(fields >> row.mhz);
        for (std::uint16_t& v : row.values) {
            long long value = -1;
            ok = ok && static_cast<bool>(fields >> value) && value >= 0 && value <= 0xFFF;
            v = static_cast<std::uint16_t>(value);
        }
        std::string rest;
        if (ok && !(fields >> rest))
            read.rows.push_back(row);
        else
            read.notes.push_back("line " + std::to_string(n) + " is not a frequency and eight readings");
    }
    if (const std::string why = file.error(); !why.empty()) read.notes.push_back(why);
    if (read.rows.empty() && read.notes.empty()) read.notes.push_back("the file has no readings");
    return read;
}

} // namespace plovan::vswr
