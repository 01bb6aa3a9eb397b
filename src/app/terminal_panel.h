// The "Serial IO Data" frame: the terminal box showing every character the
// unit sends and the program's own messages. While the port is open, keys
// typed into the box go straight to the unit instead of into the text; with
// the port closed it is an ordinary text box.
#pragma once

#include <QGroupBox>
#include <QString>
#include <memory>

class QPlainTextEdit;

namespace plovan {

class CommLog;
class Link;
struct Dialogs;

// Typed keys for the unit, one write per character as the operator types.
class TerminalTyping {
public:
    explicit TerminalTyping(Link& link) : link_(link) {}

    // The port component reports 2 or more while the port is open.
    bool portOpen() const;
    // Writes each typed character and adds it to the terminal text; a carriage
    // return is followed by a line feed in a write of its own. False when the
    // port is closed: the box takes the keys as ordinary typing.
    bool txtDataIn_KeyPress(const QString& typed);

private:
    Link& link_;
};

class TerminalPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TerminalPanel(QWidget* parent = nullptr);
    ~TerminalPanel() override;

    QPlainTextEdit* txtDataIn;

    // Shows the link's terminal text from now on and sends typed keys to it.
    void attach(Link& link);

    // The terminal box shows in both modes.
    void applyMode(bool chirp);

    // Whether typed keys go to the unit; while a job holds the link the box
    // is read-only and a key reaches nothing.
    void setTyping(bool allowed);

    // Shows `text`, keeping the caret and the view at its end. Text added to
    // what was shown last is appended, so what the operator typed into the box
    // while the port was closed stays until the terminal is cleared.
    void show(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<TerminalTyping> typing_;
    QString shown_; // the terminal text as last shown, without CR
    bool typingAllowed_ = true;
};

// "&Open Log File...": asks for the file, asks before replacing an existing
// one (No keeps it and appends, Cancel asks for the file again) and opens the
// log. False when no log was opened (cancelled, or the operator was told why).
bool mnuOpenLog_Click(CommLog& log, const Dialogs& dialogs);

// The main window's caption while a log is open.
QString logCaption(const QString& title, const QString& path);

} // namespace plovan
