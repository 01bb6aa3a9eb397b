// The questions and messages the window puts to the operator, behind
// functions so tests can answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace plovan {

struct Dialogs {
    // Yes/No with No the default; true for Yes.
    std::function<bool(const QString& title, const QString& text)> askYesNo;
    // Yes/No/Cancel with a question icon.
    std::function<QMessageBox::StandardButton(const QString& title, const QString& text)> askYesNoCancel;
    // A file to open or create; empty when the operator cancels.
    std::function<QString(const QString& title, const QString& filter)> chooseFile;
    // As chooseFile, the dialog opening at `start` (a folder and a file name).
    std::function<QString(const QString& title, const QString& filter, const QString& start)> chooseFileFrom;
    // An existing file to read; empty when the operator cancels.
    std::function<QString(const QString& title, const QString& filter)> chooseFileToOpen;
    // A message box with a warning icon.
    std::function<void(const QString& title, const QString& text)> warn;
    // A message box with an information icon and an OK button.
    std::function<void(const QString& title, const QString& text)> inform;

    // The real boxes, parented to `parent`.
    static Dialogs forWindow(QWidget* parent);
};

// Asks for a file to write. An existing one is replaced only after "Yes" to
// "Replace existing file - <path>?"; "No" and "Cancel" show the dialog again
// so nothing is overwritten unasked. Empty when the operator cancels the dialog.
// A `start` path opens the dialog there (chooseFileFrom).
QString chooseFileToWrite(const Dialogs& dialogs, const QString& title, const QString& filter,
                          const QString& start = {});

// Answers every open modal dialog with its cancel (No for a question), so a
// shut-down that nobody watches waits for no click and does nothing unasked.
void cancelOpenDialogs();

} // namespace plovan
