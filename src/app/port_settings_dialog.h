// "Properties...": the port, baud rate, data bits and parity.
#pragma once

#include "port_backend.h"

#include <QDialog>

class QComboBox;
class QSpinBox;

namespace plovan {

class PortSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit PortSettingsDialog(const PortSettings& current, QWidget* parent = nullptr);

    // The settings as the dialog shows them now.
    PortSettings settings() const;

    QComboBox* device; // editable: a listed port, the simulated unit, or a typed path
    QComboBox* baud;   // editable
    QComboBox* dataBits;
    QComboBox* parity;

private:
    PortSettings base_;
};

} // namespace plovan
