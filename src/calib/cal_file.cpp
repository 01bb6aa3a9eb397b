#include "cal_file.h"

#include "hex_text.h"
#include "line_reader.h"

#include <QFile>
#include <algorithm>

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

namespace {

// `keep`: the lines as read, line ends and all.
template <typename Lines> CalRead readCalLines(Lines& reader, std::vector<FileLine>* keep = nullptr)
{
    constexpr std::size_t kListedBadRows = 10;
    CalRead read;
    std::size_t badRows = 0;
    while (const std::optional<FileLine> line = reader.next()) {
        if (line->number == 1 && reader.bomSkipped()) read.notes.push_back(kBomNote);
        const std::size_t i = read.lines++;
        if (i >= read.rows.size()) continue;
        if (keep) keep->push_back(*line);
        const std::string& text = line->text;
        CalRow& row = read.rows[i];
        row.amplitude = text.substr(0, 4);
        row.phase = text.substr(text.size() > 4 ? text.size() - 4 : 0);
        if (row.hex()) continue;
        read.badRows.push_back(int(i));
        if (++badRows <= kListedBadRows)
            read.notes.push_back("Row " + std::to_string(i) + " (line " + std::to_string(i + 1) + ") " +
                                 quotedText(text) + " is not two words of four hex digits");
    }
    if (badRows > kListedBadRows)
        read.notes.push_back(std::to_string(badRows - kListedBadRows) + " more rows are not hex");
    if (const std::string why = reader.error(); !why.empty()) {
        read.notes.push_back(why + "; the rest are shown as " + std::string(kEmptyCalLine));
        read.stopped = true;
    }
    else if (read.lines < read.rows.size())
        read.notes.push_back("File has " + std::to_string(read.lines) +
                             " of 256 lines; the rest are shown as " + std::string(kEmptyCalLine));
    else if (read.lines > read.rows.size())
        read.notes.push_back("File has " + std::to_string(read.lines) +
                             " lines; only the first 256 are read");
    return read;
}

} // namespace

CalRead readCalTable(std::istream& in)
{
    LineReader reader(in, kTableFileLimits.maxLineChars);
    return readCalLines(reader);
}

std::optional<CalRead> readCalFile(const std::string& path, std::string* error)
{
    TextFile file;
    if (const std::string why = file.open(path, kTableFileLimits); !why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    return readCalLines(file);
}

FileStatus setCalRow(const QString& path, int row, const std::optional<std::string>& amplitude,
                     const std::optional<std::string>& phase, std::vector<std::string>* findings)
{
    const auto refuse = [&](std::vector<std::string> why) {
        if (findings) *findings = std::move(why);
        return FileStatus{withPath(path, QStringLiteral("not changed"))};
    };
    if (row < 0 || row >= kCalLocations) return refuse({"there is no row " + std::to_string(row)});
    TextFile file;
    if (const std::string why = file.open(QFile::encodeName(path).toStdString(), kTableFileLimits);
        !why.empty())
        return refuse({why});
    std::vector<FileLine> lines;
    const CalRead read = readCalLines(file, &lines);
    // Only a file that reads cleanly is rewritten, bar the row being set.
    const bool otherBadRow =
        std::any_of(read.badRows.begin(), read.badRows.end(), [row](int bad) { return bad != row; });
    if (read.stopped || file.bomSkipped() || read.lines != std::size_t(kCalLocations) || otherBadRow)
        return refuse(read.notes);

    std::string& text = lines[std::size_t(row)].text;
    if (amplitude && phase)
        text = *amplitude + *phase;
    else if (text.size() == 8 && (amplitude ? fourHex(text.substr(4)) : fourHex(text.substr(0, 4))))
        text.replace(amplitude ? 0 : 4, 4, amplitude ? *amplitude : *phase);
    else
        return refuse({"Row " + std::to_string(row) + " " + quotedText(text) +
                       " is not two words of four hex digits: give both the amplitude and the phase"});
    LineFile out;
    if (FileStatus s = out.open(path, LineFile::Whole); !s.ok()) return s;
    for (const FileLine& l : lines)
        if (FileStatus s = out.writeLine(l.text, l.end); !s.ok()) return s;
    return out.close();
}

FileStatus writeCalFile(const QString& path, const CalRows& rows)
{
    LineFile file;
    if (FileStatus s = file.open(path, LineFile::Whole); !s.ok()) return s;
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
