#include "table_builder.h"

#include "hex_text.h"

#include <QFile>
#include <algorithm>
#include <cstdint>

namespace plovan {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTableHeader[] = {"00040", "000000000"};
constexpr int kCalLocations = 256;
constexpr std::string_view kDummyCalLine = "0FFF0000"; // full amplitude, no phase
constexpr std::string_view kEmptyCalLine = "00000000";
// Text1 at which the calibration recording stops, in MHz.
constexpr std::uint64_t kStoreEndMHz = 93;

// A number typed into a box (digits and "." only, as the boxes filter them),
// kept exact. Like the ordinary text-to-number conversion it reads up to the
// first other character, and an empty text is 0.
struct Decimal {
    static constexpr std::uint64_t kMaxWhole = 1'000'000'000;
    static constexpr int kMaxFractionDigits = 9; // far below any word's resolution

    std::uint64_t whole = 0;    // saturates at kMaxWhole
    std::uint64_t fraction = 0; // the first kMaxFractionDigits digits after the point
    std::uint64_t scale = 1;    // 10 ^ digits in `fraction`
    std::string fractionText;   // every fraction digit as typed
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

Decimal parseDecimal(std::string_view text)
{
    Decimal d;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && isDigit(text[i]); ++i)
        d.whole = std::min(d.whole * 10 + static_cast<std::uint64_t>(text[i] - '0'), Decimal::kMaxWhole);
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            d.fractionText.push_back(text[i]);
            if (d.fractionText.size() <= Decimal::kMaxFractionDigits) {
                d.fraction = d.fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
                d.scale *= 10;
            }
        }
    }
    return d;
}

// min(value x 4, 4095), a value that is not whole rounded half to even.
std::uint64_t amplitudeWord(const Decimal& d)
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
std::uint64_t phaseWord(const Decimal& d)
{
    constexpr std::uint64_t kMax = 16383;
    if (d.whole >= 360) return kMax;
    return (d.whole * d.scale + d.fraction) * kMax / (360 * d.scale);
}

QString withPath(const QString& path, const QString& message)
{
    return path + QStringLiteral(": ") + message;
}

} // namespace

// --- LineFile ---

LineFile::LineFile() = default;
LineFile::~LineFile() = default;

bool LineFile::isOpen() const
{
    return file_ && file_->isOpen();
}

FileStatus LineFile::open(const QString& path)
{
    if (isOpen()) return {withPath(path_, QStringLiteral("file is already open"))};
    path_ = path;
    file_ = std::make_unique<QFile>(path);
    // Binary: the CR LF line ends are written as they are.
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        FileStatus status{withPath(path, file_->errorString())};
        file_.reset();
        return status;
    }
    return {};
}

FileStatus LineFile::failAndClose(const QString& what)
{
    FileStatus status{withPath(path_, what)};
    file_->close();
    file_.reset();
    return status;
}

FileStatus LineFile::writeLine(std::string_view line)
{
    if (!isOpen()) return {withPath(path_, QStringLiteral("file is not open"))};
    std::string bytes(line);
    bytes += kLineEnd;
    const auto size = static_cast<qint64>(bytes.size());
    if (file_->write(bytes.data(), size) != size || !file_->flush())
        return failAndClose(file_->errorString());
    return {};
}

FileStatus LineFile::close()
{
    if (!file_) return {};
    file_->close();
    // close() flushes; a failure there is the last chance to hear of lost data.
    FileStatus status;
    if (file_->error() != QFileDevice::NoError) status.error = withPath(path_, file_->errorString());
    file_.reset();
    return status;
}

// --- table entries ---

namespace {

std::optional<std::string> frequencyField(std::string_view Text29)
{
    if (Text29.empty() || Text29.size() > 4) return std::nullopt;
    const std::int64_t value = HexValue(Text29);
    if (value < 0) return std::nullopt;
    return hexField(value, 4);
}

std::string channelDigit(int CtrlReg)
{
    return hexText(CtrlReg & 0xF);
}

} // namespace

std::optional<std::string> tableEntry(std::string_view Text29, std::string_view Text30, int CtrlReg)
{
    const auto frequency = frequencyField(Text29);
    const std::int64_t amplitude = Text30.empty() ? -1 : HexValue(Text30);
    if (!frequency || amplitude < 0 || amplitude > 0xFFF) return std::nullopt;
    return *frequency + hexField(amplitude, 3) + channelDigit(CtrlReg) + "0";
}

std::optional<std::string> tableFiller(std::string_view Text29, int CtrlReg)
{
    const auto frequency = frequencyField(Text29);
    if (!frequency) return std::nullopt;
    return *frequency + "000" + channelDigit(CtrlReg) + "0";
}

QString companionCalPath(const QString& tablePath)
{
    return tablePath.left(std::max<qsizetype>(0, tablePath.size() - 3)) + QStringLiteral("cal");
}

FileStatus MakeDummyCalfile(const QString& tablePath)
{
    const QString calPath = companionCalPath(tablePath);
    // A table named "*cal" would be overwritten by its own companion.
    if (calPath == tablePath)
        return {withPath(calPath, QStringLiteral("the calibration file would replace the table itself"))};
    LineFile file;
    if (FileStatus s = file.open(calPath); !s.ok()) return s;
    for (int i = 0; i < kCalLocations; ++i)
        if (FileStatus s = file.writeLine(kDummyCalLine); !s.ok()) return s;
    return file.close();
}

// --- TableBuilder ---

FileStatus TableBuilder::start(const QString& path)
{
    if (recording()) return {withPath(file_.path(), QStringLiteral("a table is already being recorded"))};
    location_ = 1;
    if (FileStatus s = file_.open(path); !s.ok()) return s;
    for (std::string_view line : kTableHeader)
        if (FileStatus s = file_.writeLine(line); !s.ok()) return s;
    return {};
}

TableResult TableBuilder::writeEntry(const std::string& line)
{
    if (FileStatus s = file_.writeLine(line); !s.ok()) {
        location_ = 1;
        return {TableStep::FileError, s.error};
    }
    ++location_;
    return {TableStep::Recorded, {}};
}

TableResult TableBuilder::finish()
{
    location_ = 1;
    const QString tablePath = file_.path();
    if (FileStatus s = file_.close(); !s.ok()) return {TableStep::FileError, s.error};
    if (FileStatus s = MakeDummyCalfile(tablePath); !s.ok()) return {TableStep::FileError, s.error};
    return {TableStep::Finished, {}};
}

TableResult TableBuilder::next(std::string_view Text29, std::string_view Text30, int CtrlReg)
{
    if (!recording()) return {TableStep::FileError, QStringLiteral("No table is being recorded")};
    const auto line = tableEntry(Text29, Text30, CtrlReg);
    if (!line)
        return {TableStep::BadEntry,
                QStringLiteral("Not a table entry: frequency \"%1\", amplitude \"%2\" (hex words expected)")
                    .arg(QString::fromStdString(std::string(Text29)),
                         QString::fromStdString(std::string(Text30)))};
    TableResult result = writeEntry(*line);
    if (result.step == TableStep::Recorded && location_ > kLocations) return finish();
    return result;
}

TableResult TableBuilder::escape(std::string_view Text29, int CtrlReg)
{
    if (!recording()) return {TableStep::FileError, QStringLiteral("No table is being recorded")};
    const auto line = tableFiller(Text29, CtrlReg);
    if (!line)
        return {TableStep::BadEntry, QStringLiteral("Not a table entry: frequency \"%1\" (hex word expected)")
                                         .arg(QString::fromStdString(std::string(Text29)))};
    while (location_ <= kLocations) {
        if (TableResult r = writeEntry(*line); r.step != TableStep::Recorded) return r;
    }
    return finish();
}

// --- calibration recording ---

StoreWords storeWords(std::string_view Text3, std::string_view Text2)
{
    return {hexField(static_cast<std::int64_t>(amplitudeWord(parseDecimal(Text3))), 4),
            hexField(static_cast<std::int64_t>(phaseWord(parseDecimal(Text2))), 4)};
}

FileStatus CalibrationRecorder::open(const QString& path)
{
    return file_.open(path);
}

FileStatus CalibrationRecorder::writeStep(const StoreWords& words)
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

StoreResult storeCalibrationStep(SynthState& state, CalibrationRecorder& file,
                                 const std::function<bool()>& tune)
{
    if (!file.isOpen())
        return {StoreStep::FileError, QStringLiteral("No calibration recording file is open")};

    const StoreWords words = storeWords(state.Text3, state.Text2);
    state.PhaseHex = hexText(HexValue(words.phase));
    state.Text4 = words.phase;
    if (FileStatus s = file.writeStep(words); !s.ok()) return {StoreStep::FileError, s.error};

    // One MHz up, keeping any typed fraction exactly as typed.
    const Decimal frequency = parseDecimal(state.Text1);
    std::string fraction = frequency.fractionText;
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    const std::uint64_t whole = frequency.whole + 1;
    state.Text1 = std::to_string(whole) + (fraction.empty() ? "" : "." + fraction);

    if (whole == kStoreEndMHz && fraction.empty()) {
        if (FileStatus s = file.NewCloselut(); !s.ok()) return {StoreStep::FileError, s.error};
        return {StoreStep::Ended, {}};
    }
    if (tune && !tune()) return {StoreStep::TuneStopped, {}};
    return {StoreStep::Tuned, {}};
}

} // namespace plovan
