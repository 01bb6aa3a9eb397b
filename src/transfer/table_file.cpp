#include "table_file.h"

#include "hex_text.h"

#include <algorithm>
#include <cctype>

namespace plovan::table {

namespace {

bool allHex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// The start of a line, quoted; a byte that is not printable (a binary
// file's, a NUL) as \xNN, so that a message never carries it to a terminal.
std::string quoted(std::string_view text)
{
    return quotedText(text);
}

} // namespace

std::optional<Layout> layoutNamed(std::string_view kind)
{
    for (const Layout& layout : kLayouts)
        if (kind == layout.kind) return layout;
    return std::nullopt;
}

std::optional<Layout> layoutForPath(std::string_view path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::string extension(path.substr(dot + 1));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Layout& layout : kLayouts)
        if (extension == layout.extension) return layout;
    return std::nullopt;
}

std::optional<std::size_t> recordCount(std::string_view header, const Layout& layout)
{
    const std::string_view digits = layout.countFirstThree
                                        ? header.substr(0, 3)
                                        : header.substr(header.size() > 4 ? header.size() - 4 : 0);
    // A multichirp count needs its three digits; a short image header is
    // padded with "0" on its way to the unit.
    if ((layout.countFirstThree && digits.size() < 3) || !allHex(digits)) return std::nullopt;
    const std::int64_t n = HexValue(digits);
    if (n < 0) return std::nullopt;
    return static_cast<std::size_t>(n);
}

std::string headerLine(std::string_view header, const Layout& layout)
{
    if (!layout.headerLastFive) return std::string(header);
    const std::string padded = padLeft(header, 6);
    return padded.substr(padded.size() - 5);
}

std::string usbRecord(std::string_view line, std::size_t bytes)
{
    return (std::string(line) + "\r\n").substr(0, bytes);
}

namespace {

// The check over any source of lines (a stream or an opened file).
template <typename Lines>
std::vector<Finding> checkLines(Lines& reader, const Layout& layout, std::size_t maxRecordFindings)
{
    std::vector<Finding> findings;
    // A line too long or a read error ends the check: nothing after it is known.
    const auto stopped = [&] {
        const std::string why = reader.error();
        if (!why.empty()) findings.push_back({0, why + "; the file is not read further"});
        return !why.empty();
    };
    const std::optional<FileLine> header = reader.next();
    if (reader.bomSkipped()) findings.push_back({1, kBomNote});
    if (!header) {
        if (!stopped()) findings.push_back({0, "the file is empty: it has no header line"});
        return findings;
    }
    const std::optional<std::size_t> count = recordCount(header->text, layout);
    if (!allHex(header->text) || header->text.empty()) {
        findings.push_back({1, "header " + quoted(header->text) + " is not hex" +
                                   (count ? std::string() : ", so no record count can be read from it")});
    }
    else if (!count) {
        findings.push_back({1, "header " + quoted(header->text) +
                                   " is too short: the record count is in its first three digits"});
    }
    if (layout.headerLastFive && header->text.size() > 5)
        findings.push_back({1, "header " + quoted(header->text) + " has " +
                                   std::to_string(header->text.size()) +
                                   " characters; the unit gets only the last five, " +
                                   quoted(headerLine(header->text, layout))});
    if (!count) return findings;

    std::size_t records = 0;
    std::size_t badRecords = 0;
    while (records < *count) {
        const std::optional<FileLine> line = reader.next();
        if (!line) break;
        ++records;
        if (line->text.size() == layout.recordDigits && allHex(line->text)) continue;
        if (++badRecords > maxRecordFindings) continue;
        const std::string what = allHex(line->text)
                                     ? "has " + std::to_string(line->text.size()) + " digits, not " +
                                           std::to_string(layout.recordDigits)
                                     : "is not hex";
        findings.push_back(
            {line->number, "record " + std::to_string(records) + " " + quoted(line->text) + " " + what});
    }
    if (badRecords > maxRecordFindings)
        findings.push_back({0, std::to_string(badRecords - maxRecordFindings) + " more records are not " +
                                   std::to_string(layout.recordDigits) + " hex digits"});
    if (stopped()) return findings;
    if (records < *count) {
        findings.push_back({0, "the header announces " + std::to_string(*count) +
                                   " records, the file ends after " + std::to_string(records)});
        return findings;
    }
    // Blank lines at the end are harmless; anything else is never sent.
    std::size_t firstExtra = 0;
    std::size_t extra = 0;
    while (const std::optional<FileLine> line = reader.next()) {
        if (blank(line->text)) continue;
        if (extra++ == 0) firstExtra = line->number;
    }
    if (stopped()) return findings;
    if (extra > 0)
        findings.push_back({firstExtra, std::to_string(extra) + (extra == 1 ? " line" : " lines") +
                                            " after the last of the " + std::to_string(*count) +
                                            " records announced, not sent"});
    return findings;
}

// The LUT send writes every line of the file, each with the CRC of its first
// eight characters as four bytes; the unit's table has kLutRows.
template <typename Lines> std::vector<Finding> checkLutLines(Lines& reader, std::size_t maxRowFindings)
{
    std::vector<Finding> findings;
    std::size_t bad = 0;
    while (const std::optional<FileLine> line = reader.next()) {
        if (line->number == 1 && reader.bomSkipped()) findings.push_back({1, kBomNote});
        const std::string_view text = line->text;
        if (text.size() == 8 && allHex(text)) continue;
        if (++bad > maxRowFindings) continue;
        const std::string what =
            text.size() < 8 || !allHex(text.substr(0, 8))
                ? " does not start with eight hex digits: its CRC is not that of the line"
                : " has " + std::to_string(text.size()) + " characters: all are sent";
        findings.push_back(
            {line->number, "row " + std::to_string(line->number - 1) + " " + quoted(text) + what});
    }
    if (bad > maxRowFindings)
        findings.push_back(
            {0, std::to_string(bad - maxRowFindings) + " more lines are not eight hex digits"});
    const std::string why = reader.error();
    if (!why.empty()) {
        findings.push_back({0, why + "; the file is not read further"});
        return findings;
    }
    const std::size_t lines = reader.linesRead();
    if (lines == 0)
        findings.push_back({0, "the file is empty: nothing is sent"});
    else if (lines != kLutRows)
        findings.push_back({0, std::to_string(lines) + (lines == 1 ? " line" : " lines") +
                                   ": all are sent; the unit's table has " + std::to_string(kLutRows)});
    return findings;
}

template <typename Check>
std::optional<std::vector<Finding>> checkPath(const std::string& path, std::string* error, Check check)
{
    TextFile file;
    const std::string why = file.open(path, kTableFileLimits);
    if (!why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    return check(file);
}

} // namespace

std::vector<Finding> check(std::istream& in, const Layout& layout, std::size_t maxRecordFindings)
{
    LineReader reader(in, kTableFileLimits.maxLineChars);
    return checkLines(reader, layout, maxRecordFindings);
}

std::optional<std::vector<Finding>> checkFile(const std::string& path, const Layout& layout,
                                              std::string* error)
{
    return checkPath(path, error, [&](TextFile& file) { return checkLines(file, layout, 10); });
}

std::vector<Finding> checkLut(std::istream& in, std::size_t maxRowFindings)
{
    LineReader reader(in, kTableFileLimits.maxLineChars);
    return checkLutLines(reader, maxRowFindings);
}

std::optional<std::vector<Finding>> checkLutFile(const std::string& path, std::string* error)
{
    return checkPath(path, error, [](TextFile& file) { return checkLutLines(file, 10); });
}

std::string describe(const Finding& finding)
{
    if (finding.line == 0) return finding.message;
    return "line " + std::to_string(finding.line) + ": " + finding.message;
}

} // namespace plovan::table

namespace plovan::image {

std::string serialRecord(std::string_view line)
{
    const std::string withZero = "0" + std::string(line);
    return withZero.substr(withZero.size() > kRecordDigits ? withZero.size() - kRecordDigits : 0);
}

} // namespace plovan::image
