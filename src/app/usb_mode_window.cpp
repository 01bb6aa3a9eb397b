#include "usb_mode_window.h"

#include "show_centred.h"
#include "usb_route.h"

#include <QCheckBox>
#include <QLabel>
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
    explanation = new QLabel(this);
    explanation->setObjectName(QStringLiteral("UsbModeExplanation"));
    explanation->setWordWrap(true);
    explanation->setMinimumWidth(320);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    layout->addWidget(explanation);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    connect(Command1, &QPushButton::clicked, this, &UsbModeWindow::Command1_Click);
    connect(Check1, &QCheckBox::toggled, this, &UsbModeWindow::explain);
    explain();
}

void UsbModeWindow::explain()
{
    QString text;
    if (Check1->isChecked()) {
        text = QStringLiteral("Ticked: image, raw and multichirp files go to the unit over its USB "
                              "connection. The serial port is closed while a file goes and opened again "
                              "after it. LUT files and every other command still use the serial port.");
        const QString device = route_.UsbDescBuf;
        text += device.isEmpty() ? QStringLiteral("\nNo USB device was found at start-up: a load will say so "
                                                  "if none is plugged in.")
                                 : QStringLiteral("\nUSB device: ") + device;
    }
    else {
        text = QStringLiteral("Unticked: every file goes to the unit over the serial port, line by line, "
                              "each answered by the unit.");
    }
    explanation->setText(text);
}

void UsbModeWindow::openWindow()
{
    Check1->setChecked(route_.FtdiMode);
    explain();
    showCentred(this);
}

void UsbModeWindow::Command1_Click()
{
    route_.setFtdiMode(Check1->isChecked());
    hide();
    emit closed();
}

void UsbModeWindow::reject()
{
    hide();
    emit closed();
}

} // namespace plovan
