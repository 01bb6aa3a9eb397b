#include "log_menu.h"

#include "comm_log.h"
#include "dialogs.h"
#include "terminal_panel.h"

#include <QAction>
#include <QWidget>

namespace plovan {

LogMenu::LogMenu(Link& link, const Dialogs& dialogs, QWidget& window, QAction* openItem, QAction* closeItem)
    : QObject(&window), dialogs_(dialogs), window_(window), openItem_(openItem), closeItem_(closeItem),
      log_(new CommLog(this))
{
    log_->attach(link);
    closeItem_->setEnabled(false);
    connect(openItem_, &QAction::triggered, this, &LogMenu::open);
    connect(closeItem_, &QAction::triggered, this, &LogMenu::close);
    connect(
        log_, &CommLog::failed, this,
        [this](const QString& message) {
            close();
            dialogs_.warn(QStringLiteral("Communications log"), message);
        },
        Qt::QueuedConnection);
}

void LogMenu::setCaption(const QString& caption)
{
    caption_ = caption;
    if (!log_->isOpen()) window_.setWindowTitle(caption);
}

void LogMenu::open()
{
    if (!mnuOpenLog_Click(*log_, dialogs_)) return;
    window_.setWindowTitle(logCaption(QStringLiteral("Velmar Plovan"), log_->fileName()));
    openItem_->setEnabled(false);
    closeItem_->setEnabled(true);
}

void LogMenu::close()
{
    log_->close();
    openItem_->setEnabled(true);
    closeItem_->setEnabled(false);
    window_.setWindowTitle(caption_);
}

} // namespace plovan
