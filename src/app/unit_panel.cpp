#include "unit_panel.h"

#include "unit_report.h"
#include "unit_session.h"

#include <QFormLayout>
#include <QLabel>
#include <QScrollArea>

namespace plovan {

UnitPanel::UnitPanel(const UnitSession& session, QWidget* parent)
    : QDockWidget(QStringLiteral("Unit"), parent), session_(session)
{
    setObjectName(QStringLiteral("UnitPanel"));
    auto* body = new QWidget(this);
    form_ = new QFormLayout(body);
    for (const auto& [field, value] : unitReport(session_)) {
        auto* label = new QLabel(body);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setObjectName(QStringLiteral("unit_") +
                             QString(field).remove(QLatin1Char(' ')).remove(QLatin1Char('/')));
        form_->addRow(field + QLatin1Char(':'), label);
        values_.append(label);
    }
    // Scrolled rather than widening the window past a small screen.
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(body);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(150);
    setWidget(scroll);
    for (auto changed :
         {&UnitSession::toneChanged, &UnitSession::channelsChanged, &UnitSession::controlChanged,
          &UnitSession::clockChanged, &UnitSession::rfChanged, &UnitSession::loadChanged,
          &UnitSession::connectionChanged, &UnitSession::jobChanged, &UnitSession::interlockChanged})
        connect(&session, changed, this, &UnitPanel::refresh);
    connect(&session.link, &Link::connectionLost, this, &UnitPanel::refresh);
    refresh();
}

void UnitPanel::refresh()
{
    const QList<ReportRow> rows = unitReport(session_);
    for (qsizetype i = 0; i < rows.size() && i < values_.size(); ++i) {
        const QString& value = rows[i].second;
        values_[i]->setText(value);
        // What the program cannot know stands out from what it does.
        values_[i]->setStyleSheet(value.contains(QLatin1String(kUnknown)) ? QStringLiteral("color: #a05a00;")
                                  : rows[i].first == QLatin1String("Interlock") &&
                                          value != QLatin1String("clear")
                                      ? QStringLiteral("color: white; background: #c00000;")
                                      : QString());
    }
}

} // namespace plovan
