// "SET USB Mode" (USBMode): whether file transfers go over USB (FtdiMode).
// The tick keeps its old caption; a line under it says in an operator's
// words what it changes, and whether a USB device is there to take the loads.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace plovan {

class UsbRoute;

class UsbModeWindow : public QDialog {
    Q_OBJECT
public:
    // Without a parent window: the main window is disabled while it shows.
    explicit UsbModeWindow(UsbRoute& route, QWidget* parent = nullptr);

    QCheckBox* Check1;     // "Use Dll for file transfer"
    QLabel* explanation;   // what the tick does, as it stands
    QPushButton* Command1; // "OK"

    // Shows the window ticked as FtdiMode stands.
    void openWindow();
    void Command1_Click(); // "OK": stores the tick

    // Escape and the title bar's close leave FtdiMode as it was.
    void reject() override;

signals:
    // The window was hidden; the main window is to be enabled.
    void closed();

private:
    void explain();

    UsbRoute& route_;
};

} // namespace plovan
