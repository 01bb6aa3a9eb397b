#include "unit_report.h"

#include "chirp_calc.h"
#include "settings_files.h"
#include "unit_session.h"

namespace plovan {

namespace {

QString unknown()
{
    return QString::fromLatin1(kUnknown);
}

QString hex(unsigned value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// A dwell in the unit that reads best: 6.4 ns, 20 us, 3.35544 ms.
QString duration(double us)
{
    if (us < 1) return number(us * 1000) + QStringLiteral(" ns");
    if (us < 1000) return number(us) + QStringLiteral(" us");
    return number(us / 1000) + QStringLiteral(" ms");
}

QString modeText(std::optional<UnitMode> mode)
{
    if (!mode) return unknown();
    switch (*mode) {
    case UnitMode::Single: return QStringLiteral("single");
    case UnitMode::Chirp: return QStringLiteral("chirp");
    case UnitMode::Multichirp: return QStringLiteral("multichirp");
    }
    return unknown();
}

void appendRamp(QList<ReportRow>& rows, const RampRegisters& r, double clock)
{
    const auto frequency = [clock](std::optional<std::uint32_t> word) {
        return word ? QStringLiteral("%1 MHz (%2)")
                          .arg(rampFrequencyMHz(*word, clock), 0, 'f', 6)
                          .arg(hex(*word >> 16, 4))
                    : unknown();
    };
    rows.append({QStringLiteral("Chirp start"), frequency(r.start)});
    rows.append({QStringLiteral("Chirp stop"), frequency(r.stop)});
    rows.append({QStringLiteral("Chirp step"),
                 r.step ? QStringLiteral("%1 kHz per step (%2)")
                              .arg(stepWordKHz(*r.step, clock), 0, 'f', 6)
                              .arg(hex(*r.step, 6))
                        : unknown()});
    rows.append({QStringLiteral("Chirp dwell"),
                 r.dwell ? QStringLiteral("%1 per step (multiplier %2)")
                               .arg(duration(dwellWordUs(*r.dwell, clock)))
                               .arg(*r.dwell)
                         : unknown()});
}

} // namespace

QList<ReportRow> unitReport(const UnitSession& s)
{
    const UnitModel& m = s.model();
    QList<ReportRow> rows;
    const bool open = s.link.portOpen();
    rows.append({QStringLiteral("Connection"),
                 !open ? QStringLiteral("closed")
                       : (s.link.Connected ? QStringLiteral("connected") : QStringLiteral("port open"))});
    rows.append({QStringLiteral("Port"), portDescription(s.portSettings())});
    rows.append(
        {QStringLiteral("Route"), s.link.USBStatus ? QStringLiteral("USB") : QStringLiteral("serial")});
    for (std::size_t ch = 0; ch < m.channels.size(); ++ch) {
        const ChannelTone& t = m.channels[ch];
        const QString name = QStringLiteral("J%1").arg(ch + 1);
        if (!t.frequencyWord && !t.phaseWord && !t.amplitudeWord) {
            rows.append({name, unknown()});
            continue;
        }
        const QString frequency = t.frequencyWord
                                      ? QStringLiteral("%1 MHz (%2)")
                                            .arg(wordToMHz(*t.frequencyWord, s.state.ClkFreq), 0, 'f', 6)
                                            .arg(hex(*t.frequencyWord, 8))
                                      : QStringLiteral("frequency ") + unknown();
        const QString phase =
            t.phaseWord ? QStringLiteral("%1\u00B0").arg(phaseWordToDegrees(*t.phaseWord), 0, 'f', 2)
                        : QStringLiteral("phase ") + unknown();
        const QString amplitude = t.amplitudeWord
                                      ? QStringLiteral("amplitude %1").arg(hex(*t.amplitudeWord, 4))
                                      : QStringLiteral("amplitude ") + unknown();
        rows.append({name, QStringLiteral("%1, %2, %3").arg(frequency, phase, amplitude)});
    }
    QString on = unknown();
    if (m.channelMask) {
        if (*m.channelMask == 0) {
            on = QStringLiteral("all");
        }
        else {
            QStringList names;
            for (int ch = 0; ch < 4; ++ch)
                if (*m.channelMask & (1u << ch)) names << QStringLiteral("J%1").arg(ch + 1);
            on = names.join(QLatin1Char(' '));
        }
    }
    rows.append({QStringLiteral("Channels"), on});
    rows.append({QStringLiteral("RF/laser"),
                 m.rfOn ? (*m.rfOn ? QStringLiteral("on") : QStringLiteral("off")) : unknown()});
    rows.append({QStringLiteral("Mode"), modeText(unitMode(m))});
    appendRamp(rows, m.ramp, s.state.ClkFreq);
    rows.append({QStringLiteral("Control byte"), m.controlByte ? hex(*m.controlByte, 2) : unknown()});
    rows.append(
        {QStringLiteral("Clock word"), m.clockWord ? QString::fromStdString(*m.clockWord) : unknown()});
    rows.append(
        {QStringLiteral("Save to flash"), m.storedToFlash ? QStringLiteral("yes") : QStringLiteral("no")});
    QString load = QStringLiteral("none this run");
    if (m.lastLoad) {
        load = QString::fromStdString(resultLine(*m.lastLoad));
    }
    rows.append({QStringLiteral("Last load"), load});
    // The trip's line without its own "Interlock: ", which the field says already.
    QString interlock = s.interlockLine();
    if (interlock.startsWith(QLatin1String("Interlock: "))) interlock.remove(0, 11);
    rows.append({QStringLiteral("Interlock"), interlock.isEmpty() ? QStringLiteral("clear") : interlock});
    return rows;
}

QString reportText(const QList<ReportRow>& rows)
{
    QString text;
    for (const auto& [field, value] : rows)
        text += field + QStringLiteral(": ") + value + QLatin1Char('\n');
    return text;
}

} // namespace plovan
