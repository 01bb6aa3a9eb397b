#include "unit_panel.h"

#include "remote_control.h"
#include "unit_report.h"
#include "unit_session.h"

#include <QFormLayout>
#include <QLabel>
#include <QMainWindow>
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
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setObjectName(QStringLiteral("unit_") +
                             QString(field).remove(QLatin1Char(' ')).remove(QLatin1Char('/')));
        form_->addRow(field + QLatin1Char(':'), label);
        values_.append(label);
    }
    clients_ = new QLabel(body);
    clients_->setWordWrap(true);
    clients_->setTextFormat(Qt::PlainText); // a client's line is shown as it came
    clients_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    clients_->setObjectName(QStringLiteral("unit_RemoteClients"));
    form_->addRow(QStringLiteral("Remote clients:"), clients_);
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
    if (!server_ || !server_->listening()) {
        clients_->setText(QStringLiteral("not serving (Comms > Remote control...)"));
        return;
    }
    QStringList lines;
    for (const auto& c : server_->clients()) {
        QString line = QStringLiteral("%1: %2 since %3")
                           .arg(c.number)
                           .arg(c.peer, c.since.toString(QStringLiteral("HH:mm:ss")));
        if (!c.lastLine.isEmpty()) line += QStringLiteral(", last \"%1\"").arg(c.lastLine);
        lines << line;
    }
    clients_->setText(lines.isEmpty() ? QStringLiteral("none on %1:%2")
                                            .arg(server_->address().toString())
                                            .arg(server_->port())
                                      : lines.join(QLatin1Char('\n')));
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
