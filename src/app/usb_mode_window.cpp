#include "usb_mode_window.h"

#include "show_centred.h"
#include "usb_route.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

UsbModeWindow::UsbModeWindow(UsbRoute& route, QWidget* parent) : QDialog(parent), route_(route)
{
    setObjectName(QStringLiteral("USBMode"));
    setWindowTitle(QStringLiteral("SET USB Mode"));
    Check1 = new QCheckBox(QStringLiteral("Use Dll for file transfer"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(
        QStringLiteral("Send image, raw and multichirp files over USB instead of the serial port"));
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    connect(Command1, &QPushButton::clicked, this, &UsbModeWindow::Command1_Click);
}

void UsbModeWindow::openWindow()
{
    Check1->setChecked(route_.FtdiMode);
    showCentred(this);
}

void UsbModeWindow::Command1_Click()
{
    route_.FtdiMode = Check1->isChecked();
    hide();
    emit closed();
}

void UsbModeWindow::reject()
{
    hide();
    emit closed();
}

} // namespace plovan
