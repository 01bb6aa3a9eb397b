#include "cal_file.h"

#include "hex_text.h"

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
    LineFile file;
    if (FileStatus s = file.open(path); !s.ok()) return s;
    for (int i = 0; i < kCalLocations; ++i)
        if (FileStatus s = file.writeLine(kDummyCalLine); !s.ok()) return s;
    return file.close();
}

} // namespace plovan
