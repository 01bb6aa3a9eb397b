#include "table_builder.h"

#include "hex_text.h"

#include <QFile>
#include <algorithm>
#include <cstdint>

namespace plovan {

namespace {

constexpr std::string_view kTableHeader[] = {"00040", "000000000"};
// Text1 at which the calibration recording stops, in MHz.
constexpr std::uint64_t kStoreEndMHz = 93;

} // namespace

// --- table entries ---

namespace {

std::optional<std::string> frequencyField(std::string_view frequencyColumn)
{
    if (frequencyColumn.empty() || frequencyColumn.size() > 4) return std::nullopt;
    const std::int64_t value = HexValue(frequencyColumn);
    if (value < 0) return std::nullopt;
    return hexField(value, 4);
}

std::string channelDigit(int CtrlReg)
{
    return hexText(CtrlReg & 0xF);
}

} // namespace

std::optional<std::string> tableEntry(std::string_view frequencyColumn, std::string_view amplitudeColumn,
                                      int CtrlReg)
{
    const auto frequency = frequencyField(frequencyColumn);
    const std::int64_t amplitude = amplitudeColumn.empty() ? -1 : HexValue(amplitudeColumn);
    if (!frequency || amplitude < 0 || amplitude > 0xFFF) return std::nullopt;
    return *frequency + hexField(amplitude, 3) + channelDigit(CtrlReg) + "0";
}

std::optional<std::string> tableFiller(std::string_view frequencyColumn, int CtrlReg)
{
    const auto frequency = frequencyField(frequencyColumn);
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
    return writeDummyCalFile(calPath);
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

TableResult TableBuilder::next(std::string_view frequencyColumn, std::string_view amplitudeColumn,
                               int CtrlReg)
{
    if (!recording()) return {TableStep::FileError, QStringLiteral("No table is being recorded")};
    const auto line = tableEntry(frequencyColumn, amplitudeColumn, CtrlReg);
    if (!line)
        return {TableStep::BadEntry,
                QStringLiteral("Not a table entry: frequency \"%1\", amplitude \"%2\" (hex words expected)")
                    .arg(QString::fromStdString(std::string(frequencyColumn)),
                         QString::fromStdString(std::string(amplitudeColumn)))};
    TableResult result = writeEntry(*line);
    if (result.step == TableStep::Recorded && location_ > kLocations) return finish();
    return result;
}

TableResult TableBuilder::escape(std::string_view frequencyColumn, int CtrlReg)
{
    if (!recording()) return {TableStep::FileError, QStringLiteral("No table is being recorded")};
    const auto line = tableFiller(frequencyColumn, CtrlReg);
    if (!line)
        return {TableStep::BadEntry, QStringLiteral("Not a table entry: frequency \"%1\" (hex word expected)")
                                         .arg(QString::fromStdString(std::string(frequencyColumn)))};
    while (location_ <= kLocations) {
        if (TableResult r = writeEntry(*line); r.step != TableStep::Recorded) return r;
    }
    return finish();
}

// --- calibration recording ---

StoreResult storeCalibrationStep(SynthState& state, CalibrationRecorder& file,
                                 const std::function<bool()>& tune)
{
    if (!file.isOpen())
        return {StoreStep::FileError, QStringLiteral("No calibration recording file is open")};

    const CalWords words = calWords(state.amplitudeText, state.phaseText);
    state.PhaseHex = hexText(HexValue(words.phase));
    state.writtenWordText = words.phase;
    if (FileStatus s = file.writeStep(words); !s.ok()) return {StoreStep::FileError, s.error};

    // One MHz up, keeping any typed fraction exactly as typed.
    const BoxNumber frequency = readBoxNumber(state.frequencyText);
    std::string fraction = frequency.fractionText;
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    const std::uint64_t whole = frequency.whole + 1;
    state.frequencyText = std::to_string(whole) + (fraction.empty() ? "" : "." + fraction);

    if (whole == kStoreEndMHz && fraction.empty()) {
        if (FileStatus s = file.NewCloselut(); !s.ok()) return {StoreStep::FileError, s.error};
        return {StoreStep::Ended, {}};
    }
    if (tune && !tune()) return {StoreStep::TuneStopped, {}};
    return {StoreStep::Tuned, {}};
}

} // namespace plovan
