#include "terminal_panel.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace plovan {

TerminalPanel::TerminalPanel(QWidget* parent) : QGroupBox(QStringLiteral("Serial IO Data"), parent)
{
    txtDataIn = new QPlainTextEdit(this);
    txtDataIn->setObjectName(QStringLiteral("txtDataIn"));
    txtDataIn->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtDataIn->setUndoRedoEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtDataIn);
}

void TerminalPanel::show(const QString& text)
{
    // The unit ends lines with CR LF; the box shows one line break for each.
    QString shown = text;
    shown.remove(QLatin1Char('\r'));
    if (shown == txtDataIn->toPlainText()) return;
    txtDataIn->setPlainText(shown);
    txtDataIn->moveCursor(QTextCursor::End);
    txtDataIn->verticalScrollBar()->setValue(txtDataIn->verticalScrollBar()->maximum());
}

} // namespace plovan
