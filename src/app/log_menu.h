// The communications log and its two File items: "Open Log File..." opens it
// and names it in the window's caption, "Close Log File" closes it; a log
// that can no longer be written closes and says why.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace plovan {

struct Dialogs;
class CommLog;
class Link;

class LogMenu : public QObject {
    Q_OBJECT
public:
    LogMenu(Link& link, const Dialogs& dialogs, QWidget& window, QAction* openItem, QAction* closeItem);

    CommLog& log() const { return *log_; }
    // The caption while no log is open.
    void setCaption(const QString& caption);
    void open();
    void close();

private:
    const Dialogs& dialogs_;
    QWidget& window_;
    QAction* openItem_;
    QAction* closeItem_;
    CommLog* log_;
    QString caption_;
};

} // namespace plovan
