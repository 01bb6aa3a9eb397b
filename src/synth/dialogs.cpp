#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace plovan {

namespace {

// "Description (*.a)|*.A|All Files (*.*)|*.*" as the file dialog wants it.
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i].section(QLatin1Char('('), 0, 0).trimmed(),
                                             parts[i + 1]);
    return out.join(QStringLiteral(";;"));
}

} // namespace

Dialogs Dialogs::forWindow(QWidget* parent)
{
    Dialogs d;
    d.askYesNo = [parent](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    d.askYesNoCancel = [parent](const QString& title, const QString& text) {
        return QMessageBox::question(parent, title, text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    };
    d.chooseFileToOpen = [parent](const QString& title, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, {}, qtFilter(filter));
    };
    d.chooseFile = [parent](const QString& title, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, title, {}, qtFilter(filter), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    d.chooseFileFrom = [parent](const QString& title, const QString& filter, const QString& start) {
        return QFileDialog::getSaveFileName(parent, title, start, qtFilter(filter), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    d.warn = [parent](const QString& title, const QString& text) {
        QMessageBox::warning(parent, title, text);
    };
    d.inform = [parent](const QString& title, const QString& text) {
        QMessageBox::information(parent, title, text);
    };
    return d;
}

QString chooseFileToWrite(const Dialogs& dialogs, const QString& title, const QString& filter,
                          const QString& start)
{
    for (;;) {
        const QString path = !start.isEmpty() && dialogs.chooseFileFrom
                                 ? dialogs.chooseFileFrom(title, filter, start)
                                 : dialogs.chooseFile(title, filter);
        if (path.isEmpty() || !QFileInfo::exists(path)) return path;
        if (dialogs.askYesNoCancel(title, QStringLiteral("Replace existing file - ") + path +
                                              QLatin1Char('?')) == QMessageBox::Yes)
            return path;
    }
}

void cancelOpenDialogs()
{
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QCoreApplication::processEvents();
    }
}

} // namespace plovan
