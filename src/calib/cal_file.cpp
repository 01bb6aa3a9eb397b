#include "cal_file.h"

#include "hex_text.h"

#include <algorithm>
#include <fstream>

namespace plovan {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

BoxNumber readBoxNumber(std::string_view text)
{
    BoxNumber d;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && isDigit(text[i]); ++i)
        d.whole = std::min(d.whole * 10 + static_cast<std::uint64_t>(text[i] - '0'), BoxNumber::kMaxWhole);
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            d.fractionText.push_back(text[i]);
            if (d.fractionText.size() <= BoxNumber::kMaxFractionDigits) {
                d.fraction = d.fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
                d.scale *= 10;
            }
        }
    }
    return d;
}

namespace {

// min(value x 4, 4095), a value that is not whole rounded half to even.
std::uint64_t amplitudeWord(const BoxNumber& d)
{
    constexpr std::uint64_t kMax = 4095;
    if (d.whole >= (kMax + 1) / 4) return kMax;
    const std::uint64_t scaled = d.fraction * 4;
    std::uint64_t q = d.whole * 4 + scaled / d.scale;
    const std::uint64_t r2 = (scaled % d.scale) * 2;
    if (r2 > d.scale || (r2 == d.scale && (q & 1) != 0)) ++q;
    return std::min(q, kMax);
}

// Int(value x 16383 / 360), at most 16383 (360 degrees).
std::uint64_t phaseWord(const BoxNumber& d)
{
    constexpr std::uint64_t kMax = 16383;
    if (d.whole >= 360) return kMax;
    return (d.whole * d.scale + d.fraction) * kMax / (360 * d.scale);
}

} // namespace

CalWords calWords(std::string_view amplitude, std::string_view degrees)
{
    return {hexField(static_cast<std::int64_t>(amplitudeWord(readBoxNumber(amplitude))), 4),
            hexField(static_cast<std::int64_t>(phaseWord(readBoxNumber(degrees))), 4)};
}

FileStatus CalibrationRecorder::open(const QString& path)
{
    return file_.open(path);
}

FileStatus CalibrationRecorder::writeStep(const CalWords& words)
{
    const std::string line = words.line();
    if (FileStatus s = file_.writeLine(line); !s.ok()) return s;
    return file_.writeLine(line);
}

FileStatus CalibrationRecorder::NewCloselut()
{
    for (int location = kFirstEmptyLocation; location <= kLastEmptyLocation; ++location)
        if (FileStatus s = file_.writeLine(kEmptyCalLine); !s.ok()) return s;
    return file_.close();
}

FileStatus writeDummyCalFile(const QString& path)
{
    CalRows rows;
    rows.fill({std::string(kDummyCalLine.substr(0, 4)), std::string(kDummyCalLine.substr(4))});
    return writeCalFile(path, rows);
}

namespace {

bool fourHex(std::string_view text)
{
    return text.size() == 4 && HexValue(text) >= 0;
}

} // namespace

bool CalRow::hex() const
{
    return fourHex(amplitude) && fourHex(phase);
}

CalRead readCalTable(std::istream& in)
{
    constexpr std::size_t kListedBadRows = 10;
    CalRead read;
    std::size_t badRows = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t i = read.lines++;
        if (i >= read.rows.size()) continue;
        CalRow& row = read.rows[i];
        row.amplitude = line.substr(0, 4);
        row.phase = line.substr(line.size() > 4 ? line.size() - 4 : 0);
        if (row.hex()) continue;
        if (++badRows <= kListedBadRows)
            read.notes.push_back("Row " + std::to_string(i) + " (line " + std::to_string(i + 1) + ") \"" +
                                 line.substr(0, 24) + (line.size() > 24 ? "..." : "") +
                                 "\" is not two words of four hex digits");
    }
    if (badRows > kListedBadRows)
        read.notes.push_back(std::to_string(badRows - kListedBadRows) + " more rows are not hex");
    if (read.lines < read.rows.size())
        read.notes.push_back("File has " + std::to_string(read.lines) +
                             " of 256 lines; the rest are shown as " + std::string(kEmptyCalLine));
    else if (read.lines > read.rows.size())
        read.notes.push_back("File has " + std::to_string(read.lines) +
                             " lines; only the first 256 are read");
    return read;
}

std::optional<CalRead> readCalFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return readCalTable(in);
}

FileStatus writeCalFile(const QString& path, const CalRows& rows)
{
    LineFile file;
    if (FileStatus s = file.open(path); !s.ok()) return s;
    for (const CalRow& row : rows)
        if (FileStatus s = file.writeLine(row.line()); !s.ok()) return s;
    return file.close();
}

std::string locationMHzText(int location)
{
    // i x 312.5 / 512 MHz in hundredths is i x 15625 / 256.
    const std::int64_t scaled = std::int64_t(location) * 15625;
    std::int64_t q = scaled / 256;
    const std::int64_t r2 = (scaled % 256) * 2;
    if (r2 > 256 || (r2 == 256 && (q & 1) != 0)) ++q;
    std::string text = std::to_string(q / 100);
    const std::int64_t cents = q % 100;
    if (cents != 0) {
        text += '.';
        text += char('0' + cents / 10);
        if (cents % 10 != 0) text += char('0' + cents % 10);
    }
    return text;
}

std::int64_t phaseDegrees(std::int64_t word)
{
    // word / 45.51, exactly, rounded towards minus infinity.
    const std::int64_t n = word * 100;
    return n >= 0 ? n / 4551 : -((-n + 4550) / 4551);
}

std::string hex4(std::int64_t value)
{
    return hexField(value, 4);
}

} // namespace plovan
