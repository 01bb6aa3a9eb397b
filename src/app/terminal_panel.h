// The "Serial IO Data" frame: the terminal box showing every character the
// unit sends and the program's own messages.
#pragma once

#include <QGroupBox>

class QPlainTextEdit;

namespace plovan {

class TerminalPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TerminalPanel(QWidget* parent = nullptr);

    QPlainTextEdit* txtDataIn;

    // Shows `text`, keeping the caret and the view at its end.
    void show(const QString& text);
};

} // namespace plovan
