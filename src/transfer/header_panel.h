// The main window's header panel (frame "Header"): 14 header words in two
// rows of seven boxes, Text6 ... Text19. "Send Header" writes them after
// "=C" to block 00 (000001-00000E) and block 10 (100000-10000D); "Esc"
// puts the single-tone frames back.
#pragma once

#include <QGroupBox>
#include <array>
#include <functional>

class QLineEdit;
class QPushButton;

namespace plovan {

class Link;

class HeaderPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit HeaderPanel(Link& link, QWidget* parent = nullptr);

    std::array<QLineEdit*, 14> Text; // Text6 ... Text19, Text[0] is Text6
    QPushButton* Command8;           // "Send Header"
    QPushButton* Command20;          // "Esc"

    // Runs the writes as the window's procedures run (controls held); the
    // writes themselves when unset.
    std::function<bool(const std::function<bool()>&)> run;

    // "Send Header": false when a box does not hold four hex digits (said on
    // the link, nothing sent) or the unit stopped answering.
    bool Command8_Click();

signals:
    void escPressed(); // Command20

private:
    Link& link_;
};

} // namespace plovan
