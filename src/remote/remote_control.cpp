#include "remote_control.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QSpinBox>
#include <QStatusBar>

namespace plovan::remote {

namespace {

const char* const kWarning = "Anyone who can reach %1 can drive the RF source.";

} // namespace

RemoteControl::RemoteControl(QMainWindow& window, UnitSession& session, QMenu* comms,
                             const QString& settingsDir)
    : QObject(&window), window_(window),
      settingsFile_(QDir(settingsDir).filePath(QStringLiteral("remote.txt"))),
      server_(session, QDir(settingsDir).filePath(QStringLiteral("remote"))), label_(new QLabel(&window))
{
    setObjectName(QStringLiteral("RemoteControl"));
    QAction* action = comms->addAction(QStringLiteral("Remote control..."));
    action->setObjectName(QStringLiteral("mnuRemote"));
    connect(action, &QAction::triggered, this, &RemoteControl::showDialog);
    window.statusBar()->addPermanentWidget(label_);
    label_->hide();
    connect(&server_, &RemoteServer::clientsChanged, this, &RemoteControl::showStatus);

    // remote.txt: "on ADDRESS:PORT" or "off ADDRESS:PORT".
    QFile file(settingsFile_);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QStringList words = QString::fromUtf8(file.readLine(256)).simplified().split(QLatin1Char(' '));
    if (words.size() != 2) return;
    const auto listen = parseListen(words[1], nullptr);
    if (!listen) return;
    address_ = listen->first;
    port_ = listen->second;
    if (words[0] == QLatin1String("on")) start(address_, port_, false);
}

RemoteControl* RemoteControl::of(QMainWindow& window)
{
    return window.findChild<RemoteControl*>(QStringLiteral("RemoteControl"), Qt::FindDirectChildrenOnly);
}

bool RemoteControl::start(const QHostAddress& address, quint16 port, bool remember)
{
    QString error;
    if (!server_.listen(address, port, &error)) {
        QMessageBox::warning(
            &window_, QStringLiteral("Remote control"),
            QStringLiteral("Cannot listen on %1:%2: %3").arg(address.toString()).arg(port).arg(error));
        return false;
    }
    if (remember) {
        address_ = address;
        port_ = port;
        save(true);
    }
    return true;
}

void RemoteControl::stop(bool remember)
{
    server_.close();
    if (remember) save(false);
}

void RemoteControl::save(bool on) const
{
    QSaveFile file(settingsFile_);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QStringLiteral("%1 %2:%3\n").arg(on ? "on" : "off", address_.toString()).arg(port_).toUtf8());
    file.commit();
}

void RemoteControl::showStatus()
{
    label_->setText(server_.statusText());
    label_->setVisible(server_.listening());
}

void RemoteControl::showDialog()
{
    QDialog dialog(&window_);
    dialog.setWindowTitle(QStringLiteral("Remote control"));
    auto* form = new QFormLayout(&dialog);
    auto* on = new QCheckBox(QStringLiteral("Serve remote clients (SCPI over TCP)"), &dialog);
    on->setChecked(server_.listening());
    auto* address = new QLineEdit(address_.toString(), &dialog);
    auto* port = new QSpinBox(&dialog);
    port->setRange(1, 65535);
    port->setValue(port_);
    form->addRow(on);
    form->addRow(QStringLiteral("Address:"), address);
    form->addRow(QStringLiteral("Port:"), port);
    form->addRow(new QLabel(QStringLiteral("127.0.0.1 serves this computer only."), &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return;

    const QHostAddress chosen(address->text().trimmed());
    if (chosen.isNull()) {
        QMessageBox::warning(&window_, QStringLiteral("Remote control"),
                             QStringLiteral("\"%1\" is not an IP address").arg(address->text()));
        return;
    }
    if (!on->isChecked()) {
        address_ = chosen;
        port_ = quint16(port->value());
        stop(true);
        return;
    }
    if (!chosen.isLoopback())
        QMessageBox::warning(&window_, QStringLiteral("Remote control"),
                             QString::fromLatin1(kWarning).arg(chosen.toString()));
    start(chosen, quint16(port->value()), true);
}

} // namespace plovan::remote
