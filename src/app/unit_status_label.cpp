#include "unit_status_label.h"

#include "unit_session.h"

#include <QStringList>

namespace plovan {

UnitStatusLabel::UnitStatusLabel(const UnitSession& session, QWidget* parent)
    : QLabel(parent), session_(session)
{
    setObjectName(QStringLiteral("UnitState"));
    for (auto changed : {&UnitSession::toneChanged, &UnitSession::rfChanged, &UnitSession::channelsChanged})
        connect(&session, changed, this, &UnitStatusLabel::showModel);
}

void UnitStatusLabel::showModel()
{
    const UnitModel& unit = session_.model();
    const ChannelTone& played = unit.channels[0];
    QStringList parts;
    if (const std::optional<double> mhz = session_.playedMHz())
        parts << QStringLiteral("%1 MHz").arg(*mhz, 0, 'f', 3);
    if (played.phaseWord)
        parts << QStringLiteral("%1\u00B0").arg(phaseWordToDegrees(*played.phaseWord), 0, 'f', 1);
    if (played.amplitudeWord)
        parts << QStringLiteral("amplitude %1")
                     .arg(wordToAmplitude(*played.amplitudeWord, unit.channelMask.value_or(0)), 0, 'g', 6);
    if (unit.rfOn) parts << (*unit.rfOn ? QStringLiteral("RF on") : QStringLiteral("RF off"));
    setText(parts.isEmpty() ? QString() : QStringLiteral("Unit: ") + parts.join(QStringLiteral(", ")));
}

} // namespace plovan
