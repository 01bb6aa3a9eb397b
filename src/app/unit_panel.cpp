#include "unit_panel.h"

#include "remote_control.h"
#include "unit_report.h"
#include "unit_session.h"

#include <QVBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QScrollArea>

namespace plovan {

namespace {

// "<b>Field:</b> value" on one wrapping line: the dock is narrow, and a value
// beside its caption would have a third of its width.
QLabel* rowLabel(QWidget* parent, const QString& field)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setObjectName(QStringLiteral("unit_") + QString(field).remove(QLatin1Char(' ')).remove(QLatin1Char('/')));
    return label;
}

void showRow(QLabel* label, const QString& field, const QString& value, const QString& style = {})
{
    // Escaped: a value may hold what a client or a file name brought in.
    const QString shown = value.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    label->setText(QStringLiteral("<b>%1:</b> %2")
                       .arg(field.toHtmlEscaped(), style.isEmpty() ? shown
                                                                   : QStringLiteral("<span style=\"%1\">%2</span>")
                                                                         .arg(style, shown)));
}

} // namespace

UnitPanel::UnitPanel(const UnitSession& session, QWidget* parent)
    : QDockWidget(QStringLiteral("Unit"), parent), session_(session)
{
    setObjectName(QStringLiteral("UnitPanel"));
    auto* body = new QWidget(this);
    auto* rows = new QVBoxLayout(body);
    rows->setSpacing(3);
    for (const auto& [field, value] : unitReport(session_)) {
        values_.append(rowLabel(body, field));
        rows->addWidget(values_.back());
    }
    clients_ = rowLabel(body, QStringLiteral("Remote clients"));
    clients_->setObjectName(QStringLiteral("unit_RemoteClients"));
    rows->addWidget(clients_);
    rows->addStretch(1);
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
          &UnitSession::clockChanged, &UnitSession::rampChanged, &UnitSession::rfChanged, &UnitSession::loadChanged,
          &UnitSession::connectionChanged, &UnitSession::jobChanged, &UnitSession::interlockChanged})
        connect(&session, changed, this, &UnitPanel::refresh);
    connect(&session.link, &Link::connectionLost, this, &UnitPanel::refresh);
    refresh();
    if (auto* window = qobject_cast<QMainWindow*>(parent))
        if (auto* remote = remote::RemoteControl::of(*window)) showClients(remote->server());
    refreshClients();
}

void UnitPanel::showClients(const remote::RemoteServer& server)
{
    if (server_) disconnect(server_, nullptr, this, nullptr);
    server_ = &server;
    connect(&server, &remote::RemoteServer::clientsChanged, this, &UnitPanel::refreshClients);
    connect(&server, &remote::RemoteServer::clientSpoke, this, &UnitPanel::refreshClients);
    refreshClients();
}

void UnitPanel::refreshClients()
{
    const QString field = QStringLiteral("Remote clients");
    if (!server_ || !server_->listening()) {
        showRow(clients_, field, QStringLiteral("not serving (Comms > Remote control...)"));
        return;
    }
    QStringList lines;
    for (const auto& c : server_->clients()) {
        QString line = QStringLiteral("#%1 %2 since %3")
                           .arg(c.number)
                           .arg(c.peer, c.since.toString(QStringLiteral("HH:mm:ss")));
        if (!c.lastLine.isEmpty()) line += QStringLiteral(", last \"%1\"").arg(c.lastLine);
        lines << line;
    }
    showRow(clients_, field,
            lines.isEmpty()
                ? QStringLiteral("none on %1:%2").arg(server_->address().toString()).arg(server_->port())
                : lines.join(QLatin1Char('\n')));
}

void UnitPanel::refresh()
{
    const QList<ReportRow> rows = unitReport(session_);
    for (qsizetype i = 0; i < rows.size() && i < values_.size(); ++i) {
        const auto& [field, value] = rows[i];
        // What the program cannot know stands out from what it does.
        showRow(values_[i], field, value,
                value.contains(QLatin1String(kUnknown)) ? QStringLiteral("color: #a05a00;")
                : field == QLatin1String("Interlock") && value != QLatin1String("clear")
                    ? QStringLiteral("color: white; background: #c00000;")
                    : QString());
    }
}

} // namespace plovan
