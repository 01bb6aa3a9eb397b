#include "terminal_panel.h"

#include "comm_log.h"
#include "dialogs.h"
#include "link.h"
#include "terminal_buffer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace plovan {

bool TerminalTyping::portOpen() const
{
    return link_.portOpen();
}

bool TerminalTyping::txtDataIn_KeyPress(const QString& typed)
{
    if (!portOpen()) return false;
    TerminalBuffer shown;
    shown.set(link_.terminalText().toLatin1().toStdString());
    QString refused;
    for (const QChar ch : typed) {
        if (ch.unicode() > 0xFF) {
            refused += ch;
            continue;
        }
        const char c = static_cast<char>(ch.unicode());
        if (!link_.writeRaw(QByteArray(1, c))) {
            link_.setTerminalText(QString::fromLatin1(shown.text()));
            link_.terminalLine(QStringLiteral("Write failed - not sent: ") + QString(ch));
            return true;
        }
        shown.append(c);
        if (c == '\r') {
            // The box shows a line break only for CR LF.
            shown.append('\n');
            if (!link_.writeRaw(QByteArrayLiteral("\n"))) {
                link_.setTerminalText(QString::fromLatin1(shown.text()));
                link_.terminalLine(QStringLiteral("Write failed - line feed not sent"));
                return true;
            }
        }
    }
    link_.setTerminalText(QString::fromLatin1(shown.text()));
    if (!refused.isEmpty())
        link_.terminalLine(
            QStringLiteral("Not sent: \"%1\" - the port carries single-byte characters only").arg(refused));
    return true;
}

TerminalPanel::TerminalPanel(QWidget* parent) : QGroupBox(QStringLiteral("Serial IO Data"), parent)
{
    txtDataIn = new QPlainTextEdit(this);
    txtDataIn->setObjectName(QStringLiteral("txtDataIn"));
    txtDataIn->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtDataIn->setUndoRedoEnabled(false);
    txtDataIn->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtDataIn);
}

TerminalPanel::~TerminalPanel() = default;

void TerminalPanel::attach(Link& link)
{
    typing_ = std::make_unique<TerminalTyping>(link);
    connect(&link, &Link::terminalChanged, this, [this, &link] { show(link.terminalText()); });
    show(link.terminalText());
}

void TerminalPanel::applyMode(bool /*chirp*/)
{
    txtDataIn->setVisible(true);
}

void TerminalPanel::setTyping(bool allowed)
{
    typingAllowed_ = allowed;
    txtDataIn->setReadOnly(!allowed);
}

void TerminalPanel::show(const QString& text)
{
    // The unit ends lines with CR LF; the box shows one line break for each.
    QString shown = text;
    shown.remove(QLatin1Char('\r'));
    if (shown.isEmpty() || !shown.startsWith(shown_)) {
        txtDataIn->setPlainText(shown);
    }
    else if (shown.size() > shown_.size()) {
        QTextCursor end(txtDataIn->document());
        end.movePosition(QTextCursor::End);
        end.insertText(shown.mid(shown_.size()));
    }
    shown_ = shown;
    txtDataIn->moveCursor(QTextCursor::End);
    txtDataIn->verticalScrollBar()->setValue(txtDataIn->verticalScrollBar()->maximum());
}

bool TerminalPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != txtDataIn || event->type() != QEvent::KeyPress || !typing_ || !typing_->portOpen())
        return QGroupBox::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Copying from the terminal stays possible while connected; keys without
    // text (arrows, page keys) move through the box as usual.
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) || key->text().isEmpty())
        return QGroupBox::eventFilter(watched, event);
    if (!typingAllowed_) return true;
    typing_->txtDataIn_KeyPress(key->text());
    txtDataIn->moveCursor(QTextCursor::End);
    return true;
}

bool mnuOpenLog_Click(CommLog& log, const Dialogs& dialogs)
{
    const QString title = QStringLiteral("Open Communications Log File");
    const QString filter = QStringLiteral("Log Files (*.LOG)|*.log|All Files (*.*)|*.*");
    for (;;) {
        const QString path = dialogs.chooseFile(title, filter);
        if (path.isEmpty()) return false;
        if (QFileInfo::exists(path)) {
            const auto answer = dialogs.askYesNoCancel(title, QStringLiteral("Replace existing file - ") +
                                                                  path + QLatin1Char('?'));
            if (answer != QMessageBox::Yes && answer != QMessageBox::No) continue;
            if (answer == QMessageBox::Yes) {
                QFile old(path);
                if (!old.remove()) {
                    dialogs.warn(title,
                                 QStringLiteral("Could not replace %1: %2").arg(path, old.errorString()));
                    return false;
                }
            }
        }
        if (!log.open(path)) {
            dialogs.warn(title, QStringLiteral("Could not open %1: %2").arg(path, log.errorString()));
            return false;
        }
        return true;
    }
}

QString logCaption(const QString& title, const QString& path)
{
    return title + QStringLiteral(" - ") + path;
}

} // namespace plovan
