// "Extra Header" (Form7): 56 header words in eight frames of seven boxes,
// written to header addresses 00000F-000046 by "Send", after "=C".
#pragma once

#include <QDialog>
#include <array>

class QLineEdit;
class QPushButton;

namespace plovan {

class Link;

class ExtraHeaderWindow : public QDialog {
    Q_OBJECT
public:
    // Without a parent window: the main window is disabled while it shows.
    explicit ExtraHeaderWindow(Link& link, QWidget* parent = nullptr);

    std::array<QLineEdit*, 56> Text; // Text1 ... Text56, Text[0] is Text1
    QPushButton* Command1;           // "Send"
    QPushButton* Command2;           // "Esc"

    void openWindow();
    // "Send": false when a box does not hold four hex digits (said on the
    // link, nothing sent) or the unit stopped answering.
    bool Command1_Click();
    void Command2_Click();

    void reject() override; // Escape and the title bar's close act as "Esc"

signals:
    // The window was hidden; the main window is to be enabled.
    void closed();

private:
    Link& link_;
};

} // namespace plovan
