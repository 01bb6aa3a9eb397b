#include "port_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QSerialPortInfo>

namespace plovan {

namespace {
const QString kSimLabel = QStringLiteral("Simulated unit (built in)");
}

PortSettingsDialog::PortSettingsDialog(const PortSettings& current, QWidget* parent)
    : QDialog(parent), base_(current)
{
    setWindowTitle(QStringLiteral("Port settings"));

    device = new QComboBox(this);
    device->setObjectName(QStringLiteral("portDevice"));
    device->setEditable(true);
    device->setInsertPolicy(QComboBox::NoInsert);
    device->setToolTip(tr("Choose a port or type a device path, e.g. /dev/ttyUSB0"));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString label = info.systemLocation();
        if (!info.description().isEmpty()) label += QStringLiteral(" - ") + info.description();
        device->addItem(label, info.systemLocation());
    }
    device->addItem(kSimLabel, QString::fromLatin1(kSimDevice));
    const QString path = devicePath(current);
    int index = device->findData(path);
    if (index < 0) {
        device->insertItem(0, path, path);
        index = 0;
    }
    device->setCurrentIndex(index);

    baud = new QComboBox(this);
    baud->setObjectName(QStringLiteral("portBaud"));
    baud->setEditable(true);
    baud->setValidator(new QIntValidator(50, 4000000, baud));
    for (int b : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        baud->addItem(QString::number(b));
    baud->setCurrentText(QString::number(current.baud));

    dataBits = new QComboBox(this);
    dataBits->setObjectName(QStringLiteral("portDataBits"));
    for (int b = 5; b <= 8; ++b)
        dataBits->addItem(QString::number(b), b);
    dataBits->setCurrentIndex(qBound(0, dataBits->findData(current.dataBits), 3));

    parity = new QComboBox(this);
    parity->setObjectName(QStringLiteral("portParity"));
    const char* names[] = {"None", "Odd", "Even", "Mark", "Space"};
    for (int code = ParityNone; code <= ParitySpace; ++code)
        parity->addItem(QString::fromLatin1(names[code]), code);
    parity->setCurrentIndex(qMax(0, parity->findData(current.parity)));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Port"), device);
    form->addRow(tr("Baud rate"), baud);
    form->addRow(tr("Data bits"), dataBits);
    form->addRow(tr("Parity"), parity);
    form->addRow(buttons);
}

PortSettings PortSettingsDialog::settings() const
{
    // A typed path has no item data; a chosen item carries its device.
    QString path = device->currentText().trimmed();
    const int index = device->findText(path);
    if (index >= 0) path = device->itemData(index).toString();
    PortSettings s = path.isEmpty() ? base_ : withDevice(base_, path);
    bool ok = false;
    const int b = baud->currentText().toInt(&ok);
    if (ok && b > 0) s.baud = b;
    s.dataBits = dataBits->currentData().toInt();
    s.parity = parity->currentData().toInt();
    return s;
}

} // namespace plovan
