// "Header": the 14 words of a header block (Text1 ... Text14), written by
// "Send" into every block from "Start" (Text15) to "End" (Text16) after
// "=C"; Text17 shows the block being written. A batch send opens it with
// SndBatch set: it then writes its blocks at once and returns by itself.
#pragma once

#include <QDialog>
#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace plovan {

class Link;

class HeaderWindow : public QDialog {
    Q_OBJECT
public:
    // Without a parent window: the main window is disabled while it shows.
    explicit HeaderWindow(Link& link, QWidget* parent = nullptr);

    std::array<QLineEdit*, 14> Text; // Text1 ... Text14, word k of each block
    QLineEdit* Text15;               // "Start"
    QLineEdit* Text16;               // "End"
    QLineEdit* Text17;               // the block being written
    QGroupBox* sendingFrame;         // "Sending", around Text17
    QPushButton* Command1;           // "Send"
    QPushButton* Command2;           // "Return"

    // Load: shows the window; with `SndBatch` it writes its blocks at once
    // (once the window is up) and then returns.
    void openWindow(bool SndBatch);
    // "Send": false when the range or a word is refused (said on the link,
    // nothing sent), the unit stopped answering, or "Return" stopped it.
    bool Command1_Click();
    // "Return": hides the window; while blocks are being written it stops
    // them first.
    void Command2_Click();
    // Whether the last "Send" wrote every block.
    bool blocksWritten() const { return blocksWritten_; }

    void reject() override; // Escape and the title bar's close act as "Return"

signals:
    // The window was hidden; the main window is to be enabled and a batch
    // waiting for the blocks goes on (HeadrActive false).
    void returned();

private:
    Link& link_;
    bool SndBatch_ = false;
    bool sending_ = false;
    bool stopRequested_ = false;
    bool blocksWritten_ = false;
};

} // namespace plovan
