#include "table_file.h"

#include "hex_text.h"

#include <algorithm>
#include <cctype>
#include <fstream>

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
    constexpr std::size_t kShown = 24;
    std::string out = "\"";
    for (const char c : text.substr(0, kShown)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[u >> 4];
        out += kHex[u & 0xF];
    }
    if (text.size() > kShown) out += "...";
    return out + "\"";
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

std::vector<Finding> check(std::istream& in, const Layout& layout, std::size_t maxRecordFindings)
{
    std::vector<Finding> findings;
    LineReader reader(in);
    const std::optional<FileLine> header = reader.next();
    if (!header) return {{0, "the file is empty: it has no header line"}};
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
        findings.push_back(
            {1, "header " + quoted(header->text) + " has " + std::to_string(header->text.size()) +
                    " characters; the unit gets only the last five, \"" + headerLine(header->text) + "\""});
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
    if (extra > 0)
        findings.push_back({firstExtra, std::to_string(extra) + (extra == 1 ? " line" : " lines") +
                                            " after the last of the " + std::to_string(*count) +
                                            " records announced, not sent"});
    return findings;
}

std::optional<std::vector<Finding>> checkFile(const std::string& path, const Layout& layout)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return check(in, layout);
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
